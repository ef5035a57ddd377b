#include "WindowManViewPanel.h"

#include "SwitcherCodes.h"

#include <foundation/NSUserDefaults.h>
#include <graphics/NSGraphicsContext.h>
#include <model/DefaultsKeys.h>

WindowManViewPanel::WindowManViewPanel(CGRect frame)
    : NSView(frame)
{
    setAcceptsTouchEvents(true);
}

int WindowManViewPanel::currentTheme() const
{
    return NSUserDefaults::standardUserDefaults()->integerForKey(DefaultsKey::ThemeIndex) != SwitcherThemeDark ? 1 : 0;
}

void WindowManViewPanel::drawRect(CGRect dirtyRect)
{
    NSView::drawRect(dirtyRect);
    auto current = NSGraphicsContext::currentContext();
    if (!current) return;
    const auto& context = current->CGContext();
    CGContextStateSaver saver(context);
    // The fill covers the whole backdrop and the clip keeps it to the part
    // being drawn, so that a partial repaint does not round its corners.
    CGContextClipToRect(context, dirtyRect);
    CGContextBeginPath(context);
    CGContextAddPath(context, CGPathCreateWithRoundedRect(bounds(), kCornerRadius, kCornerRadius, nullptr));
    auto fill = currentTheme() == 1 ? CGColorCreateGenericGray(0, 0.5) : CGColorCreateGenericGray(1, 0.1);
    CGContextSetFillColorWithColor(context, fill);
    CGContextFillPath(context);
}
