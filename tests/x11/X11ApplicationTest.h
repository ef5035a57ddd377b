// A test on a private X11 session: a server with its
// window manager, the X11 desktop installed for this process on the system
// clock, and one test client; all put back when the test ends.
#pragma once

#include <support/SimWorld.h>
#include <support/X11Session.h>

#include <desktop/x11/X11Connection.h>
#include <desktop/x11/X11Desktop.h>
#include <foundation/Clock.h>
#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>
#include <model/EBEventful.h>

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>

class X11ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Clock::setCurrent(std::make_shared<SystemClock>());
        RunLoop::main().reset();
        EBEventful::resetForTesting();
        // Openbox is part of what the tests need (make setup installs it);
        // another window manager runs where it is installed.
        X11Session::Options options = sessionOptions();
        if (auto missing = X11Session::missingProgramsFor(options.manager);
            options.manager != X11Session::WindowManager::Openbox && !missing.empty())
            GTEST_SKIP() << X11Session::nameOf(options.manager) << " cannot run here: " << missing;
        std::string error;
        session = X11Session::start(options, &error);
        ASSERT_TRUE(session) << error;
        desktop = X11Desktop::connect(session->display(), &error);
        ASSERT_TRUE(desktop) << error;
        Desktop::setCurrent(desktop);
        client = session->launchClient();
        ASSERT_TRUE(client);
    }
    // The session a test runs on: openbox at 1280 x 800 unless it says
    // otherwise.
    virtual X11Session::Options sessionOptions() const { return {}; }
    void TearDown() override
    {
        dispatchWaitForBackgroundWork();
        RunLoop::main().reset();
        SimWorld::installEmptyDesktop();
        desktop.reset();
        client.reset();
        session.reset();
        Clock::setCurrent(nullptr);
    }

    // The window the window manager says has the focus, read from the
    // server.
    xcb_window_t activeWindow() const
    {
        auto* c = desktop->connection().connection();
        auto* reply = xcb_get_property_reply(c,
            xcb_get_property(c, 0, rootWindow(), atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1), nullptr);
        xcb_window_t window = reply && xcb_get_property_value_length(reply) == 4
            ? *static_cast<xcb_window_t*>(xcb_get_property_value(reply))
            : XCB_WINDOW_NONE;
        free(reply);
        return window;
    }
    // Super held, Tab typed: the switcher's hotkey (Super stays down).
    bool pressSuperTab()
    {
        return session->fakeKey(XK_Super_L, true) && session->fakeKey(XK_Tab, true) && session->fakeKey(XK_Tab, false);
    }
    // One pixel of a window as the server shows it: red, green, blue.
    std::array<int, 3> serverPixel(xcb_window_t window, int x, int y) const
    {
        auto* c = desktop->connection().connection();
        std::unique_ptr<xcb_get_image_reply_t, decltype(&free)> reply(
            xcb_get_image_reply(c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, int16_t(x), int16_t(y), 1, 1, ~0u), nullptr),
            &free);
        if (!reply || xcb_get_image_data_length(reply.get()) < 4)
            return { -1, -1, -1 };
        const uint8_t* p = xcb_get_image_data(reply.get());
        return { p[2], p[1], p[0] };
    }
    xcb_window_t rootWindow() const { return xcb_setup_roots_iterator(xcb_get_setup(desktop->connection().connection())).data->root; }
    xcb_atom_t atom(const char* name) const
    {
        auto* c = desktop->connection().connection();
        auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), nullptr);
        xcb_atom_t a = reply ? reply->atom : XCB_ATOM_NONE;
        free(reply);
        return a;
    }

    std::unique_ptr<X11Session> session;
    std::shared_ptr<X11Desktop> desktop;
    std::unique_ptr<X11TestClient> client;
};
