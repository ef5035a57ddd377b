#include "NSMenuWindow.h"

#include "NSApplication.h"
#include "NSEvent.h"
#include "NSScreen.h"
#include "NSView.h"
#include "NSWindow.h"

#include <desktop/InputCodes.h>
#include <graphics/NSBezierPath.h>
#include <graphics/NSColor.h>
#include <graphics/NSFont.h>
#include <graphics/NSStringDrawing.h>

#include <algorithm>

namespace {

// The open menu, kept while it is open.
Ref<NSMenuWindow> gCurrent;

NSStringAttributes itemAttributes(const Ref<NSColor>& colour)
{
    NSStringAttributes attributes;
    attributes.font = NSFont::systemFontOfSize(13);
    attributes.foregroundColor = colour;
    return attributes;
}

bool choosable(const Ref<NSMenuItem>& item) { return item && !item->isSeparatorItem() && item->isEnabled(); }

}

// Draws the rows the menu window laid out.
class NSMenuView final : public NSView {
public:
    NSMenuView(CGRect frame, NSMenuWindow* owner)
        : NSView(frame)
        , m_owner(owner)
    {
    }
    bool isFlipped() const override { return true; }
    void detach() { m_owner = nullptr; }

    void drawRect(CGRect) override
    {
        NSColor::windowBackgroundColor()->setFill();
        NSRectFill(bounds());
        NSColor::gridColor()->setFill();
        NSBezierPath::strokeRect(CGRectInset(bounds(), 0.5, 0.5));
        if (!m_owner)
            return;
        const auto& items = m_owner->m_menu->itemArray();
        for (size_t i = 0; i < items.size() && i < m_owner->m_rows.size(); ++i) {
            CGRect row = m_owner->m_rows[i];
            const auto& item = items[i];
            if (item->isSeparatorItem()) {
                NSColor::gridColor()->setFill();
                NSRectFill(CGRectMake(row.origin.x + 1, CGRectGetMidY(row), row.size.width - 2, 1));
                continue;
            }
            bool highlighted = long(i) == m_owner->m_highlighted;
            if (highlighted) {
                NSColor::alternateSelectedControlColor()->setFill();
                NSRectFill(row);
            }
            auto colour = !item->isEnabled() ? NSColor::disabledControlTextColor()
                : highlighted               ? NSColor::alternateSelectedControlTextColor()
                                            : NSColor::controlTextColor();
            auto attributes = itemAttributes(colour);
            CGSize size = sizeWithAttributes(item->title(), attributes);
            drawAtPoint(item->title(),
                { row.origin.x + NSMenuWindow::kTextInset, row.origin.y + (row.size.height - size.height) / 2 }, attributes);
        }
    }

private:
    NSMenuWindow* m_owner;
};

NSMenuWindow::NSMenuWindow(Ref<NSMenu> menu)
    : m_menu(std::move(menu))
{
}

NSMenuWindow::~NSMenuWindow()
{
    if (m_window)
        if (auto view = std::dynamic_pointer_cast<NSMenuView>(m_window->contentView()))
            view->detach();
}

Ref<NSMenuWindow> NSMenuWindow::current() { return gCurrent; }

Ref<NSMenuWindow> NSMenuWindow::popUpBelowRect(const Ref<NSMenu>& menu, CGRect anchor, CGFloat minimumWidth)
{
    if (auto open = current())
        open->close();
    if (!menu || menu->numberOfItems() == 0)
        return nullptr;
    auto self = makeRef<NSMenuWindow>(menu);

    // Rows from the top; the widest title decides the width.
    CGFloat width = std::max(kMinimumWidth, std::ceil(minimumWidth));
    CGFloat y = kMargin;
    auto attributes = itemAttributes(NSColor::controlTextColor());
    for (const auto& item : menu->itemArray()) {
        CGFloat height = item->isSeparatorItem() ? kSeparatorHeight : kItemHeight;
        self->m_rows.push_back(CGRectMake(0, y, 0, height));
        y += height;
        if (!item->isSeparatorItem())
            width = std::max(width, std::ceil(sizeWithAttributes(item->title(), attributes).width) + 2 * kTextInset);
    }
    for (auto& row : self->m_rows)
        row.size.width = width;
    CGSize size { width, y + kMargin };

    // Below the anchor, or above it where the screen ends; inside the
    // anchor's screen from left to right.
    Ref<NSScreen> screen = NSScreen::mainScreen();
    for (const auto& s : NSScreen::screens())
        if (CGRectIntersectsRect(s->frame(), anchor)) {
            screen = s;
            break;
        }
    CGRect bounds = screen ? screen->frame() : CGRectMake(0, 0, 1e6, 1e6);
    CGFloat x = std::clamp(anchor.origin.x, CGRectGetMinX(bounds), std::max(CGRectGetMinX(bounds), CGRectGetMaxX(bounds) - size.width));
    CGFloat bottom = anchor.origin.y - size.height;
    if (bottom < CGRectGetMinY(bounds))
        bottom = CGRectGetMaxY(anchor);
    CGRect frame { { x, bottom }, size };

    self->m_window = makeRef<NSWindow>(frame, NSWindowStyleMaskBorderless);
    self->m_window->setLevel(NSPopUpMenuWindowLevel);
    self->m_window->setHasShadow(true);
    self->m_window->setContentView(makeRef<NSMenuView>(CGRectMake(0, 0, size.width, size.height), self.get()));
    self->m_window->setFrame(frame, false);
    Weak<NSMenuWindow> weak = self;
    self->m_monitor = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskLeftMouseDown | NSEventMaskLeftMouseUp
            | NSEventMaskRightMouseDown | NSEventMaskRightMouseUp | NSEventMaskMouseMoved | NSEventMaskLeftMouseDragged
            | NSEventMaskKeyDown,
        [weak](const Ref<NSEvent>& event) -> Ref<NSEvent> {
            auto menuWindow = weak.lock();
            return menuWindow ? menuWindow->monitor(event) : event;
        });
    self->m_open = true;
    gCurrent = self;
    self->m_window->orderFront(nullptr);
    return self;
}

