#include "support/SimWorld.h"
#include "support/DefaultsSandbox.h"

#include <app/GrantController.h>
#include <appkit/NSApplication.h>
#include <appkit/NSPasteboard.h>
#include <appkit/NSScreen.h>
#include <appkit/NSWorkspace.h>
#include <foundation/NSUserDefaults.h>
#include <graphics/NSImage.h>

#include <filesystem>

namespace {

// One screen, and another application's window, which is what tells whether
// Screen Recording is granted.
std::string scenario(bool accessibility, bool screenRecording)
{
    return std::string(R"({ "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] },
                                        { "frame": [1440, 0, 1280, 800] } ],
        "apps": [ { "pid": 7, "name": "Editor", "windows": [ { "id": 70, "title": "notes", "frame": [100, 100, 600, 400] } ] } ],
        "permissions": { "accessibility": )")
        + (accessibility ? "true" : "false") + R"(, "screenRecording": )" + (screenRecording ? "true" : "false") + " } }";
}

class GrantControllerTest : public ::testing::Test {
protected:
    explicit GrantControllerTest(bool accessibility = false, bool screenRecording = false)
        : world(scenario(accessibility, screenRecording))
    {
    }
    ~GrantControllerTest() override
    {
        if (controller && controller->isWindowLoaded())
            controller->window()->orderOut(nullptr);
        controller = nullptr;
    }

    // Loads the window, as the start-up does before its modal run.
    Ref<NSWindow> load()
    {
        controller = makeRef<GrantController>();
        return controller->window();
    }

    // Runs the block after the delay, also while a modal run is going on.
    void after(double delay, std::function<void()> block)
    {
        auto timer = NSTimer::timerWithTimeInterval(delay, false, [block](NSTimer&) { block(); });
        timer->scheduleIn(RunLoop::main(), NSModalPanelRunLoopMode);
        timers.push_back(timer);
    }

    // A modal run that the window under test fails to end stops here, as
    // aborted, instead of hanging the test.
    NSModalResponse runModal(const Ref<NSWindow>& window, double limit = 60)
    {
        after(limit, [] { NSApp().abortModal(); });
        return NSApp().runModalForWindow(window);
    }

    bool isCentred(const Ref<NSWindow>& window) const
    {
        CGRect visible = NSScreen::mainScreen()->visibleFrame();
        CGRect frame = window->frame();
        return std::abs(CGRectGetMidX(frame) - CGRectGetMidX(visible)) <= 1
            && std::abs(CGRectGetMidY(frame) - CGRectGetMidY(visible)) <= 1;
    }

    DefaultsSandbox defaultsSandbox;
    SimWorld world;
    Ref<GrantController> controller;
    std::vector<Ref<NSTimer>> timers;
};

class GrantControllerScreenOnlyTest : public GrantControllerTest {
protected:
    GrantControllerScreenOnlyTest()
        : GrantControllerTest(false, true)
    {
    }
};

class GrantControllerAccessibilityOnlyTest : public GrantControllerTest {
protected:
    GrantControllerAccessibilityOnlyTest()
        : GrantControllerTest(true, false)
    {
    }
};

} // namespace

TEST_F(GrantControllerTest, TheInterfaceFileConnectsEveryOutletAndShowsEachPermissionsState)
{
    auto window = load();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->delegate(), controller);
    for (const auto& view : std::vector<Ref<NSView>> { controller->screenBtn(), controller->accesibilityBtn(),
             controller->finderBtn(), controller->screenStatus(), controller->accesibilityStatus(),
             controller->finderStatus(), controller->terminalField() })
        ASSERT_TRUE(view && view->window() == window.get());
    EXPECT_EQ(controller->screenBtn()->title(), "Request Access");
    EXPECT_EQ(controller->accesibilityBtn()->title(), "Request Access");
    EXPECT_EQ(controller->screenStatus()->image()->name(), NSImageNameStatusPartiallyAvailable);
    EXPECT_EQ(controller->accesibilityStatus()->image()->name(), NSImageNameStatusPartiallyAvailable);
    ASSERT_TRUE(controller->timer() && controller->timer()->isValid());
    EXPECT_EQ(controller->timer()->timeInterval(), 3.0);
}

