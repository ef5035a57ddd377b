// The status item on a real X11 session, used as a person would with the
// pointer and keyboard of XTest: it waits for a system tray (one line says
// there is none), docks into the tray that starts, and opens its menu on a
// click; the menu's "Preferences..." item opens the preferences window,
// which takes clicks (where the server shows it, also after the window
// manager moved it) and keys, and closes on the window manager's close
// request without costing the connection.
#include "X11ApplicationTest.h"

#include <app/AppDelegate.h>
#include <app/KSPreferencesWindowController.h>
#include <appkit/NSApplication.h>
#include <appkit/NSButton.h>
#include <appkit/NSMenuWindow.h>
#include <appkit/NSPopUpButton.h>
#include <appkit/NSScreen.h>
#include <appkit/NSStatusBar.h>
#include <appkit/NSWindow.h>
#include <desktop/InputCodes.h>
#include <desktop/x11/X11Connection.h>
#include <foundation/Log.h>
#include <foundation/NSUserDefaults.h>
#include <model/DefaultsKeys.h>

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace {

// A connection of the test's own, as another program on the session.
class Observer {
public:
    explicit Observer(const std::string& display)
        : m_c(xcb_connect(display.c_str(), nullptr))
    {
    }
    ~Observer() { xcb_disconnect(m_c); }

    bool isViewable(xcb_window_t window)
    {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> reply(
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr), &free);
        return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    }
    // Where the server shows the window, in root coordinates.
    CGRect rootFrame(xcb_window_t window)
    {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(
            xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr), &free);
        std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&free)> origin(
            xcb_translate_coordinates_reply(m_c, xcb_translate_coordinates(m_c, window, root, 0, 0), nullptr), &free);
        if (!geometry || !origin)
            return CGRectNull;
        return CGRectMake(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    }
    // Asks for a new position as another program may; the window manager
    // carries it out.
    void move(xcb_window_t window, int x, int y)
    {
        uint32_t values[] = { uint32_t(x), uint32_t(y) };
        xcb_configure_window(m_c, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
        xcb_flush(m_c);
    }
    // What the window manager sends when its close button is pressed.
    void requestClose(xcb_window_t window)
    {
        xcb_client_message_event_t message {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atom("WM_PROTOCOLS");
        message.data.data32[0] = atom("WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
        xcb_flush(m_c);
    }

    // A tray for a moment, as a panel that starts and ends at once: a
    // window of this connection takes the tray's selection, is announced
    // on the root, and is destroyed.
    void flashTray()
    {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        xcb_window_t tray = xcb_generate_id(m_c);
        xcb_create_window(m_c, 0, tray, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
        xcb_set_selection_owner(m_c, tray, selection, XCB_CURRENT_TIME);
        xcb_client_message_event_t manager {};
        manager.response_type = XCB_CLIENT_MESSAGE;
        manager.format = 32;
        manager.window = root;
        manager.type = atom("MANAGER");
        manager.data.data32[1] = selection;
        manager.data.data32[2] = tray;
        xcb_send_event(m_c, 0, root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&manager));
        xcb_destroy_window(m_c, tray);
        xcb_flush(m_c);
    }
    // Waits until the server has carried out this connection's requests.
    void sync() { free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

private:
    xcb_atom_t atom(const char* name)
    {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, strlen(name), name), nullptr), &free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    xcb_connection_t* m_c;
};

Ref<NSButton> buttonTitled(const Ref<NSView>& view, const std::string& title)
{
    if (auto button = std::dynamic_pointer_cast<NSButton>(view); button && button->title() == title)
        return button;
    for (const auto& subview : view->subviews())
        if (auto found = buttonTitled(subview, title))
            return found;
    return nullptr;
}

CGPoint centre(CGRect rect) { return { CGRectGetMidX(rect), CGRectGetMidY(rect) }; }

}

class X11StatusItem : public X11ApplicationTest { };

TEST_F(X11StatusItem, DocksInTheTrayAndItsMenuOpensAPreferencesWindowThatTakesClicksAndKeys)
{
    Observer observer(session->display());
    {
        LogCapture log;
        auto delegate = makeRef<AppDelegate>();
        NSApp().setDelegate(delegate);
        NSUserDefaults::standardUserDefaults()->setBool(false, DefaultsKey::HideMenuBarIcon);
        delegate->setupStatusMenu();
        auto item = delegate->statusItem();
        ASSERT_TRUE(item && item->window());
        auto itemWindow = static_cast<xcb_window_t>(item->window()->windowNumber());
        const std::string missing = "no system tray runs on the X display \"" + session->display() + "\"";
        EXPECT_EQ(log.count(missing), 1u) << (log.lines().empty() ? "" : log.lines().back());
        EXPECT_EQ(log.count("quorvex: "), 0u) << "the log puts the program's name before every line itself";
        EXPECT_FALSE(desktop->isStatusItemDocked(itemWindow));
        EXPECT_FALSE(observer.isViewable(itemWindow)) << "without a tray the item waits out of sight";

        // A tray starts: the item docks at the size it asks for (trays go by
        // its size hints), and its window knows where the tray put it.
        const CGSize size = item->window()->frame().size;
        ASSERT_GT(size.width, 1);
        ASSERT_GT(size.height, 1);
        ASSERT_TRUE(client->startTray(1000, 0, 200, 30));
        EXPECT_EQ(client->readLine(5), "docked " + std::to_string(itemWindow));
        const CGRect docked = CGRectMake(1000, std::floor((30 - size.height) / 2), size.width, size.height);
        ASSERT_TRUE(runMainUntil([&] {
            return desktop->isStatusItemDocked(itemWindow) && observer.isViewable(itemWindow)
                && item->window()->frame() == NSScreenFlipRect(docked);
        })) << "item at " << NSStringFromRect(NSScreenFlipRect(item->window()->frame()));
        EXPECT_EQ(log.count(missing), 1u) << "the missing tray is told once";
        // The application keeps the item from here on.
        item.reset();

        // A click on the item opens its menu below it, on the server.
        ASSERT_TRUE(session->fakeClick(int(CGRectGetMidX(docked)), int(CGRectGetMidY(docked))));
        ASSERT_TRUE(runMainUntil([&] { return NSMenuWindow::current() != nullptr; }));
        auto menu = NSMenuWindow::current();
        EXPECT_EQ(menu->menu(), delegate->statusMenu());
        auto menuWindow = static_cast<xcb_window_t>(menu->window()->windowNumber());
        ASSERT_TRUE(runMainUntil([&] { return observer.isViewable(menuWindow); }));
        CGRect shownMenu = observer.rootFrame(menuWindow);
        EXPECT_GE(shownMenu.origin.y, CGRectGetMaxY(docked));
        EXPECT_LE(CGRectGetMaxX(shownMenu), 1280) << "kept on the screen";

        // Its "Preferences..." item, clicked where the server shows it, opens
        // the preferences window and closes the menu.
        long index = menu->menu()->indexOfItem(menu->menu()->itemWithTitle("Preferences..."));
        ASSERT_GE(index, 0);
        CGPoint preferences = centre(NSScreenFlipRect(menu->screenRectOfItemAtIndex(index)));
        ASSERT_TRUE(CGRectContainsPoint(shownMenu, preferences));
        ASSERT_TRUE(session->fakeClick(int(preferences.x), int(preferences.y)));
        Ref<NSWindow> prefs;
        ASSERT_TRUE(runMainUntil([&] {
            if (!prefs && delegate->prefsController()->isWindowLoaded())
                prefs = delegate->prefsController()->window();
            return prefs && prefs->isVisible() && !NSMenuWindow::current()
                && observer.isViewable(static_cast<xcb_window_t>(prefs->windowNumber()));
        }));
        EXPECT_FALSE(observer.isViewable(menuWindow));
        auto prefsWindow = static_cast<xcb_window_t>(prefs->windowNumber());
        // The window has the focus: this process is in front.
        ASSERT_TRUE(runMainUntil([&] { return NSApp().isActive() && prefs->isKeyWindow(); }));

        // The window manager moves it; its frame follows, and a click on a
        // check box where the server shows it changes the setting: "Hide
        // menu bar icon" takes the item out of the tray.
        observer.move(prefsWindow, 300, 150);
        ASSERT_TRUE(runMainUntil([&] {
            CGRect shown = observer.rootFrame(prefsWindow);
            return shown.origin == CGPointMake(300, 150) && prefs->frame() == NSScreenFlipRect(shown);
        })) << "window at " << NSStringFromRect(NSScreenFlipRect(prefs->frame()));
        auto checkbox = buttonTitled(prefs->contentView(), "Hide menu bar icon");
        ASSERT_TRUE(checkbox);
        CGPoint inWindow = centre(checkbox->convertRectToView(checkbox->bounds(), nullptr));
        CGRect shown = observer.rootFrame(prefsWindow);
        ASSERT_FALSE(NSUserDefaults::standardUserDefaults()->boolForKey(DefaultsKey::HideMenuBarIcon));
        ASSERT_TRUE(session->fakeClick(int(shown.origin.x + inWindow.x), int(CGRectGetMaxY(shown) - inWindow.y)));
        EXPECT_TRUE(runMainUntil([&] {
            return NSUserDefaults::standardUserDefaults()->boolForKey(DefaultsKey::HideMenuBarIcon) && !delegate->statusItem()
                && !observer.isViewable(itemWindow);
        }));

        // Keys typed while it has the focus reach it.
        std::vector<std::pair<NSWindow*, uint16_t>> keys;
        Token monitor = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskKeyDown, [&](const Ref<NSEvent>& event) {
            keys.emplace_back(event->window().get(), event->keyCode());
            return event;
        });
        ASSERT_TRUE(session->fakeKey(XK_x, true));
        ASSERT_TRUE(session->fakeKey(XK_x, false));
        EXPECT_TRUE(runMainUntil([&] { return !keys.empty(); }));
        ASSERT_FALSE(keys.empty());
        EXPECT_EQ(keys.front().first, prefs.get());
        EXPECT_EQ(keys.front().second, kVK_ANSI_X);

        // The window manager's close button closes the window; the process
        // keeps its connection.
        observer.requestClose(prefsWindow);
        EXPECT_TRUE(runMainUntil([&] { return !prefs->isVisible(); }));
        EXPECT_TRUE(desktop->isConnected());
        NSApp().setDelegate(nullptr);
    }
}

