// Resized, icon and representation variants of NSImageTKExtensions.
#include "NSImageTKExtensions.h"

#include "TKGeometry.h"
#include "TKImageMaker.h"

#include <graphics/NSCachedImageRep.h>

#include <cmath>
#include <cstdlib>

Ref<NSImage> NSImageTKExtensions::imageWithMaxSize(const Ref<NSImage>& image, int maxSize)
{
    if (!image)
        return nullptr;
    double m = maxSize;
    CGSize own = image->size();
    auto maker = TKImageMaker::maker(CGSizeMake(m, m));
    maker->lockFocus();
    CGRect target = TKGeometry::rect(CGRect { {}, own }, CGRectMake(0, 0, m, m), true);
    drawInRectHQ(image, target, CGRect { {}, own }, NSCompositingOperationSourceOver, 1.0f);
    return maker->unlockFocus(image->isTemplate());
}

Ref<NSImage> NSImageTKExtensions::imageWithTopMargin(const Ref<NSImage>& image, int)
{
    if (!image)
        return nullptr;
    CGSize own = image->size();
    auto maker = TKImageMaker::maker(CGSizeMake(own.width, own.height + 1.0));
    maker->lockFocus();
    compositeToPointHQ(image, CGPointZero, NSCompositingOperationSourceOver, 1.0f);
    return maker->unlockFocus(image->isTemplate());
}

namespace {

// The representation to draw for a wanted width: the first one, replaced
// by a later one only when that is strictly nearer in whole points and
// wider than wanted. Null without representations.
Ref<NSImageRep> bestRepresentation(const NSImage& image, double wanted)
{
    Ref<NSImageRep> best;
    long bestDistance = 0;
    for (const auto& rep : image.representations()) {
        double width = rep->size().width;
        long distance = std::labs(long(width - wanted));
        if (!best || (distance < bestDistance && width > wanted)) {
            best = rep;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace

Ref<NSImage> NSImageTKExtensions::sizeIcon(const Ref<NSImage>& image, int size)
{
    if (!image)
        return nullptr;
    double s = size;
    for (const auto& rep : image->representations()) {
        if (rep->size().width == s && rep->size().height == s) {
            auto copy = NSImage::create(CGSizeMake(s, s));
            copy->addRepresentation(rep->copy());
            return copy;
        }
    }
    auto best = bestRepresentation(*image, s);
    auto maker = TKImageMaker::maker(CGSizeMake(s, s));
    maker->lockFocus();
    if (best) {
        CGSize repSize = best->size();
        CGRect square = CGRectMake(0, 0, s, s);
        CGRect target = repSize.width == repSize.height ? square : TKGeometry::rect(CGRect { {}, repSize }, square, true);
        best->drawInRect(target);
    }
    return maker->unlockFocus(image->isTemplate());
}

Ref<NSBitmapImageRep> NSImageTKExtensions::bitmapImageRepForSize(const Ref<NSImage>& image, int size)
{
    if (!image)
        return nullptr;
    double s = size;
    for (const auto& rep : image->representations())
        if (rep->size().width == s && typeid(*rep) == typeid(NSBitmapImageRep))
            return dynamicRef<NSBitmapImageRep>(rep->copy());
    Ref<NSImageRep> best;
    for (const auto& rep : image->representations()) {
        if (rep->size().width == s) {
            best = rep;
            break;
        }
    }
    if (!best)
        best = bestRepresentation(*image, s);
    auto maker = TKImageMaker::maker(CGSizeMake(s, s));
    maker->lockFocus();
    if (best)
        best->drawInRect(CGRectMake(0, 0, s, s));
    maker->unlockFocus();
    return maker->imageRep();
}

Ref<NSImage> NSImageTKExtensions::normalizeSize(const Ref<NSImage>& image)
{
    if (auto bitmap = imageRepOfClass<NSBitmapImageRep>(image)) {
        CGSize pixels = CGSizeMake(double(bitmap->pixelsWide()), double(bitmap->pixelsHigh()));
        bitmap->setSize(pixels);
        image->setSize(pixels);
    }
    return image;
}

bool NSImageTKExtensions::hasCachedImageRep(const Ref<NSImage>& image)
{
    return imageRepOfClass<NSCachedImageRep>(image) != nullptr;
}

Ref<NSImage> NSImageTKExtensions::imageWithOnlyCachedImageRep(const Ref<NSImage>& image)
{
    if (!image)
        return nullptr;
    Ref<NSImageRep> largest;
    for (const auto& rep : image->representations()) {
        if (!dynamicRef<NSCachedImageRep>(rep))
            continue;
        if (!largest || rep->size().width > largest->size().width || rep->size().height > largest->size().height)
            largest = rep;
    }
    if (largest) {
        auto result = NSImage::create(image->size());
        image->removeRepresentation(largest);
        result->addRepresentation(largest);
        return result;
    }
    auto maker = TKImageMaker::maker(image->size());
    maker->lockFocus();
    image->compositeToPoint(CGPointZero, NSCompositingOperationCopy);
    return maker->unlockFocus();
}
