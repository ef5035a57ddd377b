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
        std::string error;
        session = X11Session::start(&error);
        ASSERT_TRUE(session) << error;
        desktop = X11Desktop::connect(session->display(), &error);
        ASSERT_TRUE(desktop) << error;
        Desktop::setCurrent(desktop);
        client = session->launchClient();
        ASSERT_TRUE(client);
    }
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