// The tray that ends hands the item back to the root: it goes out of sight
// and waits; the next tray docks it again.
TEST_F(X11StatusItem, GoesWithTheTrayThatEndsAndDocksInTheNext)
{
    Observer observer(session->display());
    auto delegate = makeRef<AppDelegate>();
    NSApp().setDelegate(delegate);
    NSUserDefaults::standardUserDefaults()->setBool(false, DefaultsKey::HideMenuBarIcon);
    delegate->setupStatusMenu();
    ASSERT_TRUE(delegate->statusItem() && delegate->statusItem()->window());
    auto itemWindow = static_cast<xcb_window_t>(delegate->statusItem()->window()->windowNumber());
    for (int tray = 0; tray < 2; ++tray) {
        SCOPED_TRACE(tray == 0 ? "first tray" : "second tray");
        auto trayClient = session->launchClient();
        ASSERT_TRUE(trayClient && trayClient->startTray(1000, 0, 200, 30));
        EXPECT_EQ(trayClient->readLine(5), "docked " + std::to_string(itemWindow));
        ASSERT_TRUE(runMainUntil([&] { return desktop->isStatusItemDocked(itemWindow) && observer.isViewable(itemWindow); }));
        trayClient.reset();
        EXPECT_TRUE(runMainUntil([&] { return !desktop->isStatusItemDocked(itemWindow) && !observer.isViewable(itemWindow); }));
    }
    NSApp().setDelegate(nullptr);
}

