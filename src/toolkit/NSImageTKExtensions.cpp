#include "NSImageTKExtensions.h"

#include "NSWindowUtilities.h"
#include "TKDrawingGuard.h"
#include "TKGeometry.h"
#include "TKImageMaker.h"

#include <appkit/NSImageCell.h>
#include <appkit/NSView.h>
#include <appkit/NSWindow.h>
#include <graphics/NSBezierPath.h>
#include <graphics/NSGraphicsContext.h>

#include <cmath>

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

// MARK: Tiled, centred and flipped drawing

CGRect NSImageTKExtensions::tileRectForBounds(const Ref<NSImage>& image, CGRect bounds)
{
    CGSize s = image ? image->size() : CGSizeZero;
    if (s.width <= 0 || s.height <= 0)
        return bounds;
    CGRect tile = TKGeometry::rect(CGRect { {}, s }, bounds, false);
    // Both coordinates step back together, by whole tiles.
    while (tile.origin.x > bounds.origin.x || tile.origin.y > bounds.origin.y) {
        tile.origin.x -= s.width;
        tile.origin.y -= s.height;
    }
    return CGRectUnion(tile, bounds);
}

namespace {

// Disables the window's flushing for a scope unless it already was, so
// that an exception cannot leave it off.
class FlushHold {
public:
    explicit FlushHold(NSWindow* window)
        : m_window(window && !window->isFlushWindowDisabled() ? window : nullptr)
    {
        if (m_window)
            m_window->disableFlushWindow();
    }
    ~FlushHold()
    {
        if (m_window)
            m_window->enableFlushWindow();
    }
    FlushHold(const FlushHold&) = delete;
    FlushHold& operator=(const FlushHold&) = delete;

private:
    NSWindow* m_window;
};

// The next grid line after position: the step truncated to a whole point,
// but always at least one point further, so that tiles smaller than a
// point still come to an end.
double nextTile(double position, double step)
{
    double next = std::trunc(position + step);
    return next > position ? next : position + 1;
}

} // namespace

void NSImageTKExtensions::tileInView(const Ref<NSImage>& image, NSView* view, float fraction, CGRect clipRect)
{
    if (!image)
        return;
    CGSize s = image->size();
    CGRect bounds = view ? view->bounds() : CGRectZero;
    CGRect tiles = tileRectForBounds(image, bounds);
    CGRect visible = view ? view->visibleRect() : CGRectZero;
    if (!CGRectIsEmpty(clipRect))
        visible = CGRectIntersection(visible, clipRect);
    if (s.width <= 0 || s.height <= 0 || fraction <= 0 || CGRectIsEmpty(visible))
        return;
    bool flipped = view && view->isFlipped();
    FlushHold hold(view ? view->window() : nullptr);
    for (double y = std::trunc(tiles.origin.y); y < CGRectGetMaxY(tiles); y = nextTile(y, std::ceil(s.height))) {
        for (double x = std::trunc(tiles.origin.x); x < CGRectGetMaxX(tiles); x = nextTile(x, std::ceil(s.width))) {
            CGRect tile = CGRectMake(x, y, s.width, s.height);
            if (!CGRectIntersectsRect(tile, visible))
                continue;
            CGRect part = CGRectIntersection(tile, visible);
            CGRect source;
            CGPoint destination;
            if (flipped) {
                source = CGRectMake(part.origin.x - x, (y + s.height) - CGRectGetMaxY(part), part.size.width,
                    part.size.height);
                destination = CGPointMake(part.origin.x, CGRectGetMaxY(part));
            } else {
                source = CGRectMake(part.origin.x - x, part.origin.y - y, part.size.width, part.size.height);
                destination = part.origin;
            }
            image->compositeToPoint(destination, source, NSCompositingOperationSourceOver, double(fraction));
        }
    }
}

