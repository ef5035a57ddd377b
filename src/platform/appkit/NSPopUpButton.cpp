#include "NSPopUpButton.h"

#include "NSKeyValueBinding.h"
#include "NSWindow.h"

#include <algorithm>

#include <graphics/NSBezierPath.h>
#include <graphics/NSColor.h>

namespace {

// Room at the right end for the arrows that mark a pop-up.
constexpr CGFloat kArrowsWidth = 18;
constexpr CGFloat kTitleInset = 8;
constexpr CGFloat kArrowHalfWidth = 3.5;
constexpr CGFloat kArrowHeight = 3.5;

Weak<NSPopUpButton>& openOne()
{
    static Weak<NSPopUpButton> open;
    return open;
}

}

NSPopUpButton::NSPopUpButton(CGRect frame, bool pullsDown)
    : NSButton(frame)
    , m_menu(makeRef<NSMenu>())
    , m_pullsDown(pullsDown)
{
    setBezelStyle(NSBezelStyleRounded);
    setAlignment(NSTextAlignmentLeft);
}

std::vector<std::string> NSPopUpButton::itemTitles() const
{
    std::vector<std::string> titles;
    for (const auto& item : m_menu->itemArray())
        titles.push_back(item->title());
    return titles;
}

void NSPopUpButton::addItemWithTitle(const std::string& title)
{
    m_menu->addItem(makeRef<NSMenuItem>(title, "", ""));
    if (m_selectedIndex < 0)
        selectItemAtIndex(0);
}

void NSPopUpButton::addItemsWithTitles(const std::vector<std::string>& titles)
{
    for (const auto& title : titles)
        addItemWithTitle(title);
}

void NSPopUpButton::removeAllItems()
{
    m_menu->removeAllItems();
    m_selectedIndex = -1;
    showSelection();
}

std::string NSPopUpButton::titleOfSelectedItem() const
{
    auto item = m_menu->itemAtIndex(m_selectedIndex);
    return item ? item->title() : std::string();
}

void NSPopUpButton::selectItemAtIndex(long index)
{
    m_selectedIndex = index >= 0 && index < numberOfItems() ? index : -1;
    showSelection();
}

void NSPopUpButton::selectItemWithTitle(const std::string& title)
{
    auto item = m_menu->itemWithTitle(title);
    selectItemAtIndex(item ? m_menu->indexOfItem(item) : -1);
}

void NSPopUpButton::showSelection()
{
    NSButton::setTitle(titleOfSelectedItem());
    setNeedsDisplay(true);
}

Ref<NSPopUpButton> NSPopUpButton::openPopUp() { return openOne().lock(); }

bool NSPopUpButton::isOpen() const { return openPopUp().get() == this; }

Ref<NSMenuWindow> NSPopUpButton::menuWindow() const { return isOpen() ? m_menuWindow : nullptr; }

void NSPopUpButton::performClick(const Ref<NSObject>&)
{
    if (!isEnabled() || numberOfItems() == 0 || !window())
        return;
    if (auto open = openPopUp())
        open->dismiss();
    CGRect anchor = window()->convertRectToScreen(convertRectToView(bounds(), nullptr));
    auto menuWindow = NSMenuWindow::popUpBelowRect(m_menu, anchor, anchor.size.width);
    if (!menuWindow)
        return;
    Weak<NSPopUpButton> weak = selfRef<NSPopUpButton>();
    menuWindow->setCloseHandler([weak] {
        auto self = weak.lock();
        if (!self)
            return;
        if (self->isOpen())
            openOne().reset();
        self->m_menuWindow = nullptr;
    });
    menuWindow->setChoiceHandler([weak](long index) {
        if (auto self = weak.lock())
            self->chooseItemAtIndex(index, false);
    });
    // The arrows start from the chosen item, and Return keeps it.
    menuWindow->setHighlighted(m_selectedIndex);
    m_menuWindow = menuWindow;
    openOne() = selfRef<NSPopUpButton>();
}

