#include "support/DefaultsSandbox.h"
#include "support/Pixels.h"
#include "support/SimWorld.h"

#include <app/KSShortcutView.h>
#include <appkit/NSAlert.h>
#include <appkit/NSApplication.h>
#include <appkit/NSBeep.h>
#include <appkit/NSEvent.h>
#include <appkit/NSWindow.h>
#include <desktop/InputCodes.h>
#include <foundation/Log.h>
#include <foundation/NSKeyedArchiver.h>
#include <foundation/NSKeyedUnarchiver.h>

#include <tuple>

namespace {

// The window's first responder: it counts the keys that reach the window.
class KeyCatcher final : public NSView {
public:
    bool acceptsFirstResponder() const override { return true; }
    void keyDown(const Ref<NSEvent>&) override { ++keys; }
    int keys { 0 };
};

// Two recorders in a key window, typed at and clicked like a person would.
class Recorder : public ::testing::Test {
protected:
    Recorder()
    {
        window = makeRef<NSWindow>(CGRectMake(100, 100, 400, 200), NSWindowStyleMaskTitled);
        first = makeRef<KSShortcutView>(CGRectMake(20, 20, 160, 24));
        second = makeRef<KSShortcutView>(CGRectMake(20, 60, 160, 24));
        window->contentView()->addSubview(first);
        window->contentView()->addSubview(second);
        window->contentView()->addSubview(catcher);
        window->makeKeyAndOrderFront(nullptr);
        window->makeFirstResponder(catcher);
        NSApp().activateIgnoringOtherApps(true);
        NSAlert::resetRecords();
    }
    ~Recorder() override
    {
        first->setRecording(false);
        second->setRecording(false);
        window->orderOut(nullptr);
    }
    // A click at a point of the view (x from its left edge).
    void click(const Ref<KSShortcutView>& view, CGFloat x)
    {
        CGPoint inWindow = view->convertPointToView(CGPointMake(x, 12), nullptr);
        CGPoint screen = CGPointMake(window->frame().origin.x + inWindow.x, window->frame().origin.y + inWindow.y);
        NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, screen));
        NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseUp, screen));
        world.settle();
    }
    // Whether the key still reached the window after the recorder.
    bool type(uint16_t keyCode, uint64_t flags = 0)
    {
        int before = catcher->keys;
        NSApp().deliverInputEvent(NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, keyCode, flags));
        world.settle();
        return catcher->keys > before;
    }
    Ref<KSShortcut> stored(const std::string& key)
    {
        auto data = defaults.defaults()->dataForKey(key);
        return data ? NSKeyedUnarchiver::unarchiveObjectWithData(*data).objectAs<KSShortcut>() : nullptr;
    }

    DefaultsSandbox defaults;
    SimWorld world { SimWorld::emptyScenario() };
    Ref<NSWindow> window;
    Ref<KSShortcutView> first, second;
    Ref<KeyCatcher> catcher { makeRef<KeyCatcher>() };
};

}

