// The grid layout in a stand-in for the switcher panel: a key window with
// the panel's identifier whose content view holds the grid's view, placed
// as the panel places its layouts, over window records of the simulated
// desktop.
#pragma once

#include "SwitcherTestSupport.h"

#include <appkit/NSApplication.h>
#include <appkit/NSArrayController.h>
#include <appkit/NSEvent.h>
#include <appkit/NSLayoutConstraint.h>
#include <model/EBEventful.h>
#include <switcher/GridCollectionViewItem.h>
#include <switcher/GridViewController.h>

class GridHarness {
public:
    GridHarness(SimWorld& world, int windowCount)
        : m_world(world)
    {
        EBEventful::resetForTesting();
        Value::Array content;
        for (int i = 0; i < windowCount; ++i) {
            auto record = windowRecord(static_cast<CGWindowID>(100 + i));
            if (i < 9) record->setHotkeyIndexText(std::to_string(i + 1));
            windows.push_back(record);
            content.push_back(Value(record));
        }
        list = makeRef<NSArrayController>(content);
        panel->setIdentifier(GridViewController::kSwitcherWindowIdentifier);
        panel->setBackgroundColor(NSColor::whiteColor());
        world.settle();
    }
    ~GridHarness()
    {
        panel->orderOut(nullptr);
        m_world.settle();
    }

    // Places the grid's view in the panel as the panel does: as wide as the
    // content view, hanging 20 points lower at the top and the bottom.
    void attach()
    {
        auto view = grid->view();
        grid->setArrayController(list);
        view->setTranslatesAutoresizingMaskIntoConstraints(false);
        auto content = panel->contentView();
        content->addSubview(view);
        NSLayoutConstraint::activateConstraints({
            view->leadingAnchor().constraintEqualToAnchor(content->leadingAnchor()),
            view->trailingAnchor().constraintEqualToAnchor(content->trailingAnchor()),
            view->topAnchor().constraintEqualToAnchor(content->topAnchor(), 20),
            view->bottomAnchor().constraintEqualToAnchor(content->bottomAnchor(), 20),
        });
    }

    // Sizes the panel from the grid, shows it key, and makes the first
    // selection.
    void show(CGFloat extraHeight = 40)
    {
        if (!grid->view()->superview()) attach();
        CGSize size = grid->getContentSize();
        panel->setFrame(CGRectMake(0, 0, size.width, size.height + extraHeight), true);
        panel->center();
        NSApp().activateIgnoringOtherApps(true);
        panel->makeKeyAndOrderFront(nullptr);
        panel->layoutIfNeeded();
        m_world.settle();
        grid->selectSecond();
        m_world.settle();
    }
    // Shows the panel and lets the cells' hover areas come up.
    void showAndTrack()
    {
        show();
        m_world.advance(GridCollectionViewItem::kTrackingDelay + 0.1);
    }
    void hide()
    {
        panel->orderOut(nullptr);
        m_world.settle();
    }

    Ref<GridCollectionViewItem> cell(size_t index) const
    {
        auto view = grid->collectionView();
        return view ? std::dynamic_pointer_cast<GridCollectionViewItem>(view->itemAtIndex(index)) : nullptr;
    }
    // A point of a cell (its own unflipped coordinates) in the panel's base
    // coordinates and on the screen.
    CGPoint basePointInCell(size_t index, CGPoint point) const
    {
        return cell(index)->view()->convertPointToView(point, nullptr);
    }
    CGPoint screenPointInCell(size_t index, CGPoint point) const
    {
        return panel->convertPointToScreen(basePointInCell(index, point));
    }
    NSUInteger selection() const { return list->selectionIndex(); }

    void deliver(const Ref<NSEvent>& event)
    {
        NSApp().deliverInputEvent(event);
        m_world.settle();
    }
    void moveMouse(CGPoint screen) { deliver(NSEvent::mouseEventWithType(NSEventTypeMouseMoved, screen)); }
    // Enters a cell and moves inside it, as a person pointing at it does.
    void hover(size_t index)
    {
        moveMouse(screenPointInCell(index, { 140, 100 }));
        moveMouse(screenPointInCell(index, { 142, 102 }));
    }
    void click(CGPoint screen)
    {
        deliver(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, screen));
        deliver(NSEvent::mouseEventWithType(NSEventTypeLeftMouseUp, screen));
    }
    void scroll(CGPoint screen, CGFloat dx, CGFloat dy, bool inverted = false)
    {
        deliver(NSEvent::scrollWheelEventAt(screen, dx, dy, true, inverted));
    }
    void key(uint16_t keyCode) { deliver(NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, keyCode)); }

    // The desktop's frame of window 100 + index (top-left coordinates).
    CGRect desktopFrame(size_t index) const
    {
        auto window = m_world.desktop().window(static_cast<CGWindowID>(100 + index));
        return window ? window->frame : CGRectNull;
    }

    std::vector<Ref<SWWindow>> windows;
    Ref<NSArrayController> list;
    Ref<NSWindow> panel = makeRef<NSWindow>(CGRectMake(0, 0, 400, 300), NSWindowStyleMaskTitled);
    Ref<GridViewController> grid = makeGridViewController();

private:
    SimWorld& m_world;
};
