#include "NSTrackingArea.h"

#include "NSResponder.h"
#include "NSView.h"

NSTrackingArea::NSTrackingArea(CGRect rect, NSTrackingAreaOptions options, const Ref<NSResponder>& owner, Value userInfo)
    : m_rect(rect)
    , m_options(options)
    , m_owner(owner)
    , m_userInfo(std::move(userInfo))
    , m_inside((options & NSTrackingAssumeInside) != 0)
{
}

CGRect NSTrackingArea::effectiveRect() const
{
    if ((m_options & NSTrackingInVisibleRect) && m_view)
        return m_view->visibleRect();
    return m_rect;
}

void NSTrackingArea::setView(NSView* view)
{
    m_view = view;
    m_checked = false;
    m_inside = (m_options & NSTrackingAssumeInside) != 0;
}
