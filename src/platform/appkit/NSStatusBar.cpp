#include "NSStatusBar.h"

#include "NSMenu.h"
#include "NSMenuWindow.h"
#include "NSWindow.h"

#include <desktop/Desktop.h>
#include <graphics/NSBezierPath.h>
#include <graphics/NSColor.h>
#include <graphics/NSFont.h>
#include <graphics/NSImage.h>
#include <graphics/NSStringDrawing.h>

#include <algorithm>
#include <cmath>

namespace {

// Space around an item's image or title in the status area.
constexpr double kItemPadding = 4;

NSStringAttributes titleAttributes()
{
    NSStringAttributes attributes;
    attributes.font = NSFont::systemFontOfSize(13);
    attributes.foregroundColor = NSColor::controlTextColor();
    return attributes;
}

}

// MARK: The button

NSStatusBarButton::NSStatusBarButton(NSStatusItem* item)
    : m_item(item)
{
}

void NSStatusBarButton::drawRect(CGRect)
{
    CGRect bounds = this->bounds();
    bool highlighted = m_item && m_item->highlightMode() && m_item->isMenuOpen();
    (highlighted ? NSColor::alternateSelectedControlColor() : NSColor::windowBackgroundColor())->setFill();
    NSRectFill(bounds);
    if (!m_item)
        return;
    if (const auto& image = m_item->image()) {
        // The image at its own size, smaller where the area is lower,
        // centred.
        CGSize size = image->size();
        double side = std::max(1.0, std::min(bounds.size.width, bounds.size.height) - 2 * kItemPadding);
        double scale = std::min(1.0, side / std::max({ size.width, size.height, 1.0 }));
        CGSize drawn { size.width * scale, size.height * scale };
        image->drawInRect(CGRectMake(std::round((bounds.size.width - drawn.width) / 2),
            std::round((bounds.size.height - drawn.height) / 2), drawn.width, drawn.height));
    } else if (!m_item->title().empty()) {
        auto attributes = titleAttributes();
        if (highlighted)
            attributes.foregroundColor = NSColor::alternateSelectedControlTextColor();
        CGSize size = sizeWithAttributes(m_item->title(), attributes);
        drawAtPoint(m_item->title(), { kItemPadding, (bounds.size.height - size.height) / 2 }, attributes);
    }
}

void NSStatusBarButton::mouseDown(const Ref<NSEvent>&)
{
    if (m_item)
        m_item->popUpStatusItemMenu(m_item->menu());
}

// Items in a system tray open their menu on either button.
void NSStatusBarButton::rightMouseDown(const Ref<NSEvent>& event) { mouseDown(event); }

// MARK: The item

NSStatusItem::~NSStatusItem()
{
    NSStatusBar::systemStatusBar().forget(this);
    if (auto open = m_openMenu.lock())
        open->close();
    if (m_button)
        m_button->detach();
    if (m_window)
        m_window->orderOut(nullptr);
}

void NSStatusItem::setImage(Ref<NSImage> image)
{
    m_image = std::move(image);
    redisplay();
}

void NSStatusItem::setTitle(std::string title)
{
    m_title = std::move(title);
    redisplay();
}

double NSStatusItem::displayWidth() const
{
    if (m_length >= 0)
        return m_length;
    if (m_length == NSSquareStatusItemLength || m_image)
        return NSStatusBar::kThickness;
    if (m_title.empty())
        return NSStatusBar::kThickness;
    return std::ceil(sizeWithAttributes(m_title, titleAttributes()).width) + 2 * kItemPadding;
}

void NSStatusItem::show()
{
    if (m_window || !Desktop::current().hasStatusArea())
        return;
    CGRect frame = CGRectMake(0, 0, displayWidth(), NSStatusBar::kThickness);
    m_window = makeRef<NSWindow>(frame, NSWindowStyleMaskBorderless);
    m_window->setLevel(NSStatusWindowLevel);
    m_window->setStatusItemWindow(true);
    m_button = makeRef<NSStatusBarButton>(this);
    m_button->setFrame(CGRectMake(0, 0, frame.size.width, frame.size.height));
    m_button->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
    m_window->setContentView(m_button);
    m_window->orderFront(nullptr);
}

void NSStatusItem::redisplay()
{
    if (!m_window)
        return;
    CGRect frame = m_window->frame();
    if (m_length < 0 && frame.size.width != displayWidth()) {
        frame.size.width = displayWidth();
        m_window->setFrame(frame, false);
    }
    m_button->setNeedsDisplay(true);
}

bool NSStatusItem::isMenuOpen() const
{
    auto open = m_openMenu.lock();
    return open && open->isOpen();
}

void NSStatusItem::popUpStatusItemMenu(const Ref<NSMenu>& menu)
{
    if (!menu)
        return;
    // Without a window of its own the item's menu opens at the pointer.
    CGPoint pointer = NSEvent::mouseLocation();
    CGRect anchor = m_window ? m_window->frame() : CGRectMake(pointer.x, pointer.y, 0, 0);
    auto open = NSMenuWindow::popUpBelowRect(menu, anchor);
    m_openMenu = open;
    if (!open)
        return;
    Weak<NSStatusItem> weak = selfRef<NSStatusItem>();
    open->setCloseHandler([weak] {
        if (auto item = weak.lock())
            item->redisplay();
    });
    redisplay();
}

// MARK: The bar

NSStatusBar& NSStatusBar::systemStatusBar()
{
    static auto* bar = new NSStatusBar();
    return *bar;
}

Ref<NSStatusItem> NSStatusBar::statusItemWithLength(double length)
{
    auto item = makeRef<NSStatusItem>(length);
    m_items.push_back(item);
    item->show();
    return item;
}

void NSStatusBar::removeStatusItem(const Ref<NSStatusItem>& item)
{
    if (!item)
        return;
    forget(item.get());
    if (item->m_window)
        item->m_window->orderOut(nullptr);
}

void NSStatusBar::forget(const NSStatusItem* item)
{
    std::erase_if(m_items, [&](const Weak<NSStatusItem>& w) {
        auto locked = w.lock();
        return !locked || locked.get() == item;
    });
}

std::vector<Ref<NSStatusItem>> NSStatusBar::items() const
{
    std::vector<Ref<NSStatusItem>> result;
    for (const auto& w : m_items)
        if (auto item = w.lock())
            result.push_back(item);
    return result;
}