TEST_F(GrantControllerScreenOnlyTest, APermissionGrantedDuringTheModalRunShowsAtTheNextPollAndTheTitleBarCloseEndsTheRun)
{
    auto window = load();
    EXPECT_EQ(controller->screenBtn()->title(), "Access Granted");
    EXPECT_EQ(controller->screenStatus()->image()->name(), NSImageNameStatusAvailable);
    ASSERT_EQ(controller->accesibilityBtn()->title(), "Request Access");

    double start = world.clock().now();
    std::string titleBeforePoll;
    std::string titleAfterPoll;
    Ref<NSImage> lightAfterPoll;
    // Granted in the system settings 1 s into the run: the poll at 3 s shows it.
    after(1.0, [&] { world.desktop().setAccessibilityTrusted(true); });
    after(2.9, [&] { titleBeforePoll = controller->accesibilityBtn()->title(); });
    after(3.1, [&] {
        titleAfterPoll = controller->accesibilityBtn()->title();
        lightAfterPoll = controller->accesibilityStatus()->image();
    });
    after(5.0, [&] { window->standardWindowButton(NSWindowCloseButton)->performClick(nullptr); });

    EXPECT_EQ(runModal(window), NSModalResponseStop);
    EXPECT_NEAR(world.clock().now() - start, 5.0, 1e-6) << "the run ended when the window was closed";
    EXPECT_EQ(titleBeforePoll, "Request Access");
    EXPECT_EQ(titleAfterPoll, "Access Granted");
    ASSERT_TRUE(lightAfterPoll);
    EXPECT_EQ(lightAfterPoll->name(), NSImageNameStatusAvailable);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(controller->timer()->isValid()) << "polling ends with the window";
}

