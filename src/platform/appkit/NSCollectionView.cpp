#include "NSCollectionView.h"

#include "NSEvent.h"
#include "NSKeyValueBinding.h"
#include "NSScrollView.h"

#include <graphics/NSGraphicsContext.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

Ref<NSCollectionViewItem> NSCollectionViewItem::copyItem() const { return makeRef<NSCollectionViewItem>(nibName()); }

NSCollectionView::NSCollectionView(CGRect frame)
    : NSView(frame)
{
}

NSCollectionView::~NSCollectionView()
{
    for (const auto& item : m_items)
        item->m_collectionView = nullptr;
}

void NSCollectionView::setItemPrototype(const Ref<NSCollectionViewItem>& prototype)
{
    m_prototype = prototype;
    reloadData();
}

void NSCollectionView::setContent(const Value& content)
{
    willChangeValueForKey("content");
    m_content = content.array() ? *content.array() : Value::Array {};
    didChangeValueForKey("content");
    if (!m_prototype) {
        reloadData();
        return;
    }
    // Content is set again whenever the list it comes from is arranged, most
    // often with the same objects: remaking every item (its interface file,
    // its bindings) each time would be the largest cost of showing the list.
    std::unordered_multimap<const NSObject*, size_t> unused;
    for (size_t i = 0; i < m_items.size(); ++i)
        if (auto object = m_items[i]->representedObject().object()) unused.emplace(object.get(), i);
    std::vector<bool> kept(m_items.size(), false);
    std::vector<Ref<NSCollectionViewItem>> items;
    items.reserve(m_content.size());
    for (const auto& object : m_content) {
        Ref<NSCollectionViewItem> item;
        if (auto instance = object.object()) {
            auto found = unused.find(instance.get());
            if (found != unused.end()) {
                item = m_items[found->second];
                kept[found->second] = true;
                unused.erase(found);
            }
        }
        if (!item) {
            item = m_prototype->copyItem();
            if (!item) continue;
            item->m_collectionView = this;
            item->setRepresentedObject(object);
        }
        items.push_back(std::move(item));
    }
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (kept[i]) continue;
        m_items[i]->m_collectionView = nullptr;
        if (m_items[i]->isViewLoaded()) m_items[i]->view()->removeFromSuperview();
    }
    // The same items in the same places show what they showed: the views
    // that move, come or go, or change their look, ask to be drawn again.
    bool same = items == m_items;
    m_items = std::move(items);
    showItems(!same);
}

void NSCollectionView::setBackgroundColors(const std::vector<Ref<NSColor>>& colors)
{
    m_backgroundColors = colors;
    setNeedsDisplay(true);
}

void NSCollectionView::setMaxNumberOfColumns(NSUInteger columns)
{
    m_maxColumns = columns;
    tile();
}

Ref<NSCollectionViewItem> NSCollectionView::itemAtIndex(NSUInteger index) const
{
    return index < m_items.size() ? m_items[index] : nullptr;
}

CGSize NSCollectionView::itemSize() const
{
    if (!m_prototype)
        return CGSizeZero;
    return m_prototype->view()->frame().size;
}

NSUInteger NSCollectionView::numberOfColumns() const
{
    CGSize item = itemSize();
    NSUInteger columns = item.width > 0 ? static_cast<NSUInteger>(std::floor(bounds().size.width / item.width)) : 1;
    columns = std::max<NSUInteger>(columns, 1);
    if (m_maxColumns > 0)
        columns = std::min(columns, m_maxColumns);
    return columns;
}

CGRect NSCollectionView::frameForItemAtIndex(NSUInteger index) const
{
    CGSize item = itemSize();
    NSUInteger columns = numberOfColumns();
    return CGRectMake(static_cast<CGFloat>(index % columns) * item.width, static_cast<CGFloat>(index / columns) * item.height,
        item.width, item.height);
}

NSUInteger NSCollectionView::indexOfItemAtPoint(CGPoint point) const
{
    for (NSUInteger i = 0; i < m_items.size(); ++i)
        if (mouse(point, frameForItemAtIndex(i)))
            return i;
    return NSNotFound;
}

void NSCollectionView::reloadData()
{
    for (const auto& item : m_items) {
        item->m_collectionView = nullptr;
        if (item->isViewLoaded()) item->view()->removeFromSuperview();
    }
    m_items.clear();
    if (m_prototype) {
        for (const auto& object : m_content) {
            auto item = m_prototype->copyItem();
            if (!item) continue;
            item->m_collectionView = this;
            item->setRepresentedObject(object);
            m_items.push_back(item);
        }
    }
    showItems();
}

void NSCollectionView::showItems(bool redraw)
{
    std::set<NSUInteger> selection;
    for (NSUInteger i : m_selection)
        if (i < m_items.size()) selection.insert(i);
    m_selection = selection;
    tile();
    // Views that are not items stay beneath them.
    std::unordered_set<const NSView*> itemViews;
    for (const auto& item : m_items)
        if (item->isViewLoaded()) itemViews.insert(item->view().get());
    std::vector<Ref<NSView>> views;
    for (const auto& view : subviews())
        if (!itemViews.count(view.get())) views.push_back(view);
    for (const auto& item : m_items)
        if (item->isViewLoaded()) views.push_back(item->view());
    setSubviews(views);
    // Items that stay as they were are not told their selection again: an
    // item draws its selection anew whenever it hears of it.
    for (NSUInteger i = 0; i < m_items.size(); ++i) {
        bool selected = m_selection.count(i) > 0;
        if (redraw || selected != m_items[i]->isSelected())
            m_items[i]->setSelected(selected);
    }
    if (redraw)
        setNeedsDisplay(true);
}

