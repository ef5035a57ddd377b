// Tinted, shadowed and monochrome images of NSImageTKExtensions.
#include "NSImageTKExtensions.h"

#include "TKImageMaker.h"

#include <graphics/NSBezierPath.h>

#include <cmath>

namespace {

// The pattern the maker-based copies share: a maker of the image's size,
// the drawing, and the image handed back with the receiver's template flag.
template <class Draw>
Ref<NSImage> drawnCopy(const Ref<NSImage>& image, CGSize size, Draw&& draw)
{
    auto maker = TKImageMaker::maker(size);
    maker->lockFocus();
    draw();
    return maker->unlockFocus(image->isTemplate());
}

// The image's size filled with the colour, then the image composited over
// it with the operation.
Ref<NSImage> filledCopy(const Ref<NSImage>& image, const Ref<NSColor>& color, NSCompositingOperation operation)
{
    if (!image)
        return nullptr;
    return drawnCopy(image, image->size(), [&] {
        if (color)
            color->set();
        NSBezierPath::fillRect(CGRect { {}, image->size() });
        NSImageTKExtensions::compositeToPointHQ(image, CGPointZero, operation, 1.0f);
    });
}

} // namespace

Ref<NSImage> NSImageTKExtensions::coloredImage(const Ref<NSImage>& image, const Ref<NSColor>& color)
{
    // Destination-in keeps the colour where the image has alpha.
    return filledCopy(image, color, NSCompositingOperationDestinationIn);
}

Ref<NSImage> NSImageTKExtensions::copyImageWithShadow(const Ref<NSImage>& image, const Ref<NSShadow>& shadow)
{
    if (!image)
        return nullptr;
    return drawnCopy(image, image->size(), [&] {
        if (shadow)
            shadow->set();
        image->compositeToPoint(CGPointZero, NSCompositingOperationSourceOver, 1.0);
    });
}

Ref<NSImage> NSImageTKExtensions::imageWithBackground(const Ref<NSImage>& image, const Ref<NSColor>& color)
{
    return filledCopy(image, color, NSCompositingOperationSourceOver);
}

Ref<NSImage> NSImageTKExtensions::monochromeImage(const Ref<NSImage>& image)
{
    if (!image)
        return nullptr;
    CGSize size = image->size();
    auto w = int32_t(size.width);
    auto h = int32_t(size.height);
    auto result = NSImage::create(size);
    auto gray = NSBitmapImageRep::create(nullptr, w, h, 8, 2, true, false, NSCalibratedWhiteColorSpace,
        NSBitmapFormatAlphaNonpremultiplied, 2L * w, 16);
    if (!gray)
        return result;
    // The receiver is read through a copy drawn at its size: taking the
    // focus of the image itself would replace its representations.
    auto maker = TKImageMaker::maker(size);
    maker->lockFocus();
    image->drawInRect(CGRect { {}, size }, CGRectZero, NSCompositingOperationCopy, 1.0);
    maker->unlockFocus();
    auto source = maker->bitmapImageRep();
    unsigned char* out = gray->bitmapData();
    for (int32_t j = 0; j < h; ++j) {
        for (int32_t i = 0; i < w; ++i) {
            auto color = source ? source->colorAtX(i, j) : nullptr;
            unsigned char* p = out + long(j) * gray->bytesPerRow() + 2 * i;
            if (!color) {
                p[0] = p[1] = 0;
                continue;
            }
            double luma = (color->redComponent() * 0.299 + color->greenComponent() * 0.587
                              + color->blueComponent() * 0.114)
                * 255;
            p[0] = (unsigned char)std::nearbyint(luma);
            // Alpha comes from whole 8-bit steps; the small allowance keeps
            // a step that lands a hair below its integer from losing one.
            p[1] = (unsigned char)std::trunc(color->alphaComponent() * 255 + 1e-9);
        }
    }
    result->addRepresentation(gray);
    return result;
}

Ref<NSImage> NSImageTKExtensions::imageWithControlImage(const Ref<NSImage>& image, const Ref<NSImage>& controlImage)
{
    if (!image || !controlImage)
        return image;
    CGSize own = image->size();
    CGSize control = controlImage->size();
    CGSize size = CGSizeMake(own.width + control.width + 4.0, std::max(own.height, control.height));
    return drawnCopy(image, size, [&] {
        CGRect all = CGRect { {}, size };
        CGRect slice = CGRectMake(CGRectGetMaxX(all) - control.width, 0, control.width, size.height);
        CGRect remainder = CGRectMake(0, 0, size.width - control.width, size.height);
        slice.origin.y += std::nearbyint((slice.size.height - control.height) * 0.5) - 1.0;
        drawCenteredInRectHQ(image, remainder, NSCompositingOperationSourceOver, 1.0f);
        compositeToPointHQ(controlImage, slice.origin, NSCompositingOperationSourceOver, 1.0f);
    });
}
