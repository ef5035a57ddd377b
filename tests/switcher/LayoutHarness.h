// A layout controller in a stand-in for the switcher panel: a key window
// with the panel's identifier whose content view holds the layout's view,
// placed as the panel places its layouts, over window records of the
// simulated desktop.
#pragma once

#include "SwitcherTestSupport.h"

#include <appkit/NSApplication.h>
#include <appkit/NSArrayController.h>
#include <appkit/NSEvent.h>
#include <appkit/NSLayoutConstraint.h>
#include <appkit/NSView.h>
#include <appkit/NSWindow.h>
#include <graphics/NSColor.h>
#include <model/EBEventful.h>

inline const std::string kPanelStandInIdentifier = "SwitcherWindowIdentifier";

template <class Layout> class LayoutHarness {
public:
    LayoutHarness(SimWorld& world, int windowCount, Ref<Layout> controller)
        : layout(std::move(controller))
        , m_world(world)
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
        panel->setIdentifier(kPanelStandInIdentifier);
        panel->setBackgroundColor(NSColor::whiteColor());
        world.settle();
    }
    ~LayoutHarness()
    {
        panel->orderOut(nullptr);
        m_world.settle();
    }
    LayoutHarness(const LayoutHarness&) = delete;
    LayoutHarness& operator=(const LayoutHarness&) = delete;

    // Places the layout's view in the panel as the panel does: as wide as
    // the content view, hanging 20 points lower at the top and the bottom.
    void attach()
    {
        auto view = layout->view();
        layout->setArrayController(list);
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

    // Sizes the panel from the layout, shows it key, and makes the first
    // selection.
    void show(CGFloat extraHeight = 40)
    {
        if (!layout->view()->superview()) attach();
        CGSize size = layout->getContentSize();
        panel->setFrame(CGRectMake(0, 0, size.width, size.height + extraHeight), true);
        panel->center();
        NSApp().activateIgnoringOtherApps(true);
        panel->makeKeyAndOrderFront(nullptr);
        panel->layoutIfNeeded();
        m_world.settle();
        layout->selectSecond();
        m_world.settle();
    }
    void hide()
    {
        panel->orderOut(nullptr);
        m_world.settle();
    }
    NSUInteger selection() const { return list->selectionIndex(); }

    void deliver(const Ref<NSEvent>& event)
    {
        NSApp().deliverInputEvent(event);
        m_world.settle();
    }
    void moveMouse(CGPoint screen) { deliver(NSEvent::mouseEventWithType(NSEventTypeMouseMoved, screen)); }
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
    Ref<Layout> layout;

protected:
    SimWorld& m_world;
};