CGRect NSCollectionView::shownRect() const
{
    if (auto* clip = dynamic_cast<NSClipView*>(superview()))
        return clip->documentVisibleRect();
    return bounds();
}

void NSCollectionView::prepareContentInRect(CGRect rect) { loadItemViewsInRect(rect); }

void NSCollectionView::loadItemViewsInRect(CGRect rect)
{
    CGSize item = itemSize();
    if (m_items.empty() || item.height <= 0 || CGRectIsEmpty(rect))
        return;
    NSUInteger columns = numberOfColumns();
    auto rows = static_cast<CGFloat>((m_items.size() + columns - 1) / columns);
    auto first = static_cast<NSUInteger>(std::clamp(std::floor(CGRectGetMinY(rect) / item.height), 0.0, rows));
    auto end = static_cast<NSUInteger>(std::clamp(std::ceil(CGRectGetMaxY(rect) / item.height), 0.0, rows));
    for (NSUInteger i = first * columns; i < std::min<NSUInteger>(end * columns, m_items.size()); ++i) {
        const auto& entry = m_items[i];
        if (entry->isViewLoaded() || !CGRectIntersectsRect(frameForItemAtIndex(i), rect))
            continue;
        auto view = entry->view();
        view->setFrame(frameForItemAtIndex(i));
        addSubview(view);
        // The look of a selected item needs its view.
        entry->setSelected(m_selection.count(i) > 0);
    }
}

void NSCollectionView::tile()
{
    if (m_tiling)
        return;
    m_tiling = true;
    for (NSUInteger i = 0; i < m_items.size(); ++i)
        if (m_items[i]->isViewLoaded()) m_items[i]->view()->setFrame(frameForItemAtIndex(i));
    // In a scroll view the grid is as tall as its rows.
    if (dynamic_cast<NSClipView*>(superview())) {
        NSUInteger columns = numberOfColumns();
        NSUInteger rows = (m_items.size() + columns - 1) / columns;
        setFrameSize({ frame().size.width, static_cast<CGFloat>(rows) * itemSize().height });
    }
    m_tiling = false;
    loadItemViewsInRect(shownRect());
}

void NSCollectionView::setFrame(CGRect frame)
{
    NSView::setFrame(frame);
    tile();
}

void NSCollectionView::setSelectionIndexes(const Ref<NSIndexSet>& indexes)
{
    std::set<NSUInteger> selection;
    if (indexes)
        for (NSUInteger i : indexes->indexes())
            if (i < m_items.size())
                selection.insert(i);
    applySelection(selection, false);
}

void NSCollectionView::applySelection(const std::set<NSUInteger>& selection, bool fromUser)
{
    if (selection == m_selection)
        return;
    std::set<NSIndexPath> deselected, selected;
    for (NSUInteger i : m_selection)
        if (!selection.count(i))
            deselected.insert({ 0, i });
    for (NSUInteger i : selection)
        if (!m_selection.count(i))
            selected.insert({ 0, i });
    willChangeValueForKey("selectionIndexes");
    m_selection = selection;
    didChangeValueForKey("selectionIndexes");
    for (const auto& path : deselected)
        if (auto item = itemAtIndex(path.item))
            item->setSelected(false);
    for (const auto& path : selected)
        if (auto item = itemAtIndex(path.item))
            item->setSelected(true);
    if (fromUser)
        propagateValue(Value(selectionIndexes()), NSSelectionIndexesBinding);
    auto keep = delegate();
    if (auto d = dynamic_cast<NSCollectionViewDelegate*>(keep.get())) {
        if (!deselected.empty())
            d->collectionViewDidDeselectItemsAtIndexPaths(*this, deselected);
        if (!selected.empty())
            d->collectionViewDidSelectItemsAtIndexPaths(*this, selected);
    }
}

void NSCollectionView::drawRect(CGRect dirtyRect)
{
    if (m_backgroundColors.empty() || !m_backgroundColors.front())
        return;
    auto context = NSGraphicsContext::currentContext();
    CGContextSetFillColorWithColor(context->CGContext(), m_backgroundColors.front()->CGColor());
    CGContextFillRect(context->CGContext(), dirtyRect);
}

void NSCollectionView::mouseDown(const Ref<NSEvent>& event)
{
    if (!m_selectable)
        return;
    NSUInteger index = indexOfItemAtPoint(convertPointFromView(event->locationInWindow(), nullptr));
    applySelection(index == NSNotFound ? std::set<NSUInteger> {} : std::set<NSUInteger> { index }, true);
}

Value NSCollectionView::valueForKey(const std::string& key) const
{
    if (key == "content")
        return Value(m_content);
    if (key == "selectionIndexes")
        return Value(selectionIndexes());
    return NSView::valueForKey(key);
}

void NSCollectionView::setValueForKey(const Value& value, const std::string& key)
{
    if (key == "content")
        setContent(value);
    else if (key == "selectionIndexes")
        setSelectionIndexes(value.objectAs<NSIndexSet>());
    else
        NSView::setValueForKey(value, key);
}

void NSCollectionView::setValueForBinding(const Value& value, const std::string& binding)
{
    if (binding == NSContentBinding)
        setContent(value);
    else if (binding == NSSelectionIndexesBinding)
        setSelectionIndexes(value.objectAs<NSIndexSet>());
    else
        NSView::setValueForBinding(value, binding);
}
