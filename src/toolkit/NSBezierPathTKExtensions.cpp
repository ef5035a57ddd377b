#include "NSBezierPathTKExtensions.h"

#include "NSImageTKExtensions.h"
#include "TKColorSet.h"
#include "TKDrawingGuard.h"
#include "TKImageMaker.h"

#include <appkit/NSView.h>
#include <graphics/NSAffineTransform.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kChevronBarWidth = 3.0;
constexpr float kGridEffectFraction = 0.05f;
constexpr double kGridStep = 4;
constexpr double kGridTileSide = 128;

Ref<NSBezierPath> pathWith(double lineWidth, double flatness)
{
    auto path = NSBezierPath::bezierPath();
    path->setLineWidth(lineWidth);
    path->setFlatness(flatness);
    return path;
}

double halfShorterSide(CGRect r) { return std::min(r.size.width, r.size.height) * 0.5; }

} // namespace

// MARK: Constructors

Ref<NSBezierPath> NSBezierPathTKExtensions::newPath() { return pathWith(1.0, 0.001); }

Ref<NSBezierPath> NSBezierPathTKExtensions::ovalPath(CGRect rect)
{
    auto path = pathWith(1.5, 0.01);
    path->appendBezierPathWithOvalInRect(rect);
    return path;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::rectPath(CGRect rect)
{
    auto path = pathWith(1.0, 0.01);
    path->appendBezierPathWithRect(rect);
    return path;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::roundRectPath(CGRect rect, float radius)
{
    return roundRectPath(rect, radius, radius);
}

Ref<NSBezierPath> NSBezierPathTKExtensions::roundRectPath(CGRect rect, float topRadius, float bottomRadius)
{
    auto path = newPath();
    appendBezierPathWithRoundedRectangle(*path, rect, topRadius, bottomRadius);
    return path;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::roundRectPath(
    CGRect rect, float topLeftRadius, float topRightRadius, float bottomLeftRadius, float bottomRightRadius)
{
    auto path = newPath();
    appendBezierPathWithRoundedRectangle(*path, rect, topLeftRadius, topRightRadius, bottomLeftRadius,
        bottomRightRadius);
    return path;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::bottomRoundRectPath(CGRect rect, float radius)
{
    auto path = newPath();
    appendBezierPathWithBottomRoundedCorners(*path, rect, radius);
    return path;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::bezierPathWithPlateInRect(CGRect rect)
{
    return bezierPathWithPlateInRect(rect, true, true);
}

Ref<NSBezierPath> NSBezierPathTKExtensions::bezierPathWithPlateInRect(CGRect rect, bool onLeft, bool onRight)
{
    if (!onLeft && !onRight)
        return rectPath(rect);
    auto path = newPath();
    appendBezierPathWithPlateInRect(*path, rect, onLeft, onRight);
    return path;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::bezierPathWithTopPlateInRect(CGRect rect)
{
    auto path = newPath();
    appendBezierPathWithTopPlateInRect(*path, rect);
    return path;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::endcappedBezierPathForRect(CGRect r, int capWidth)
{
    double q = capWidth;
    double k = float(r.size.height / 3.0);
    double x = r.origin.x, y = r.origin.y, maxX = CGRectGetMaxX(r), maxY = CGRectGetMaxY(r), midY = CGRectGetMidY(r);
    auto path = newPath();
    path->moveToPoint(CGPointMake(x, y));
    path->curveToPoint(CGPointMake(x, maxY), CGPointMake(x - q, midY - k), CGPointMake(x - q, midY + k));
    path->lineToPoint(CGPointMake(maxX, maxY));
    path->curveToPoint(CGPointMake(maxX, y), CGPointMake(maxX + q, midY + k), CGPointMake(maxX + q, midY - k));
    path->closePath();
    return path;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::chevronPath(CGRect r, bool pointingRight)
{
    double x = r.origin.x, y = r.origin.y, maxX = CGRectGetMaxX(r), maxY = CGRectGetMaxY(r), midY = CGRectGetMidY(r);
    double t = kChevronBarWidth;
    auto path = newPath();
    if (pointingRight) {
        path->moveToPoint(CGPointMake(x, y));
        for (CGPoint p : { CGPointMake(x + t, y), CGPointMake(maxX, midY), CGPointMake(x + t, maxY), CGPointMake(x, maxY),
                 CGPointMake(maxX - t, midY), CGPointMake(x, y) })
            path->lineToPoint(p);
    } else {
        path->moveToPoint(CGPointMake(maxX, y));
        for (CGPoint p : { CGPointMake(maxX - t, y), CGPointMake(x, midY), CGPointMake(maxX - t, maxY),
                 CGPointMake(maxX, maxY), CGPointMake(x + t, midY), CGPointMake(maxX, y) })
            path->lineToPoint(p);
    }
    path->closePath();
    return path;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::trianglePath(CGRect r, int direction, bool flipped)
{
    double x = r.origin.x, y = r.origin.y, maxX = CGRectGetMaxX(r), maxY = CGRectGetMaxY(r);
    double midX = CGRectGetMidX(r), midY = CGRectGetMidY(r);
    auto path = newPath();
    auto polygon = [&](CGPoint a, CGPoint b, CGPoint c) {
        path->moveToPoint(a);
        path->lineToPoint(b);
        path->lineToPoint(c);
    };
    auto apexTop = [&] { polygon(CGPointMake(x, y), CGPointMake(midX, maxY), CGPointMake(maxX, y)); };
    auto apexBottom = [&] { polygon(CGPointMake(x, maxY), CGPointMake(midX, y), CGPointMake(maxX, maxY)); };
    switch (direction) {
    case TKTriangleUp:
        flipped ? apexBottom() : apexTop();
        break;
    case TKTriangleDown:
        flipped ? apexTop() : apexBottom();
        break;
    case TKTriangleLeft:
        polygon(CGPointMake(maxX, y), CGPointMake(maxX, maxY), CGPointMake(x, midY));
        break;
    case TKTriangleRight:
        polygon(CGPointMake(x, y), CGPointMake(x, maxY), CGPointMake(maxX, midY));
        break;
    default:
        break;
    }
    path->closePath();
    return path;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::downArrowPath(CGRect r)
{
    auto path = newPath();
    path->moveToPoint(CGPointMake(0, 0.65));
    for (CGPoint p : { CGPointMake(0.5, 0), CGPointMake(1.0, 0.65), CGPointMake(0.75, 0.65), CGPointMake(0.75, 1.0),
             CGPointMake(0.25, 1.0), CGPointMake(0.25, 0.65) })
        path->lineToPoint(p);
    path->closePath();
    // The unit arrow grows by the width on both axes and moves to the
    // rect's origin.
    auto transform = NSAffineTransform::transform();
    transform->translateXBy(r.origin.x, r.origin.y);
    transform->scaleBy(r.size.width);
    path->transformUsingAffineTransform(*transform);
    return path;
}

// MARK: Appending

void NSBezierPathTKExtensions::appendBezierPathWithRoundedRectangle(NSBezierPath& path, CGRect rect, float radius)
{
    double clamped = std::min(double(radius), halfShorterSide(rect));
    path.appendBezierPathWithRoundedRect(rect, clamped, clamped);
}

void NSBezierPathTKExtensions::appendBezierPathWithRoundedRectangle(NSBezierPath& path, CGRect rect, float topRadius,
    float bottomRadius)
{
    appendBezierPathWithRoundedRectangle(path, rect, topRadius, topRadius, bottomRadius, bottomRadius);
}

void NSBezierPathTKExtensions::appendBezierPathWithRoundedRectangle(NSBezierPath& path, CGRect r, float topLeftRadius,
    float topRightRadius, float bottomLeftRadius, float bottomRightRadius)
{
    double half = halfShorterSide(r);
    double x = r.origin.x, y = r.origin.y, maxX = CGRectGetMaxX(r), maxY = CGRectGetMaxY(r);
    double midX = CGRectGetMidX(r), midY = CGRectGetMidY(r);
    path.moveToPoint(CGPointMake(midX, maxY));
    path.appendBezierPathWithArcFromPoint(CGPointMake(x, maxY), CGPointMake(x, midY), std::min(double(topLeftRadius), half));
    path.appendBezierPathWithArcFromPoint(CGPointMake(x, y), CGPointMake(midX, y), std::min(double(bottomLeftRadius), half));
    path.appendBezierPathWithArcFromPoint(CGPointMake(maxX, y), CGPointMake(maxX, midY),
        std::min(double(bottomRightRadius), half));
    path.appendBezierPathWithArcFromPoint(CGPointMake(maxX, maxY), CGPointMake(midX, maxY),
        std::min(double(topRightRadius), half));
    path.closePath();
}

void NSBezierPathTKExtensions::appendBezierPathWithRoundedRectangle(NSBezierPath& path, CGRect r, float radius,
    bool leftSideOnly)
{
    double rho = std::min(double(radius), halfShorterSide(r));
    double left = leftSideOnly ? rho : rho * 0.5;
    double right = leftSideOnly ? rho * 0.5 : rho;
    double x = r.origin.x, y = r.origin.y, maxX = CGRectGetMaxX(r), maxY = CGRectGetMaxY(r);
    path.moveToPoint(CGPointMake(CGRectGetMidX(r), maxY));
    path.appendBezierPathWithArcFromPoint(CGPointMake(x, maxY), CGPointMake(x, y), left);
    path.appendBezierPathWithArcFromPoint(CGPointMake(x, y), CGPointMake(maxX, y), left);
    path.appendBezierPathWithArcFromPoint(CGPointMake(maxX, y), CGPointMake(maxX, maxY), right);
    path.appendBezierPathWithArcFromPoint(CGPointMake(maxX, maxY), CGPointMake(x, maxY), right);
    path.closePath();
}

void NSBezierPathTKExtensions::appendBezierPathWithBottomRoundedCorners(NSBezierPath& path, CGRect r, float radius)
{
    double x = r.origin.x, y = r.origin.y, maxX = CGRectGetMaxX(r), maxY = CGRectGetMaxY(r);
    double midY = CGRectGetMidY(r);
    path.moveToPoint(CGPointMake(maxX, midY));
    path.lineToPoint(CGPointMake(maxX, maxY));
    path.lineToPoint(CGPointMake(x, maxY));
    path.appendBezierPathWithArcFromPoint(CGPointMake(x, y), CGPointMake(CGRectGetMidX(r), y), double(radius));
    path.appendBezierPathWithArcFromPoint(CGPointMake(maxX, y), CGPointMake(maxX, midY), double(radius));
    path.closePath();
}

void NSBezierPathTKExtensions::appendBezierPathWithPlateInRect(NSBezierPath& path, CGRect r, bool onLeft, bool onRight)
{
    if (!(r.size.height > 0))
        return;
    double rho = r.size.height * 0.5;
    double x = r.origin.x, y = r.origin.y, maxX = CGRectGetMaxX(r), maxY = CGRectGetMaxY(r);
    CGPoint leftCentre = CGPointMake(x + rho, y + rho);
    CGPoint rightCentre = CGPointMake(maxX - rho, y + rho);
    if (onLeft && onRight) {
        path.moveToPoint(CGPointMake(x + rho, maxY));
        path.appendBezierPathWithArcWithCenter(leftCentre, rho, 90, 270);
        path.appendBezierPathWithArcWithCenter(rightCentre, rho, 270, 90);
    } else if (onLeft) {
        path.moveToPoint(CGPointMake(x + rho, maxY));
        path.appendBezierPathWithArcWithCenter(leftCentre, rho, 90, 270);
        path.lineToPoint(CGPointMake(maxX, y));
        path.lineToPoint(CGPointMake(maxX, maxY));
    } else {
        // The outline starts where its half circle does, so that a path
        // appended to another is not joined to that one's last point.
        path.moveToPoint(CGPointMake(maxX - rho, y));
        path.appendBezierPathWithArcWithCenter(rightCentre, rho, 270, 90);
        path.lineToPoint(CGPointMake(x, maxY));
        path.lineToPoint(CGPointMake(x, y));
        path.lineToPoint(CGPointMake(maxX - rho, y));
    }
    path.closePath();
}

void NSBezierPathTKExtensions::appendBezierPathWithTopPlateInRect(NSBezierPath& path, CGRect r)
{
    if (!(r.size.width > 0))
        return;
    double rho = r.size.width * 0.5;
    double x = r.origin.x, y = r.origin.y, maxY = CGRectGetMaxY(r);
    path.moveToPoint(CGPointMake(x, y + rho));
    path.appendBezierPathWithArcWithCenter(CGPointMake(x + rho, y + rho), rho, 180, 0);
    path.appendBezierPathWithArcWithCenter(CGPointMake(x + rho, maxY - rho), rho, 0, 180);
    path.closePath();
}

// MARK: Drawing

void NSBezierPathTKExtensions::fillRoundRect(CGRect rect, float radius, const Ref<NSColor>& frameColor, float frameWidth)
{
    auto path = roundRectPath(rect, radius);
    path->fill();
    if (!frameColor)
        return;
    TKDrawGuarded([&] {
        frameColor->set();
        path->setLineWidth(double(frameWidth));
        path->addClip();
        path->stroke();
    });
}

void NSBezierPathTKExtensions::frameRoundRect(CGRect rect, float radius)
{
    TKDrawGuarded([&] {
        auto path = roundRectPath(rect, radius);
        path->setLineWidth(1.0);
        path->addClip();
        path->stroke();
    });
}

void NSBezierPathTKExtensions::fillOval(CGRect rect, const Ref<NSColor>& frameColor)
{
    auto path = ovalPath(rect);
    path->fill();
    if (!frameColor)
        return;
    frameColor->set();
    path->stroke();
}

void NSBezierPathTKExtensions::strokeOval(CGRect rect) { ovalPath(rect)->stroke(); }

void NSBezierPathTKExtensions::fillTriangle(CGRect rect, int direction, bool flipped)
{
    trianglePath(rect, direction, flipped)->fill();
}

void NSBezierPathTKExtensions::eraseRect(CGRect rect)
{
    NSColor::clearColor()->set();
    NSRectFillUsingOperation(rect, NSCompositingOperationCopy);
}

void NSBezierPathTKExtensions::drawGridEffect(CGRect rect, bool isFlipped)
{
    static const Ref<NSImage> tile = gridImage(CGRectMake(0, 0, kGridTileSide, kGridTileSide));
    NSImageTKExtensions::tileInRect(tile, rect, isFlipped, NSCompositingOperationSourceOver, kGridEffectFraction);
}

// MARK: Path operations

bool NSBezierPathTKExtensions::isClosed(const Ref<NSBezierPath>& path)
{
    return path && !path->isEmpty() && path->elementAtIndex(path->elementCount() - 1) == NSClosePathBezierPathElement;
}

Ref<NSBezierPath> NSBezierPathTKExtensions::closedPath(const Ref<NSBezierPath>& path)
{
    if (!path || isClosed(path))
        return path;
    auto copy = path->copy();
    copy->closePath();
    return copy;
}

void NSBezierPathTKExtensions::erasePath(const Ref<NSBezierPath>& path)
{
    if (!path)
        return;
    TKDrawGuarded([&] {
        path->addClip();
        eraseRect(path->bounds());
    });
}

Ref<NSImage> NSBezierPathTKExtensions::convertToImage(const Ref<NSBezierPath>& path, const Ref<NSColor>& fillColor,
    const Ref<NSColor>& frameColor, bool isTemplate)
{
    if (!path)
        return nullptr;
    // The canvas covers every pixel the path touches, and the path is moved
    // so that its bounds start at the canvas's origin.
    CGRect bounds = path->bounds();
    double x0 = std::floor(bounds.origin.x), y0 = std::floor(bounds.origin.y);
    CGSize size = CGSizeMake(std::ceil(CGRectGetMaxX(bounds)) - x0, std::ceil(CGRectGetMaxY(bounds)) - y0);
    auto moved = path->copy();
    auto transform = NSAffineTransform::transform();
    transform->translateXBy(-x0, -y0);
    moved->transformUsingAffineTransform(*transform);
    auto maker = TKImageMaker::maker(size);
    maker->lockFocus();
    moved->setClip();
    if (fillColor) {
        fillColor->set();
        moved->fill();
    }
    if (frameColor) {
        frameColor->set();
        moved->stroke();
    }
    return maker->unlockFocus(isTemplate);
}

void NSBezierPathTKExtensions::transformPathForView(NSBezierPath& path, NSView* view, CGRect bounds)
{
    auto transform = NSAffineTransform::transform();
    transform->translateXBy(bounds.origin.x, bounds.origin.y);
    if (view && view->isFlipped()) {
        transform->translateXBy(0, bounds.size.height);
        transform->scaleXBy(1.0, -1.0);
    }
    path.transformUsingAffineTransform(*transform);
}

CGPathRef NSBezierPathTKExtensions::CGPath(const Ref<NSBezierPath>& path)
{
    if (!path || path->isEmpty())
        return nullptr;
    // Element for element: an open last subpath stays open, so that a
    // stroked line does not gain a closing edge.
    auto cg = CGPathCreateMutable();
    for (long i = 0; i < path->elementCount(); ++i) {
        CGPoint p[3];
        switch (path->elementAtIndex(i, p)) {
        case NSMoveToBezierPathElement:
            CGPathMoveToPoint(cg, nullptr, p[0].x, p[0].y);
            break;
        case NSLineToBezierPathElement:
            CGPathAddLineToPoint(cg, nullptr, p[0].x, p[0].y);
            break;
        case NSCurveToBezierPathElement:
            CGPathAddCurveToPoint(cg, nullptr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
            break;
        case NSClosePathBezierPathElement:
            CGPathCloseSubpath(cg);
            break;
        }
    }
    return CGPathCreateCopy(cg);
}

// MARK: Template images

namespace {

Ref<NSImage> templateImage(CGSize size, const Ref<NSBezierPath>& path)
{
    auto maker = TKImageMaker::maker(size);
    maker->lockFocus();
    if (auto color = TKColorSet::standardSet()->colorForKey("TKCS_blackImage"))
        color->set();
    path->fill();
    return maker->unlockFocus(true);
}

CGRect atOrigin(CGRect r) { return CGRect { {}, r.size }; }

} // namespace

Ref<NSImage> NSBezierPathTKExtensions::downArrowImage(CGRect rect)
{
    return templateImage(rect.size, downArrowPath(atOrigin(rect)));
}

Ref<NSImage> NSBezierPathTKExtensions::upArrowImage(CGRect rect)
{
    return NSImageTKExtensions::flip(downArrowImage(rect));
}

Ref<NSImage> NSBezierPathTKExtensions::downTriangleImage(CGRect rect, bool flipped)
{
    // In the canvas's own coordinates, like the other shapes: at the rect's
    // origin the triangle would fall outside a canvas of the rect's size.
    return templateImage(rect.size, trianglePath(atOrigin(rect), TKTriangleDown, flipped));
}

Ref<NSImage> NSBezierPathTKExtensions::rightTriangleImage(CGRect rect)
{
    return templateImage(rect.size, trianglePath(atOrigin(rect), TKTriangleRight, false));
}

Ref<NSImage> NSBezierPathTKExtensions::leftTriangleImage(CGRect rect)
{
    return templateImage(rect.size, trianglePath(atOrigin(rect), TKTriangleLeft, false));
}

Ref<NSImage> NSBezierPathTKExtensions::gridImage(CGRect rect)
{
    double w = rect.size.width, h = rect.size.height;
    auto maker = TKImageMaker::maker(rect.size);
    maker->lockFocus();
    NSColor::whiteColor()->set();
    for (double x = 0; x < w; x += kGridStep)
        NSBezierPath::fillRect(CGRectMake(x, 0, 1.0, h));
    for (double y = 0; y < h; y += kGridStep)
        NSBezierPath::fillRect(CGRectMake(0, y, w, 1.0));
    return maker->unlockFocus();
}
