// What the panel tests share: a layout controller of their own that
// follows the layout protocol, and a fixture with the demo desktop, the
// window model, a user-defaults store in a temporary directory, a clean bus,
// and the test layout registered for the grid and list codes.
#pragma once

#include <support/SimWorld.h>
#include <support/DefaultsSandbox.h>

#include <appkit/NSApplication.h>
#include <appkit/NSArrayController.h>
#include <foundation/NSUserDefaults.h>
#include <model/EBEventful.h>
#include <model/SWWindow.h>
#include <model/WindowManager.h>
#include <switcher/SwitchWindowController.h>
#include <switcher/SwitcherLayoutRegistry.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A layout that asks for a fixed size (or, in full-screen mode, the size of
// the screen holding its window, as the real layouts do), moves the
// selection the way the grid does, and records what the panel asks of it.
class PanelTestLayout : public NSViewController, public SwitchViewControllerProtocol {
public:
    explicit PanelTestLayout(SwitcherLayout code)
        : code(code)
    {
    }
    void loadView() override { setView(makeRef<NSView>(CGRectMake(0, 0, 400, 200))); }

    CGSize getContentSize() override
    {
        ++contentSizeRequests;
        if (NSUserDefaults::standardUserDefaults()->boolForKey("FullScreenMode")) {
            auto window = isViewLoaded() ? view()->window() : nullptr;
            auto screen = window ? window->screen() : nullptr;
            return screen ? screen->frame().size : CGSizeZero;
        }
        return contentSize;
    }
    void selectSecond() override
    {
        calls.push_back("selectSecond");
        size_t count = arrayController ? arrayController->arrangedObjects().size() : 0;
        if (arrayController) arrayController->setSelectionIndex(count == 0 ? NSNotFound : count == 1 ? 0 : 1);
    }
    void selectNext() override
    {
        calls.push_back("selectNext");
        size_t count = arrayController ? arrayController->arrangedObjects().size() : 0;
        if (count == 0) return;
        NSUInteger index = arrayController->selectionIndex();
        arrayController->setSelectionIndex(index == NSNotFound || index + 1 >= count ? 0 : index + 1);
    }
    void selectPrev() override { calls.push_back("selectPrev"); }
    void setArrayController(const Ref<NSArrayController>& controller) override
    {
        calls.push_back("setArrayController");
        arrayController = controller;
    }
    void startMonitoringControlKeysEvent() override { calls.push_back("startMonitoringControlKeysEvent"); }
    void processControlKeys(uint16_t) override { calls.push_back("processControlKeys"); }

    SwitcherLayout code;
    CGSize contentSize { 600, 200 };
    int contentSizeRequests { 0 };
    std::vector<std::string> calls;
    Ref<NSArrayController> arrayController;
};

class PanelTest : public ::testing::Test {
protected:
    PanelTest()
    {
        EBEventful::resetForTesting();
        for (SwitcherLayout code : { SwitcherLayoutGrid, SwitcherLayoutList }) {
            registrations.push_back(SwitcherLayoutRegistry::registerLayout(code, [this, code] {
                auto layout = makeRef<PanelTestLayout>(code);
                layouts.push_back(layout);
                return layout;
            }));
        }
    }
    ~PanelTest() override
    {
        controller.reset();
        registrations.clear();
        model.reset();
        world.settle();
        EBEventful::resetForTesting();
    }

    Ref<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }

    // The window model after its start-up, and an array controller on its list.
    void startModel()
    {
        model = WindowManager::create();
        world.settle();
        world.advance(std::max(WindowManager::kFirstSortOrderDelay, WindowManager::kBadgesDelay));
        arrayController = makeRef<NSArrayController>();
        arrayController->bind("contentArray", model, "windows");
    }
    Ref<SwitchWindowController> makeController()
    {
        controller = SwitchWindowController::create();
        return controller;
    }
    // The layout the panel shows, as the test layout.
    PanelTestLayout* layout() const
    {
        return controller ? dynamic_cast<PanelTestLayout*>(controller->currentViewController().get())
                          : nullptr;
    }

    // The keyboard holds exactly these modifiers, and the application hears
    // of the change as its key window would.
    void holdModifiers(NSEventModifierFlags flags = NSEventModifierFlagCommand)
    {
        world.desktop().setModifierFlags(flags);
        world.settle();
        NSApp().deliverInputEvent(NSEvent::flagsChangedEventWithModifierFlags(flags, kVK_Command));
    }
    void releaseModifiers() { holdModifiers(0); }
    // A hotkey press with its modifier held: the model's list, a controller
    // made on first use.
    void pressHotkey(const Ref<NSArrayController>& list = nullptr)
    {
        if (!controller) makeController();
        // The modifier goes down once; a further press keeps it held.
        if (!(world.desktop().keyboardModifierFlags() & NSEventModifierFlagCommand)) holdModifiers();
        controller->handleHotkeyWithWindowListWithArrayController(list ? list : arrayController);
    }
    bool pressKey(uint16_t keyCode, NSEventModifierFlags flags = NSEventModifierFlagCommand)
    {
        return NSApp().deliverInputEvent(NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, keyCode, flags));
    }
    bool panelVisible() { return controller && controller->window() && controller->window()->isVisible(); }
    CGRect panelFrame() { return controller->window()->frame(); }

    // The window records in the list's arranged order.
    std::vector<Ref<SWWindow>> arrangedWindows() const
    {
        std::vector<Ref<SWWindow>> list;
        for (const auto& value : arrayController->arrangedObjects())
            list.push_back(value.objectAs<SWWindow>());
        return list;
    }
    CGWindowID selectedWindowID() const
    {
        auto window = controller ? controller->selectedWindow() : nullptr;
        return window ? window->windowID() : 0;
    }

    SimWorld world;
    DefaultsSandbox defaultsSandbox;
    std::vector<Token> registrations;
    std::vector<Ref<PanelTestLayout>> layouts;
    Ref<WindowManager> model;
    Ref<NSArrayController> arrayController;
    Ref<SwitchWindowController> controller;
};