void NSMenuWindow::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_monitor = {};
    auto keep = selfRef<NSMenuWindow>();
    if (gCurrent.get() == this)
        gCurrent.reset();
    m_window->orderOut(nullptr);
    if (auto handler = std::move(m_closeHandler))
        handler();
}

CGRect NSMenuWindow::screenRectOfItemAtIndex(long index) const
{
    if (index < 0 || index >= long(m_rows.size()) || !m_window)
        return CGRectNull;
    CGRect row = m_rows[index];
    CGRect frame = m_window->frame();
    // Rows are measured from the top of the window.
    return CGRectMake(frame.origin.x + row.origin.x, CGRectGetMaxY(frame) - CGRectGetMaxY(row), row.size.width, row.size.height);
}

long NSMenuWindow::indexAtPoint(CGPoint screenPoint) const
{
    for (long i = 0; i < long(m_rows.size()); ++i)
        if (CGRectContainsPoint(screenRectOfItemAtIndex(i), screenPoint))
            return i;
    return -1;
}

void NSMenuWindow::setHighlighted(long index)
{
    if (index >= 0 && !choosable(m_menu->itemAtIndex(index)))
        index = -1;
    if (index == m_highlighted)
        return;
    m_highlighted = index;
    if (auto view = m_window->contentView())
        view->setNeedsDisplay(true);
}

void NSMenuWindow::choose(long index)
{
    if (!choosable(m_menu->itemAtIndex(index)))
        return;
    // The menu goes before the action runs, as a chosen menu does.
    auto keep = selfRef<NSMenuWindow>();
    auto choice = std::move(m_choiceHandler);
    close();
    if (choice)
        choice(index);
    else
        m_menu->performActionForItemAtIndex(index);
}

// Every mouse and key event of this application passes here first while
// the menu is open.
Ref<NSEvent> NSMenuWindow::monitor(const Ref<NSEvent>& event)
{
    if (!m_open)
        return event;
    CGPoint point = event->locationInScreen();
    bool inside = CGRectContainsPoint(m_window->frame(), point);
    switch (event->type()) {
    case NSEventTypeMouseMoved:
    case NSEventTypeLeftMouseDragged:
        setHighlighted(inside ? indexAtPoint(point) : -1);
        return inside ? nullptr : event;
    case NSEventTypeLeftMouseDown:
    case NSEventTypeRightMouseDown:
        // A press elsewhere closes the menu and goes no further.
        if (inside)
            setHighlighted(indexAtPoint(point));
        else
            close();
        return nullptr;
    case NSEventTypeLeftMouseUp:
    case NSEventTypeRightMouseUp:
        if (!inside)
            return event;
        choose(indexAtPoint(point));
        return nullptr;
    case NSEventTypeKeyDown: {
        uint16_t key = event->keyCode();
        if (key == kVK_Escape) {
            close();
        } else if (key == kVK_Return) {
            choose(m_highlighted);
        } else if (key == kVK_DownArrow || key == kVK_UpArrow) {
            long count = m_menu->numberOfItems();
            long step = key == kVK_DownArrow ? 1 : -1;
            long index = m_highlighted < 0 && step < 0 ? 0 : m_highlighted;
            for (long n = 0; n < count; ++n) {
                index = (index + step + count) % count;
                if (choosable(m_menu->itemAtIndex(index)))
                    break;
            }
            setHighlighted(index);
        }
        return nullptr;
    }
    default:
        return event;
    }
}
