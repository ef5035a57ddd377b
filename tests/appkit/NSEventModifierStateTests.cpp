#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <appkit/NSEventModifierState.h>

namespace {

constexpr uint16_t kKeyA = 0;

void deliver(const Ref<NSEvent>& event) { NSApp().deliverInputEvent(event); }

}

TEST(NSEventModifierState, FollowsModifierChangesAndTheFlagsOfKeys)
{
    SimWorld world;
    EXPECT_EQ(NSEvent::currentModifierFlags(), 0u) << "a fresh desktop holds no modifier";
    deliver(NSEvent::flagsChangedEventWithModifierFlags(NSEventModifierFlagCommand, kVK_Command));
    EXPECT_EQ(NSEvent::currentModifierFlags(), NSEventModifierFlagCommand);
    deliver(NSEvent::keyEventWithKeyCode(
        NSEventTypeKeyDown, kVK_Tab, NSEventModifierFlagCommand | NSEventModifierFlagShift));
    EXPECT_EQ(NSEvent::currentModifierFlags(), NSEventModifierFlagCommand | NSEventModifierFlagShift);
    deliver(NSEvent::flagsChangedEventWithModifierFlags(0, kVK_Command));
    EXPECT_EQ(NSEvent::currentModifierFlags(), 0u);
}

TEST(NSEventModifierState, MouseEventsLeaveIt)
{
    SimWorld world;
    deliver(NSEvent::flagsChangedEventWithModifierFlags(NSEventModifierFlagOption, kVK_Option));
    deliver(NSEvent::mouseEventWithType(NSEventTypeMouseMoved, CGPointMake(10, 10)));
    EXPECT_EQ(NSEvent::currentModifierFlags(), NSEventModifierFlagOption);
}

TEST(NSEventModifierState, SeesReleasesThatGoToAnotherApplicationOrAreSwallowed)
{
    SimWorld world;
    // Another application is frontmost: its keys never reach this one.
    world.desktop().activateApplication(101, false);
    world.settle();
    ASSERT_FALSE(NSApp().isActive());
    deliver(NSEvent::flagsChangedEventWithModifierFlags(NSEventModifierFlagControl, kVK_Control));
    EXPECT_EQ(NSEvent::currentModifierFlags(), NSEventModifierFlagControl);

    auto filter = NSApp().addInputFilter(
        NSInputFilterStage::EventTap, [](const Ref<NSEvent>&) { return Ref<NSEvent>(); });
    deliver(NSEvent::flagsChangedEventWithModifierFlags(0, kVK_Control));
    EXPECT_EQ(NSEvent::currentModifierFlags(), 0u)
        << "a tap that swallows the release does not hold the key down";
    deliver(NSEvent::keyEventWithKeyCode(NSEventTypeKeyUp, kKeyA, NSEventModifierFlagShift));
    EXPECT_EQ(NSEvent::currentModifierFlags(), NSEventModifierFlagShift);
}

TEST(NSEventModifierState, BelongsToTheDesktopItWasTakenOn)
{
    {
        SimWorld world;
        deliver(NSEvent::flagsChangedEventWithModifierFlags(NSEventModifierFlagCommand, kVK_Command));
        EXPECT_EQ(NSEvent::currentModifierFlags(), NSEventModifierFlagCommand);
    }
    SimWorld another;
    EXPECT_EQ(NSEvent::currentModifierFlags(), 0u);
}