void NSPopUpButton::mouseUp(const Ref<NSEvent>& event)
{
    bool wasTracking = isHighlighted();
    setHighlighted(false);
    if (wasTracking)
        performClick(selfRef<NSObject>());
    (void)event;
}

void NSPopUpButton::dismiss()
{
    if (auto menuWindow = m_menuWindow)
        menuWindow->close();
    if (isOpen())
        openOne().reset();
}

bool NSPopUpButton::chooseItemAtIndex(long index) { return chooseItemAtIndex(index, true); }

bool NSPopUpButton::chooseItemAtIndex(long index, bool whileOpen)
{
    if ((whileOpen && !isOpen()) || index < 0 || index >= numberOfItems())
        return false;
    dismiss();
    selectItemAtIndex(index);
    propagateValue(Value(static_cast<int64_t>(index)), NSSelectedIndexBinding);
    sendAction(action(), target());
    return true;
}

bool NSPopUpButton::chooseItemWithTitle(const std::string& title)
{
    auto item = m_menu->itemWithTitle(title);
    return item && chooseItemAtIndex(m_menu->indexOfItem(item));
}

CGSize NSPopUpButton::intrinsicContentSize() const
{
    CGSize size = NSButton::intrinsicContentSize();
    size.width += kArrowsWidth + kTitleInset;
    return size;
}

void NSPopUpButton::drawRect(CGRect)
{
    // The bezel over the whole button, the title inset from its left end and
    // clear of the arrows.
    auto& cell = buttonCell();
    std::string title = cell.title();
    cell.setTitle({});
    cell.drawWithFrame(bounds(), this);
    cell.setTitle(title);
    CGRect text = bounds();
    text.origin.x += kTitleInset;
    text.size.width = std::max<CGFloat>(0, text.size.width - kTitleInset - kArrowsWidth);
    cell.drawInteriorWithFrame(text, this);
    // Two small arrows, up and down, at the right end.
    CGRect b = bounds();
    CGFloat x = CGRectGetMaxX(b) - kArrowsWidth / 2 - 2;
    CGFloat y = CGRectGetMidY(b);
    (isEnabled() ? NSColor::controlTextColor() : NSColor::disabledControlTextColor())->set();
    for (CGFloat direction : { -1.0, 1.0 }) {
        auto path = NSBezierPath::bezierPath();
        CGFloat base = y + direction * 1.5;
        path->moveToPoint(CGPointMake(x - kArrowHalfWidth, base));
        path->lineToPoint(CGPointMake(x + kArrowHalfWidth, base));
        path->lineToPoint(CGPointMake(x, base + direction * kArrowHeight));
        path->closePath();
        path->fill();
    }
}

Value NSPopUpButton::valueForKey(const std::string& key) const
{
    if (key == "selectedIndex" || key == "indexOfSelectedItem")
        return Value(static_cast<int64_t>(m_selectedIndex));
    if (key == "itemTitles")
        return Value([&] {
            Value::Array titles;
            for (const auto& title : itemTitles())
                titles.push_back(Value(title));
            return titles;
        }());
    return NSButton::valueForKey(key);
}

void NSPopUpButton::setValueForKey(const Value& value, const std::string& key)
{
    if (key == "selectedIndex")
        selectItemAtIndex(value.isNil() ? -1 : static_cast<long>(value.integerValue()));
    else
        NSButton::setValueForKey(value, key);
}

void NSPopUpButton::setValueForBinding(const Value& value, const std::string& binding)
{
    if (binding == NSContentValuesBinding) {
        long selected = m_selectedIndex;
        m_menu->removeAllItems();
        if (const auto* titles = value.array())
            for (const auto& title : *titles)
                m_menu->addItem(makeRef<NSMenuItem>(title.stringValue(), "", ""));
        selectItemAtIndex(selected < 0 && numberOfItems() > 0 ? 0 : selected);
    } else if (binding == NSSelectedIndexBinding) {
        selectItemAtIndex(value.isNil() ? -1 : static_cast<long>(value.integerValue()));
    } else {
        NSButton::setValueForBinding(value, binding);
    }
}