TEST_F(Recorder, AClickRecordsTheNextAcceptableCombinationIntoTheBoundDefault)
{
    first->setAssociatedUserDefaultsKey("ShowAllWindowsCustomKey");
    EXPECT_EQ(first->associatedUserDefaultsKey(), "ShowAllWindowsCustomKey");
    EXPECT_EQ(first->currentTitle(), "Record Shortcut");
    click(first, 40);
    ASSERT_TRUE(first->isRecording());
    EXPECT_EQ(KSShortcutView::recordingView(), first);
    EXPECT_EQ(first->currentTitle(), "Type Shortcut");

    // Option alone shows its glyph; letting go leaves the empty glyph string.
    NSApp().deliverInputEvent(
        NSEvent::flagsChangedEventWithModifierFlags(kCGEventFlagMaskAlternate, kVK_Option));
    EXPECT_EQ(first->currentTitle(), "\u2325");
    NSApp().deliverInputEvent(NSEvent::flagsChangedEventWithModifierFlags(0, kVK_Option));
    EXPECT_EQ(first->currentTitle(), "Type Shortcut");

    // Unacceptable: a bare letter beeps and recording goes on.
    size_t beeps = NSBeepCount();
    EXPECT_FALSE(type(kVK_ANSI_A));
    EXPECT_EQ(NSBeepCount(), beeps + 1);
    EXPECT_TRUE(first->isRecording());
    // Tab passes through, so Option+Tab cannot be recorded here.
    EXPECT_TRUE(type(kVK_Tab, kCGEventFlagMaskAlternate));
    EXPECT_TRUE(first->isRecording());

    EXPECT_FALSE(type(kVK_ANSI_A, kCGEventFlagMaskControl | kCGEventFlagMaskAlternate));
    EXPECT_FALSE(first->isRecording());
    EXPECT_EQ(KSShortcutView::recordingView(), nullptr) << "a recorder that stopped is not held";
    ASSERT_TRUE(first->shortcutValue());
    EXPECT_TRUE(first->shortcutValue()->isEqual(
        KSShortcut::shortcutWithKeyCode(kVK_ANSI_A, kCGEventFlagMaskControl | kCGEventFlagMaskAlternate)
            .get()));
    auto saved = stored("ShowAllWindowsCustomKey");
    ASSERT_TRUE(saved) << "written as an archive";
    EXPECT_TRUE(saved->isEqual(first->shortcutValue().get()));
    EXPECT_FALSE(first->toolTipAtPoint(CGPointMake(40, 12)).empty());
    EXPECT_EQ(first->toolTipAtPoint(CGPointMake(155, 12)), "Delete shortcut");

    // Typing after recording reaches the application again.
    EXPECT_TRUE(type(kVK_ANSI_A, kCGEventFlagMaskControl | kCGEventFlagMaskAlternate));

    // A default changed elsewhere shows at once; a damaged one shows nothing.
    defaults.defaults()->setObject(Value(*NSKeyedArchiver::archivedDataWithRootObject(
                                       Value(KSShortcut::shortcutWithKeyCode(kVK_F5, 0)))),
        "ShowAllWindowsCustomKey");
    EXPECT_EQ(first->currentTitle(), KSShortcut::shortcutWithKeyCode(kVK_F5, 0)->description());
    LogCapture log;
    defaults.defaults()->setObject(Value("not a shortcut"), "ShowAllWindowsCustomKey");
    EXPECT_EQ(first->shortcutValue(), nullptr);
    EXPECT_EQ(first->currentTitle(), "Record Shortcut");
}

TEST_F(Recorder, EscapeCancelsDeleteClearsAndTheClearButtonClearsOrCancels)
{
    first->setAssociatedUserDefaultsKey("Key");
    first->setShortcutValue(KSShortcut::shortcutWithKeyCode(kVK_F5, 0));
    ASSERT_TRUE(stored("Key"));

    click(first, 40);
    EXPECT_EQ(first->currentTitle(), "Type New Shortcut");
    EXPECT_FALSE(type(kVK_Escape));
    EXPECT_FALSE(first->isRecording());
    EXPECT_TRUE(first->shortcutValue()) << "Escape keeps the old value";

    // The clear button cancels a recording and keeps the value.
    click(first, 40);
    click(first, 155);
    EXPECT_FALSE(first->isRecording());
    EXPECT_TRUE(first->shortcutValue());

    // Delete while recording clears the stored default.
    click(first, 40);
    EXPECT_FALSE(type(kVK_Delete));
    EXPECT_FALSE(first->isRecording());
    EXPECT_FALSE(first->shortcutValue());
    EXPECT_FALSE(defaults.defaults()->objectForKey("Key"));

    // With a value, the clear button clears without recording.
    first->setShortcutValue(KSShortcut::shortcutWithKeyCode(kVK_F5, 0));
    click(first, 155);
    EXPECT_FALSE(first->isRecording());
    EXPECT_FALSE(first->shortcutValue());

    // Hidden, the clear button takes no clicks: the click records instead.
    first->setShortcutValue(KSShortcut::shortcutWithKeyCode(kVK_F5, 0));
    first->setShowsDeleteButton(false);
    click(first, 155);
    EXPECT_TRUE(first->shortcutValue());
    EXPECT_TRUE(first->isRecording());

    // Command+W stops recording and still reaches the application.
    EXPECT_TRUE(type(kVK_ANSI_W, kCGEventFlagMaskCommand));
    EXPECT_FALSE(first->isRecording());
}