void NSImageTKExtensions::tileInRect(const Ref<NSImage>& image, CGRect rect, bool isFlipped,
    NSCompositingOperation operation, float fraction)
{
    if (!image)
        return;
    CGSize s = image->size();
    if (s.width <= 0 || s.height <= 0)
        return;
    TKDrawGuarded([&] {
        NSBezierPath::clipRect(rect);
        for (double y = std::trunc(rect.origin.y); y < CGRectGetMaxY(rect); y = nextTile(y, s.height))
            for (double x = std::trunc(rect.origin.x); x < CGRectGetMaxX(rect); x = nextTile(x, s.width))
                image->compositeToPoint(CGPointMake(x, isFlipped ? y + s.height : y), operation, double(fraction));
    });
}

void NSImageTKExtensions::compositeInRect(const Ref<NSImage>& image, CGRect rect, NSCompositingOperation operation,
    bool flipped, float fraction)
{
    if (!image)
        return;
    CGSize s = image->size();
    CGPoint point;
    point.x = rect.origin.x + (rect.size.width - s.width) * 0.5;
    if (flipped)
        point.y = rect.origin.y + rect.size.height - (rect.size.height - s.height) * 0.5;
    else
        point.y = rect.origin.y + (rect.size.height - s.height) * 0.5;
    image->compositeToPoint(point, operation, double(fraction));
}

void NSImageTKExtensions::drawCenteredInRectHQ(const Ref<NSImage>& image, CGRect rect,
    NSCompositingOperation operation, float fraction)
{
    if (!image)
        return;
    CGRect target = TKGeometry::rect(CGRect { {}, image->size() }, rect, true);
    drawInRectHQ(image, TKGeometry::integerRect(target), CGRectZero, operation, fraction);
}

void NSImageTKExtensions::drawFlippedInRect(const Ref<NSImage>& image, CGRect rect, CGRect fromRect,
    NSCompositingOperation operation, float fraction)
{
    auto context = NSGraphicsContext::currentContext();
    if (!image || !context)
        return;
    if (fromRect.size.width == 0 && fromRect.size.height == 0)
        fromRect.size = image->size();
    // A part without area would scale by an infinite factor.
    if (fromRect.size.width <= 0 || fromRect.size.height <= 0)
        return;
    const auto& cg = context->CGContext();
    CGContextStateSaver saver(cg);
    CGContextTranslateCTM(cg, rect.origin.x, rect.origin.y + rect.size.height);
    CGContextScaleCTM(cg, rect.size.width / fromRect.size.width, -rect.size.height / fromRect.size.height);
    image->drawInRect(CGRect { {}, fromRect.size }, fromRect, operation, double(fraction));
}

void NSImageTKExtensions::drawFlippedInRect(const Ref<NSImage>& image, CGRect rect, NSCompositingOperation operation,
    float fraction)
{
    drawFlippedInRect(image, rect, CGRectZero, operation, fraction);
}

Ref<NSImage> NSImageTKExtensions::flip(const Ref<NSImage>& image)
{
    if (!image)
        return nullptr;
    CGSize s = image->size();
    if (s.width <= 0 || s.height <= 0)
        return image;
    auto maker = TKImageMaker::maker(s);
    maker->lockFocus();
    TKDrawGuarded([&] {
        if (auto context = NSGraphicsContext::currentContext()) {
            CGContextTranslateCTM(context->CGContext(), 0, s.height);
            CGContextScaleCTM(context->CGContext(), 1, -1);
        }
        drawInRectHQ(image, CGRect { {}, s }, CGRect { {}, s }, NSCompositingOperationCopy, 1.0f);
    });
    return maker->unlockFocus(image->isTemplate());
}

void NSImageTKExtensions::drawInRect(const Ref<NSImage>& image, CGRect rect, NSView* view, bool highlighted,
    long backgroundStyle)
{
    static const Ref<NSImageCell> cell = [] {
        auto made = makeRef<NSImageCell>();
        made->setImageScaling(NSImageScaleNone);
        return made;
    }();
    NSWindow* window = view ? view->window() : nullptr;
    cell->setBackgroundStyle(
        window && NSWindowUtilities::dimControls(*window) ? NSBackgroundStyleNormal : NSBackgroundStyle(backgroundStyle));
    if (cell->image() != image)
        cell->setImage(image);
    if (cell->isHighlighted() != highlighted)
        cell->setHighlighted(highlighted);
    cell->drawWithFrame(rect, view);
}
