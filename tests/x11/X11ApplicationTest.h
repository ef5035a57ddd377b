// A test on a private X11 session: a server with its
// window manager, the X11 desktop installed for this process on the system
// clock, and one test client; all put back when the test ends.
#pragma once

#include <support/SimWorld.h>
#include <support/X11Session.h>

#include <desktop/x11/X11Desktop.h>
#include <foundation/Clock.h>
#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>
#include <model/EBEventful.h>

#include <gtest/gtest.h>

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

    std::unique_ptr<X11Session> session;
    std::shared_ptr<X11Desktop> desktop;
    std::unique_ptr<X11TestClient> client;
};