TEST_F(Recorder, OneRecordsAtATimeAndWhatEndsRecordingLeavesTheOthersAlone)
{
    first->setShortcutValue(KSShortcut::shortcutWithKeyCode(kVK_F5, 0));
    click(first, 40);
    click(second, 40);
    EXPECT_FALSE(first->isRecording());
    EXPECT_TRUE(second->isRecording());
    EXPECT_TRUE(first->shortcutValue()) << "stopping by another recorder keeps the value";

    // A recorder that does not record going away leaves the shared key
    // monitor to the one that does.
    auto third = makeRef<KSShortcutView>(CGRectMake(0, 0, 100, 20));
    third.reset();
    EXPECT_FALSE(type(kVK_F5));
    EXPECT_TRUE(second->shortcutValue());

    // Disabling stops recording and removes the tool tips.
    click(first, 40);
    first->setEnabled(false);
    EXPECT_FALSE(first->isRecording());
    EXPECT_TRUE(first->toolTipAtPoint(CGPointMake(40, 12)).empty());
    click(first, 40);
    EXPECT_FALSE(first->isRecording()) << "a disabled recorder does not record";
    EXPECT_EQ(KSShortcutView::recordingView(), nullptr);

    // The window losing the keyboard stops recording.
    click(second, 40);
    ASSERT_TRUE(second->isRecording());
    window->resignKeyWindow();
    world.settle();
    EXPECT_FALSE(second->isRecording());
}

TEST_F(Recorder, ACombinationTheSystemUsesIsRefusedWithAnAlertAndRecordingGoesOn)
{
    click(first, 40);
    EXPECT_FALSE(type(kVK_Space, kCGEventFlagMaskCommand)) << "Command+Space belongs to the system";
    auto alerts = NSAlert::shownAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText,
        "The key combination "
            + KSShortcut::shortcutWithKeyCode(kVK_Space, kCGEventFlagMaskCommand)->description()
            + " cannot be used");
    EXPECT_EQ(alerts[0].buttons, std::vector<std::string> { "OK" });
    EXPECT_TRUE(first->isRecording());
    EXPECT_FALSE(first->shortcutValue());
    EXPECT_FALSE(type(kVK_F5));
    EXPECT_TRUE(first->shortcutValue()) << "listening again after the alert";
}

TEST_F(Recorder, ARecordingThatEndsWhileTheAlertIsUpLeavesTheNextRecorderItsOwnWatch)
{
    click(first, 40);
    // While the alert is up the recorder is disabled (its row changed).
    NSAlert::queueAnswer(0, [&] { first->setEnabled(false); });
    EXPECT_FALSE(type(kVK_Space, kCGEventFlagMaskCommand));
    ASSERT_EQ(NSAlert::shownAlerts().size(), 1u);
    EXPECT_FALSE(first->isRecording());
    EXPECT_TRUE(type(kVK_F5)) << "nothing listens for it any more";

    // The next recorder watches its own window losing the keyboard.
    click(second, 40);
    ASSERT_TRUE(second->isRecording());
    window->resignKeyWindow();
    world.settle();
    EXPECT_FALSE(second->isRecording());
}

TEST_F(Recorder, TheClearAndCancelGlyphsSitInsideTheHintAreaAtAReadableSize)
{
    // The glyph's ink: pixels much darker than the button's face, inside
    // the view's rows, as image columns.
    auto ink = [&] {
        auto image = window->renderedImage();
        CGRect inWindow = first->convertRectToView(first->bounds(), nullptr);
        int top = static_cast<int>(window->frame().size.height - CGRectGetMaxY(inWindow)) + 2;
        int bottom = static_cast<int>(window->frame().size.height - inWindow.origin.y) - 3;
        int left = -1, right = -1, rows = 0;
        int x0 = static_cast<int>(CGRectGetMaxX(inWindow) - first->hintButtonWidth());
        for (int x = x0; x < static_cast<int>(CGRectGetMaxX(inWindow)); ++x)
            for (int y = top; y <= bottom; ++y) {
                Pixel p = pixelAt(image, x, y);
                if (p.r + p.g + p.b < 3 * 110) {
                    if (left < 0)
                        left = x;
                    right = x;
                    ++rows;
                }
            }
        return std::tuple { left - x0, right - x0, rows };
    };
    const CGFloat hint = first->hintButtonWidth();
    for (bool recording : { true, false }) {
        if (recording)
            click(first, 40);
        else
            first->setShortcutValue(KSShortcut::shortcutWithKeyCode(kVK_F5, 0));
        auto [left, right, pixels] = ink();
        SCOPED_TRACE(recording ? "cancel glyph" : "clear glyph");
        ASSERT_GE(left, 0) << "some ink in the hint area";
        EXPECT_GE(right - left + 1, 7) << "wide enough to read";
        EXPECT_GE(pixels, 14);
        EXPECT_LE(right, hint - 4) << "clear of the right border";
        EXPECT_NEAR((left + right) / 2.0, hint / 2, 3) << "in the middle of the hint area";
        if (recording)
            EXPECT_FALSE(type(kVK_Escape));
    }
}
