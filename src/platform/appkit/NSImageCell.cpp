#include "NSImageCell.h"

#include "NSView.h"

#include <graphics/NSGraphicsContext.h>

CGSize NSImageCell::cellSize() const { return image() ? image()->size() : CGSizeZero; }

void NSImageCell::drawWithFrame(CGRect frame, NSView* view) { drawInteriorWithFrame(frame, view); }

void NSImageCell::drawInteriorWithFrame(CGRect frame, NSView* view)
{
    auto context = NSGraphicsContext::currentContext();
    if (!image() || !context)
        return;
    CGRect placed = NSImageScaledRect(image()->size(), frame, m_scaling);
    if (CGRectIsEmpty(placed))
        return;
    const auto& cg = context->CGContext();
    CGContextStateSaver saver(cg);
    if (view && view->isFlipped()) {
        // Turn the placed rect's rows over about its middle so that the
        // picture stands upright in a y-down view.
        CGContextTranslateCTM(cg, 0, 2 * placed.origin.y + placed.size.height);
        CGContextScaleCTM(cg, 1, -1);
    }
    image()->drawInRect(placed, CGRectZero, NSCompositingOperationSourceOver, isEnabled() ? 1.0 : 0.5);
}
