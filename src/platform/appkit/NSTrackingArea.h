// Tracking areas: a rectangle of a view whose owner hears when the mouse
// enters, leaves or moves in it. The window checks the areas of its views
// on every mouse movement and on every change of its views' geometry.
#pragma once

#include <foundation/CGGeometry.h>
#include <foundation/NSObject.h>

class NSResponder;
class NSView;

using NSTrackingAreaOptions = uint64_t;
inline constexpr NSTrackingAreaOptions NSTrackingMouseEnteredAndExited = 0x01;
inline constexpr NSTrackingAreaOptions NSTrackingMouseMoved = 0x02;
inline constexpr NSTrackingAreaOptions NSTrackingCursorUpdate = 0x04;
inline constexpr NSTrackingAreaOptions NSTrackingActiveWhenFirstResponder = 0x10;
inline constexpr NSTrackingAreaOptions NSTrackingActiveInKeyWindow = 0x20;
inline constexpr NSTrackingAreaOptions NSTrackingActiveInActiveApp = 0x40;
inline constexpr NSTrackingAreaOptions NSTrackingActiveAlways = 0x80;
inline constexpr NSTrackingAreaOptions NSTrackingAssumeInside = 0x100;
inline constexpr NSTrackingAreaOptions NSTrackingInVisibleRect = 0x200;
inline constexpr NSTrackingAreaOptions NSTrackingEnabledDuringMouseDrag = 0x400;

class NSTrackingArea : public NSObject {
public:
    // The owner is not kept alive by the area.
    NSTrackingArea(CGRect rect, NSTrackingAreaOptions options, const Ref<NSResponder>& owner, Value userInfo = {});

    CGRect rect() const { return m_rect; }
    NSTrackingAreaOptions options() const { return m_options; }
    Ref<NSResponder> owner() const { return m_owner.lock(); }
    const Value& userInfo() const { return m_userInfo; }
    NSView* view() const { return m_view; }

    // The rectangle tracked now, in the view's coordinates: the view's
    // visible part for NSTrackingInVisibleRect, else the given rectangle.
    CGRect effectiveRect() const;

    // Whether the window considers the mouse inside (set by the window).
    bool isInside() const { return m_inside; }

private:
    friend class NSView;
    friend class NSWindow;
    void setView(NSView* view);

    CGRect m_rect;
    NSTrackingAreaOptions m_options;
    Weak<NSResponder> m_owner;
    Value m_userInfo;
    NSView* m_view { nullptr };
    bool m_inside { false };
    // Until the first check, an area that assumes the mouse inside is
    // treated as inside, so that it hears only an exit.
    bool m_checked { false };
};
