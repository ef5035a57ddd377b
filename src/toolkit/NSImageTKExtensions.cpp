#include "NSImageTKExtensions.h"

#include "TKGeometry.h"
#include "TKImageMaker.h"

#include <graphics/NSGraphicsContext.h>

// Runs a drawing of the image with the current context's interpolation
// raised to high, then puts the context's own back. Nothing without an image
// or a current context.
template <class Draw>
static void drawWithHighInterpolation(const Ref<NSImage>& image, Draw&& draw)
{
    if (!image)
        return;
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    NSImageInterpolation saved = context->imageInterpolation();
    context->setImageInterpolation(NSImageInterpolationHigh);
    draw();
    context->setImageInterpolation(saved);
}

void NSImageTKExtensions::drawInRectHQ(const Ref<NSImage>& image, CGRect rect, CGRect fromRect,
    NSCompositingOperation operation, float fraction)
{
    drawWithHighInterpolation(image, [&] { image->drawInRect(rect, fromRect, operation, double(fraction)); });
}

void NSImageTKExtensions::compositeToPointHQ(const Ref<NSImage>& image, CGPoint point,
    NSCompositingOperation operation, float fraction)
{
    drawWithHighInterpolation(image, [&] { image->compositeToPoint(point, operation, double(fraction)); });
}

Ref<NSImage> NSImageTKExtensions::imageWithAlpha(const Ref<NSImage>& image, float alpha)
{
    if (!image)
        return nullptr;
    auto maker = TKImageMaker::maker(image->size());
    maker->lockFocus();
    compositeToPointHQ(image, CGPointZero, NSCompositingOperationSourceOver, alpha);
    return maker->unlockFocus(image->isTemplate());
}

Ref<NSImage> NSImageTKExtensions::imageWithSize(const Ref<NSImage>& image, CGSize size)
{
    return imageWithSize(image, size, true);
}

Ref<NSImage> NSImageTKExtensions::imageWithSize(const Ref<NSImage>& image, CGSize size, bool scaleLarger)
{
    if (!image)
        return nullptr;
    CGSize own = image->size();
    if (own == size)
        return image;
    CGRect target = TKGeometry::rect(CGRect { {}, own }, CGRect { {}, size }, true, scaleLarger);
    target = TKGeometry::integerRect(target);
    auto maker = TKImageMaker::maker(size);
    maker->lockFocus();
    drawInRectHQ(image, target, CGRect { {}, own }, NSCompositingOperationSourceOver, 1.0f);
    return maker->unlockFocus(image->isTemplate());
}