// A pop-up button of the preferences opens its list as a menu window on
// the server, below the button; an item clicked where the server shows it
// is chosen, and so is one picked with the arrows and Return. Escape closes
// the list without a choice.
TEST_F(X11StatusItem, APopUpOfThePreferencesOpensItsListOnTheServerChosenFromByClickAndByKeys)
{
    Observer observer(session->display());
    NSUserDefaults::standardUserDefaults()->setInteger(0, DefaultsKey::LayoutType);
    auto delegate = makeRef<AppDelegate>();
    NSApp().setDelegate(delegate);
    delegate->showPrefsPanel();
    Ref<NSWindow> prefs;
    ASSERT_TRUE(runMainUntil([&] {
        if (!prefs && delegate->prefsController()->isWindowLoaded())
            prefs = delegate->prefsController()->window();
        return prefs && prefs->isVisible() && observer.isViewable(static_cast<xcb_window_t>(prefs->windowNumber()))
            && prefs->isKeyWindow();
    }));
    delegate->prefsController()->selectControllerWithIdentifier("StylesPreferences");
    auto popUp = std::dynamic_pointer_cast<NSPopUpButton>(
        buttonTitled(delegate->prefsController()->selectedViewController()->view(), "Grid"));
    ASSERT_TRUE(popUp);
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto prefsWindow = static_cast<xcb_window_t>(prefs->windowNumber());
    auto openList = [&]() -> Ref<NSMenuWindow> {
        // The button where the server shows it, once the window stands
        // where its frame says.
        EXPECT_TRUE(runMainUntil([&] { return prefs->frame() == NSScreenFlipRect(observer.rootFrame(prefsWindow)); }));
        CGRect shown = observer.rootFrame(prefsWindow);
        CGPoint inWindow = centre(popUp->convertRectToView(popUp->bounds(), nullptr));
        if (!session->fakeClick(int(shown.origin.x + inWindow.x), int(CGRectGetMaxY(shown) - inWindow.y)))
            return nullptr;
        if (!runMainUntil([&] {
                auto menu = popUp->menuWindow();
                return menu && observer.isViewable(static_cast<xcb_window_t>(menu->window()->windowNumber()));
            }))
            return nullptr;
        return popUp->menuWindow();
    };
    auto tap = [&](uint32_t symbol) { return session->fakeKey(symbol, true) && session->fakeKey(symbol, false); };

    auto menu = openList();
    ASSERT_TRUE(menu);
    auto menuWindow = static_cast<xcb_window_t>(menu->window()->windowNumber());
    CGRect shownMenu = observer.rootFrame(menuWindow);
    CGRect button = NSScreenFlipRect(prefs->convertRectToScreen(popUp->convertRectToView(popUp->bounds(), nullptr)));
    EXPECT_GE(shownMenu.origin.y, CGRectGetMaxY(button) - 1) << "below the button";
    CGPoint carousel = centre(NSScreenFlipRect(menu->screenRectOfItemAtIndex(3)));
    ASSERT_TRUE(CGRectContainsPoint(shownMenu, carousel));
    ASSERT_TRUE(session->fakeClick(int(carousel.x), int(carousel.y)));
    EXPECT_TRUE(runMainUntil([&] { return defaults->integerForKey(DefaultsKey::LayoutType) == 3 && !observer.isViewable(menuWindow); }));
    EXPECT_EQ(popUp->titleOfSelectedItem(), "3D Carousel");

    menu = openList();
    ASSERT_TRUE(menu);
    menuWindow = static_cast<xcb_window_t>(menu->window()->windowNumber());
    ASSERT_TRUE(tap(XK_Up));
    ASSERT_TRUE(tap(XK_Up));
    ASSERT_TRUE(tap(XK_Return));
    EXPECT_TRUE(runMainUntil([&] { return defaults->integerForKey(DefaultsKey::LayoutType) == 1 && !observer.isViewable(menuWindow); }));

    menu = openList();
    ASSERT_TRUE(menu);
    menuWindow = static_cast<xcb_window_t>(menu->window()->windowNumber());
    ASSERT_TRUE(tap(XK_Down));
    ASSERT_TRUE(tap(XK_Escape));
    EXPECT_TRUE(runMainUntil([&] { return !popUp->isOpen() && !observer.isViewable(menuWindow); }));
    EXPECT_EQ(defaults->integerForKey(DefaultsKey::LayoutType), 1);
    prefs->orderOut(nullptr);
    NSApp().setDelegate(nullptr);
}

// Requests to the window manager go out from another thread while trays
// come and go at once (the event thread learns each tray's owner and
// forgets it): the requests reach the window manager, and, in the
// thread-sanitizer build, neither thread touches the tray's state unguarded.
TEST_F(X11StatusItem, RequestsSentWhileTraysComeAndGoTouchNoTrayStateUnguarded)
{
    Observer observer(session->display());
    auto window = client->open("Raised", 0xff0000, 40, 60, 300, 200);
    ASSERT_TRUE(window);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(window).has_value(); }));
    std::atomic<bool> done { false };
    std::atomic<int> raised { 0 };
    std::thread requests([&] {
        DesktopElement element { DesktopElement::Kind::Window, client->pid(), window };
        while (!done)
            raised += desktop->axPerformAction(element, "AXRaise") == kAXErrorSuccess;
    });
    for (int tray = 0; tray < 4000; ++tray)
        observer.flashTray();
    observer.sync();
    done = true;
    requests.join();
    EXPECT_GT(raised, 0);
}
