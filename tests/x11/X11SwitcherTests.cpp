// The switcher on a real X11 session, typed through XTest as a person
// would: Super (Command) held, Tab opens the panel on the X server, a digit
// picks a window and releasing Super focuses it.
#include <support/SimWorld.h>
#include <support/X11Session.h>

#include <app/AppController.h>
#include <command/QuorvexSession.h>
#include <desktop/x11/X11Desktop.h>
#include <foundation/Clock.h>
#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>
#include <model/EBEventful.h>
#include <model/WindowManager.h>

#include <X11/keysym.h>
#include <gtest/gtest.h>

TEST(X11Switcher, SuperTabOpensThePanelAndADigitWithTheReleaseFocusesTheWindow)
{
    Clock::setCurrent(std::make_shared<SystemClock>());
    RunLoop::main().reset();
    EBEventful::resetForTesting();
    std::string error;
    auto session = X11Session::start(&error);
    ASSERT_TRUE(session) << error;
    auto desktop = X11Desktop::connect(session->display(), &error);
    ASSERT_TRUE(desktop) << error;
    Desktop::setCurrent(desktop);
    auto client = session->launchClient();
    ASSERT_TRUE(client);
    auto one = client->open("One", 0xff0000, 40, 60, 300, 200);
    client->open("Two", 0x00ff00, 400, 60, 300, 200);
    auto three = client->open("Three", 0x0000ff, 200, 300, 300, 200);
    ASSERT_TRUE(runMainUntil([&] {
        auto front = desktop->window(three);
        return front && front->isMain && desktop->frontmostApplication() == client->pid();
    }));
    {
        auto model = WindowManager::create();
        ASSERT_TRUE(runMainUntil([&] { return model->windows().size() == 3; }));
        auto controller = AppController::create(model);
        ASSERT_TRUE(controller);
        AppControllerSessionHost host(*controller);

        ASSERT_TRUE(session->fakeKey(XK_Super_L, true));
        ASSERT_TRUE(session->fakeKey(XK_Tab, true));
        ASSERT_TRUE(session->fakeKey(XK_Tab, false));
        ASSERT_TRUE(runMainUntil([&] { return host.isPanelVisible() && host.shownCount() == 3; }));
        // The panel is a window of this process on the server, in front,
        // and the keyboard is grabbed while it is up; the user's window
        // keeps the focus.
        ASSERT_TRUE(runMainUntil([&] { return desktop->isKeyboardGrabbed(); }));
        EXPECT_EQ(desktop->windows().front().pid, desktop->ownProcessIdentifier());
        DesktopAXValue focused;
        ASSERT_EQ(desktop->axCopyAttribute({ DesktopElement::Kind::Window, client->pid(), three }, "AXFocused", focused), kAXErrorSuccess);
        EXPECT_TRUE(std::get<bool>(focused));

        // Badge 3 is the third window front to back.
        ASSERT_TRUE(session->fakeKey(XK_3, true));
        ASSERT_TRUE(session->fakeKey(XK_3, false));
        ASSERT_TRUE(runMainUntil([&] { return host.selectedTitle() == "One"; })) << host.selectedTitle().value_or("(none)");
        ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
        ASSERT_TRUE(runMainUntil([&] { return !host.isPanelVisible(); }));
        ASSERT_TRUE(runMainUntil([&] {
            DesktopAXValue value;
            return desktop->axCopyAttribute({ DesktopElement::Kind::Window, client->pid(), one }, "AXFocused", value) == kAXErrorSuccess
                && std::get<bool>(value);
        }));
        EXPECT_FALSE(desktop->isKeyboardGrabbed());
        EXPECT_EQ(desktop->frontmostApplication(), client->pid());
    }
    dispatchWaitForBackgroundWork();
    RunLoop::main().reset();
    SimWorld::installEmptyDesktop();
    Clock::setCurrent(nullptr);
}