TEST_F(GrantControllerTest, TheContinueButtonEndsTheModalRunAndThePolling)
{
    auto window = load();
    double start = world.clock().now();
    // The button the interface file wires to closeWindow:.
    Ref<NSButton> continueButton;
    for (const auto& view : window->contentView()->subviews())
        if (auto button = std::dynamic_pointer_cast<NSButton>(view); button && button->action() == "closeWindow:")
            continueButton = button;
    ASSERT_TRUE(continueButton);
    after(7.0, [&] { continueButton->performClick(nullptr); });
    EXPECT_EQ(runModal(window), NSModalResponseStop);
    EXPECT_NEAR(world.clock().now() - start, 7.0, 1e-6);
    EXPECT_FALSE(controller->timer()->isValid());
    EXPECT_TRUE(window->isVisible()) << "the caller closes the window after the run";
    // The caller's close neither stops another run nor fails.
    window->close();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(GrantControllerTest, ClosingTheWindowDuringAnotherModalRunLeavesThatRunAlone)
{
    auto window = load();
    auto other = makeRef<NSWindow>(CGRectMake(100, 100, 200, 100), NSWindowStyleMaskTitled);
    after(2.0, [&] { window->performClose(nullptr); });
    EXPECT_EQ(runModal(other, 10), NSModalResponseAbort) << "only the safety stop ended the other window's run";
    EXPECT_FALSE(controller->timer()->isValid());
    other->orderOut(nullptr);
}

TEST_F(GrantControllerTest, TheWindowOpensCentredWithEveryTextInsideItsLabel)
{
    auto window = load();
    EXPECT_TRUE(isCentred(window)) << "not at the screen's corner";
    size_t labels = 0;
    for (const auto& view : window->contentView()->subviews()) {
        auto field = dynamicRef<NSTextField>(view);
        if (!field) continue;
        ++labels;
        CGSize needed = field->intrinsicContentSize();
        CGRect frame = field->frame();
        if (field->lineBreakMode() != NSLineBreakByWordWrapping) {
            EXPECT_LE(needed.width, frame.size.width) << field->stringValue();
            continue;
        }
        // A wrapping label has room for the lines its text needs, and a word
        // more on each line.
        double lines = std::ceil(needed.width / (frame.size.width * 0.8));
        EXPECT_LE(lines * needed.height, frame.size.height) << field->stringValue();
    }
    EXPECT_GE(labels, 7u);
}

TEST_F(GrantControllerAccessibilityOnlyTest, WithBothGrantedTheWindowReturnsToTheCentreAtEveryPoll)
{
    auto window = load();
    ASSERT_TRUE(controller->timer() && controller->timer()->isValid());
    window->makeKeyAndOrderFront(nullptr);
    window->setFrameOrigin(CGPointMake(40, 60));
    world.advance(3.0);
    EXPECT_EQ(window->frame().origin, CGPointMake(40, 60)) << "not centred while a permission is missing";

    world.desktop().setScreenRecordingGranted(true);
    world.advance(3.0);
    EXPECT_EQ(controller->screenBtn()->title(), "Access Granted");
    EXPECT_TRUE(isCentred(window));
    window->setFrameOrigin(CGPointMake(40, 60));
    world.advance(3.0);
    EXPECT_TRUE(isCentred(window)) << "the timer keeps running once both are granted";
    EXPECT_TRUE(controller->timer()->isValid());
}

TEST_F(GrantControllerTest, WithBothGrantedAtLoadNothingPolls)
{
    world.desktop().setAccessibilityTrusted(true);
    world.desktop().setScreenRecordingGranted(true);
    auto window = load();
    EXPECT_TRUE(!controller->timer() || !controller->timer()->isValid());
    EXPECT_EQ(controller->accesibilityBtn()->title(), "Access Granted");
    EXPECT_TRUE(isCentred(window));
}

TEST_F(GrantControllerTest, TheRequestButtonsMoveTheWindowAsideAndAskTheSystem)
{
    auto window = load();
    window->makeKeyAndOrderFront(nullptr);
    window->center();
    world.desktop().clearCallLog();
    world.desktop().setGrantOnPrompt(true);

    controller->accesibilityBtn()->performClick(nullptr);
    EXPECT_EQ(world.desktop().accessibilityPromptCount(), 1);
    CGRect screen = NSScreen::screens()[0]->frame();
    EXPECT_EQ(window->frame().origin, CGPointMake(screen.size.width - window->frame().size.width, 0));
    world.advance(3.0);
    EXPECT_EQ(controller->accesibilityBtn()->title(), "Access Granted") << "the answered prompt shows at the next poll";

    controller->screenBtn()->performClick(nullptr);
    EXPECT_EQ(world.desktop().countCalls("CGDisplayStreamCreate"), 1u);
}

TEST_F(GrantControllerTest, MovingAsideStaysOnTheWindowsOwnScreen)
{
    auto window = load();
    auto screens = NSScreen::screens();
    ASSERT_EQ(screens.size(), 2u);
    CGRect second = screens[1]->frame();
    window->setFrameOrigin(CGPointMake(second.origin.x + 100, second.origin.y + 100));
    controller->moveWindow();
    EXPECT_EQ(window->frame().origin, CGPointMake(CGRectGetMaxX(second) - window->frame().size.width, second.origin.y));
    EXPECT_TRUE(window->screen() == screens[1]);
}

TEST_F(GrantControllerTest, ContactOpensAFeedbackMailWithTheSpacesOfItsSubjectEncoded)
{
    load();
    NSWorkspace::sharedWorkspace().resetOpenedURLs();
    world.desktop().focusWindow(70);
    ASSERT_FALSE(NSApp().isActive());
    controller->contact(nullptr);
    auto opened = NSWorkspace::sharedWorkspace().openedURLs();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "mailto:feedback@quorvex.example.org?Subject=Quorvex:%20Feedback/Problem");
    EXPECT_EQ(opened[0].find(' '), std::string::npos);
    EXPECT_TRUE(NSApp().isActive());
}

TEST_F(GrantControllerTest, CopyPutsTheTerminalTextOnTheGeneralPasteboardAlone)
{
    load();
    auto pasteboard = NSPasteboard::generalPasteboard();
    pasteboard->clearContents();
    pasteboard->setString("stale", "public.html");
    long before = pasteboard->changeCount();
    controller->terminalField()->setStringValue("tccutil reset All org.example.test");
    ASSERT_TRUE(NSApp().sendAction("cipyToClipboard:", controller, nullptr));
    EXPECT_EQ(pasteboard->stringForType(NSStringPboardType), "tccutil reset All org.example.test");
    EXPECT_EQ(pasteboard->types(), std::vector<NSPasteboardType> { NSPasteboardTypeString }) << "the pasteboard was cleared first";
    EXPECT_GT(pasteboard->changeCount(), before);
}

TEST_F(GrantControllerTest, DontShowOnlySavesTheDefaults)
{
    load();
    NSUserDefaults::standardUserDefaults()->setBool(true, "ShotcutsHints");
    controller->dontShow(nullptr);
    EXPECT_TRUE(std::filesystem::exists(NSUserDefaults::storageFilePath()));
    EXPECT_TRUE(controller->timer()->isValid());
}
