#include "NSImageStandardImages.h"

#include "NSBezierPathTKExtensions.h"
#include "NSImageTKExtensions.h"
#include "NSShadowTKExtensions.h"
#include "TKDrawingGuard.h"
#include "TKGeometry.h"
#include "TKImageMaker.h"

#include <graphics/NSAffineTransform.h>

#include <initializer_list>

namespace {

constexpr double kCircleInset = 2.0;
constexpr double kSymbolLineWidth = 1.5;
// The symbol box leaves width / 3.5 on each side: the central 3/7.
constexpr double kSymbolBoxDivisor = 3.5;
constexpr double kShadowAlpha = 0.2;
constexpr double kOutlineAlpha = 0.15;

// The symbol: the horizontal middle line, copies of it turned about the
// centre by each angle, stroked in the colour inside the central box.
Ref<NSImage> symbolImage(CGSize size, const Ref<NSColor>& lineColor, std::initializer_list<double> angles)
{
    double w = size.width, h = size.height;
    auto segment = NSBezierPathTKExtensions::newPath();
    segment->setLineWidth(kSymbolLineWidth);
    segment->moveToPoint(CGPointMake(0, h * 0.5));
    segment->lineToPoint(CGPointMake(w, h * 0.5));
    auto maker = TKImageMaker::maker(size);
    maker->lockFocus();
    if (lineColor)
        lineColor->set();
    NSBezierPath::clipRect(CGRectInset(CGRectMake(0, 0, w, h), w / kSymbolBoxDivisor, h / kSymbolBoxDivisor));
    for (double angle : angles) {
        auto turned = segment->copy();
        if (angle != 0) {
            auto transform = NSAffineTransform::transform();
            transform->translateXBy(w * 0.5, h * 0.5);
            transform->rotateByDegrees(angle);
            transform->translateXBy(-w * 0.5, -h * 0.5);
            turned->transformUsingAffineTransform(*transform);
        }
        turned->stroke();
    }
    return maker->unlockFocus();
}

} // namespace

Ref<NSImage> NSImageStandardImages::image(CGRect rect, const Ref<NSImage>& interior, const Ref<NSColor>& backColor)
{
    CGRect canvas = CGRect { {}, rect.size };
    auto path = NSBezierPathTKExtensions::ovalPath(CGRectInset(canvas, kCircleInset, kCircleInset));
    auto shadow = NSShadowTKExtensions::shadowWithColor(
        NSColor::blackColor()->colorWithAlphaComponent(kShadowAlpha), CGSizeMake(0, -1.0), 0);
    auto maker = TKImageMaker::maker(rect.size);
    maker->lockFocus();
    TKDrawGuarded([&] {
        if (backColor)
            backColor->set();
        path->fill();
        path->addClip();
        NSColor::blackColor()->colorWithAlphaComponent(kOutlineAlpha)->set();
        path->stroke();
    });
    shadow->set();
    if (interior) {
        CGRect placed = TKGeometry::rect(CGRect { {}, interior->size() }, canvas, false);
        NSImageTKExtensions::compositeToPointHQ(interior, placed.origin, NSCompositingOperationSourceOver, 1.0f);
    }
    return maker->unlockFocus();
}

Ref<NSImage> NSImageStandardImages::stopInteriorImage(CGRect rect, const Ref<NSColor>& lineColor)
{
    return symbolImage(rect.size, lineColor, { 45, -45 });
}

Ref<NSImage> NSImageStandardImages::plusInteriorImage(CGRect rect, const Ref<NSColor>& lineColor)
{
    return symbolImage(rect.size, lineColor, { 0, 90 });
}

Ref<NSImage> NSImageStandardImages::minusInteriorImage(CGRect rect, const Ref<NSColor>& lineColor)
{
    return symbolImage(rect.size, lineColor, { 0 });
}

Ref<NSImage> NSImageStandardImages::stopImage(CGRect rect, const Ref<NSColor>& backColor, const Ref<NSColor>& lineColor)
{
    return image(rect, stopInteriorImage(CGRectInset(rect, 1.0, 1.0), lineColor), backColor);
}

Ref<NSImage> NSImageStandardImages::plusImage(CGRect rect, const Ref<NSColor>& backColor, const Ref<NSColor>& lineColor)
{
    return image(rect, plusInteriorImage(rect, lineColor), backColor);
}

Ref<NSImage> NSImageStandardImages::minusImage(CGRect rect, const Ref<NSColor>& backColor, const Ref<NSColor>& lineColor)
{
    return image(rect, minusInteriorImage(rect, lineColor), backColor);
}
