// Collection views: a grid of items, one per object of the content, each
// the view of an NSCollectionViewItem made from the item prototype. Items
// flow left to right and top to bottom at the prototype view's size, in as
// many columns as fit (at most maxNumberOfColumns when set). Inside a
// scroll view the collection view grows to the height of its rows, and an
// item's view is loaded once its place comes into sight (a list of hundreds
// of windows shows in the time of the few that show); a view once loaded
// stays in its place.
//
// Bindings: "content" sets the content, "selectionIndexes" the selection;
// a click on an item selects it and writes the selection back. Every change
// of the selection tells the delegate which items were selected and
// deselected, and sets the items' selected flags.
#pragma once

#include "NSIndexSet.h"
#include "NSView.h"
#include "NSViewController.h"

#include <graphics/NSColor.h>

#include <set>

class NSCollectionView;

struct NSIndexPath {
    NSUInteger section { 0 };
    NSUInteger item { 0 };
    auto operator<=>(const NSIndexPath&) const = default;
};

class NSCollectionViewItem : public NSViewController {
public:
    using NSViewController::NSViewController;

    NSCollectionView* collectionView() const { return m_collectionView; }
    bool isSelected() const { return m_selected; }
    virtual void setSelected(bool flag) { m_selected = flag; }
    // A new item like this one, for another object. Subclasses answer an
    // item of their own class; the default loads the same interface file.
    virtual Ref<NSCollectionViewItem> copyItem() const;

private:
    friend class NSCollectionView;
    NSCollectionView* m_collectionView { nullptr };
    bool m_selected { false };
};

// What a collection view's delegate may answer.
class NSCollectionViewDelegate {
public:
    virtual ~NSCollectionViewDelegate() = default;
    virtual void collectionViewDidSelectItemsAtIndexPaths(NSCollectionView&, const std::set<NSIndexPath>&) { }
    virtual void collectionViewDidDeselectItemsAtIndexPaths(NSCollectionView&, const std::set<NSIndexPath>&) { }
};

class NSCollectionView : public NSView {
public:
    explicit NSCollectionView(CGRect frame = CGRectZero);
    ~NSCollectionView() override;

    bool isFlipped() const override { return true; }

    const Ref<NSCollectionViewItem>& itemPrototype() const { return m_prototype; }
    void setItemPrototype(const Ref<NSCollectionViewItem>& prototype);
    const Value::Array& content() const { return m_content; }
    // New content keeps the items of the objects (the same instances) that
    // are still in it, with their views and state, in their new places;
    // only objects new to the content get new items.
    void setContent(const Value& content);
    Ref<NSIndexSet> selectionIndexes() const { return makeRef<NSIndexSet>(m_selection); }
    void setSelectionIndexes(const Ref<NSIndexSet>& indexes);
    bool isSelectable() const { return m_selectable; }
    void setSelectable(bool flag) { m_selectable = flag; }
    Ref<NSObject> delegate() const { return m_delegate.lock(); }
    void setDelegate(const Ref<NSObject>& delegate) { m_delegate = delegate; }
    const std::vector<Ref<NSColor>>& backgroundColors() const { return m_backgroundColors; }
    void setBackgroundColors(const std::vector<Ref<NSColor>>& colors);
    NSUInteger maxNumberOfColumns() const { return m_maxColumns; }
    void setMaxNumberOfColumns(NSUInteger columns);

    NSUInteger numberOfItems() const { return m_items.size(); }
    // Null out of range.
    Ref<NSCollectionViewItem> itemAtIndex(NSUInteger index) const;
    Ref<NSCollectionViewItem> itemAtIndexPath(const NSIndexPath& path) const { return itemAtIndex(path.item); }
    // The item's place, in the collection view's (flipped) coordinates.
    CGRect frameForItemAtIndex(NSUInteger index) const;
    NSUInteger numberOfColumns() const;
    // NSNotFound when no item is there.
    NSUInteger indexOfItemAtPoint(CGPoint point) const;
    // Rebuilds every item from the content.
    void reloadData();

    void setFrame(CGRect frame) override;
    void prepareContentInRect(CGRect rect) override;
    void drawRect(CGRect dirtyRect) override;
    void mouseDown(const Ref<NSEvent>& event) override;

    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

protected:
    void setValueForBinding(const Value& value, const std::string& binding) override;

private:
    CGSize itemSize() const;
    void tile();
    // Lays out the items, puts their views in item order and selects them;
    // redraw: the items are not those shown before.
    void showItems(bool redraw = true);
    // What shows of the grid: what its clip view shows, or all of it.
    CGRect shownRect() const;
    // Loads and places the views of the items whose places meet the rect.
    void loadItemViewsInRect(CGRect rect);
    void applySelection(const std::set<NSUInteger>& selection, bool fromUser);

    Ref<NSCollectionViewItem> m_prototype;
    Value::Array m_content;
    std::vector<Ref<NSCollectionViewItem>> m_items;
    std::set<NSUInteger> m_selection;
    std::vector<Ref<NSColor>> m_backgroundColors;
    Weak<NSObject> m_delegate;
    NSUInteger m_maxColumns { 0 };
    bool m_selectable { true };
    bool m_tiling { false };
};
