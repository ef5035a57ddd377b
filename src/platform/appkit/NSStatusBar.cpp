#include "NSStatusBar.h"

#include "NSMenu.h"

#include <graphics/NSImage.h>

#include <algorithm>

NSStatusItem::~NSStatusItem() { NSStatusBar::systemStatusBar().forget(this); }

NSStatusBar& NSStatusBar::systemStatusBar()
{
    static auto* bar = new NSStatusBar();
    return *bar;
}

Ref<NSStatusItem> NSStatusBar::statusItemWithLength(double length)
{
    auto item = makeRef<NSStatusItem>(length);
    m_items.push_back(item);
    return item;
}

void NSStatusBar::removeStatusItem(const Ref<NSStatusItem>& item)
{
    if (item)
        forget(item.get());
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
