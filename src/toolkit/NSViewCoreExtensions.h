// What the toolkit adds to NSView (NSView(CoreExtensions)): letting the
// nearest willing ancestor paint the background behind a view.
//
// Selectors are names here. An object answers "drawBackgroundInSubview:
// inRect:" when it is a TKBackgroundDrawing; any other selector when it
// answers it as an action (NSActionTarget).
#pragma once

#include <appkit/NSView.h>

#include <string>

inline const std::string kDrawBackgroundInSubviewSelector = "drawBackgroundInSubview:inRect:";

// What an ancestor (or a window delegate) offers to paint backgrounds for
// its subviews.
class TKBackgroundDrawing {
public:
    virtual ~TKBackgroundDrawing() = default;
    // Paints the background behind the subview; the rectangle is in the
    // subview's coordinates, and drawing goes to the current context, whose
    // user space is the subview's.
    virtual void drawBackgroundInSubview(NSView& subview, CGRect inRect) = 0;
};

class NSViewCoreExtensions {
public:
    // Whether an object answers a selector (see above).
    static bool respondsToSelector(NSObject* object, const std::string& selector);
    // The nearest ancestor (from the superview up) that answers the
    // selector; failing that, the delegate of the view's own window when it
    // does; else null.
    static Ref<NSObject> parentWhichRespondsToSelector(const NSView& view, const std::string& selector);
    // Asks the ancestor that paints backgrounds to paint behind the view,
    // inside a saved graphics state, with its whole bounds converted into
    // the view's coordinates. Nothing (no state saved) when there is none.
    // An NSException raised by the ancestor is logged and ends the call;
    // any other passes on. The state is restored either way.
    static void askParentToDrawBackground(NSView& view);
};
