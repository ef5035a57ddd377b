// What the toolkit adds to NSView (NSView(CoreExtensions)): letting the
// nearest willing ancestor paint the background behind a view; drawing a
// focus or highlight ring, erasing and capturing a view; searching and
// editing the view tree; first-responder tests; telling a click from a
// drag; and scrolling by fraction, page, line or pixel. Beside it, the
// switch-button test of NSButton(TKExtensions). Main thread only.
//
// Selectors are names here. An object answers "drawBackgroundInSubview:
// inRect:" when it is a TKBackgroundDrawing; any other selector when it
// answers it as an action (NSActionTarget).
#pragma once

#include <appkit/NSButton.h>
#include <appkit/NSEvent.h>
#include <appkit/NSView.h>
#include <graphics/NSImage.h>

#include <string>
#include <vector>

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

    // MARK: Drawing

    // A focus ring around the view's bounds, clipped to its visible part.
    // An NSException raised meanwhile is logged; the state is restored.
    static void drawFocusRing(NSView& view);
    // A translucent blue round rect with a 4-point frame inside its edge,
    // white when selected.
    static void drawHighlightRing(CGRect rect, bool selected);
    // Clears the rect of the current context to transparent.
    static void eraseRect(CGRect rect);
    // The view's drawing of the rect (the zero rect for its bounds) as an
    // image of the rect's size, the rect's corner at the image's.
    static Ref<NSImage> viewImage(NSView& view, CGRect rect);
    // Whether the window of the view drawing now is metallic; NO when no
    // view is drawing.
    static bool drawingInMetallicWindow();
    static void setNeedsDisplayForSubviews(NSView& view);
    static void displayIfNeededForSubviews(NSView& view);

    // MARK: The tree

    template <class T>
    static T* findKindOfEnclosingView(const NSView& view)
    {
        for (NSView* ancestor = view.superview(); ancestor; ancestor = ancestor->superview())
            if (auto* found = dynamic_cast<T*>(ancestor))
                return found;
        return nullptr;
    }
    // The direct subviews first, then each subview's own search.
    template <class T>
    static Ref<T> findKindOfSubview(const NSView& view)
    {
        for (const auto& subview : view.subviews())
            if (auto found = std::dynamic_pointer_cast<T>(subview))
                return found;
        for (const auto& subview : view.subviews())
            if (auto found = findKindOfSubview<T>(*subview))
                return found;
        return nullptr;
    }
    // Every descendant of the class, in pre-order.
    template <class T>
    static std::vector<Ref<T>> subviewsWithClass(const NSView& view)
    {
        std::vector<Ref<T>> found;
        for (const auto& subview : view.subviews()) {
            if (auto match = std::dynamic_pointer_cast<T>(subview))
                found.push_back(match);
            auto deeper = subviewsWithClass<T>(*subview);
            found.insert(found.end(), deeper.begin(), deeper.end());
        }
        return found;
    }
    // Depth first: a scroll view among the subviews, else inside them.
    static NSScrollView* findScrollView(const NSView& view);
    // The other view is an ancestor (not the view itself).
    static bool isParentView(const NSView& view, const NSView* other);
    static NSWindow* contentWindow(const NSView& view);
    // Shown, with something visible, in a window.
    static bool isVisible(const NSView& view);
    // Adds a view without a superview (flag set) or takes one out of its
    // superview (flag clear); otherwise nothing.
    static void add(NSView& view, bool flag, const Ref<NSView>& subview);
    static void removeOneView(Ref<NSView>& subview);
    // Last subview first, without redisplay.
    static void removeAllSubviews(NSView& view);
    // Every subview gets the bounds as its frame, recursively.
    static void resizeSubviewsToParentBounds(NSView& view);
    // Every subview gets the bounds' size, then resizes its own subviews
    // to its bounds.
    static void resizeSubviewsToParentSize(NSView& view);
    // Text fields without a background get this one; check boxes get it
    // behind their titles. Fields with a background of their own keep it.
    static void setBackgroundColorOnSubviews(NSView& view, const Ref<NSColor>& color);

    // MARK: First responder

    static bool isFirstResponder(const NSView& view);
    static bool isInitialFirstResponder(const NSView& view);
    // The window's first responder is the view or one of its descendants.
    static bool containsFirstResponder(const NSView& view);

    // MARK: Mouse

    // The mouse is over the view's bounds right now.
    static bool mouseInRectNow(const NSView& view);
    // After a left mouse down: the release when it comes without the mouse
    // leaving the square of side 2 x slop around the press (a click); null
    // for a drag out of it, for any other event, and when the button is no
    // longer held with nothing left to read.
    static Ref<NSEvent> trackMouseDown(NSView& view, const Ref<NSEvent>& event, float dragSlop);
    static bool isDragEvent(NSView& view, const Ref<NSEvent>& event, float dragSlop);

    // MARK: Scrolling, through the enclosing scroll view

    // Where the visible part lies, 0 to 1 on each axis (0, 0 at the start:
    // the top of the content, the left edge). (0, 0) on an axis whose
    // content fits, and without a scroll view.
    static CGPoint scrollPositionAsPercentage(const NSView& view);
    // Scrolls to fractions (clamped to 0..1) of the axes whose content does
    // not fit, on whole points; nothing without a scroll view.
    static void setScrollPositionAsPercentage(NSView& view, CGPoint percentage);
    // The vertical fraction from the view's own visible part.
    static float fraction(const NSView& view);
    static void setFraction(NSView& view, float fraction);
    static void scrollToTop(NSView& view) { setFraction(view, 0); }
    static void scrollToEnd(NSView& view) { setFraction(view, 1); }
    // Positive amounts scroll towards the end.
    static void scrollDownByPages(NSView& view, float pages);
    static void scrollDownByLines(NSView& view, float lines);
    static void scrollDownByAdjustedPixels(NSView& view, float pixels);

    // Logs the view (class, frame, opacity, layer), then its ancestors
    // upwards, or (recursive) its whole subtree downwards.
    static void debugViews(const NSView& view, bool recursive);
};

class NSButtonTKExtensions {
public:
    // A check box.
    static bool isSwitchButton(const NSButton& button);
    static bool isSwitchButtonCell(const NSButtonCell& cell);
};
