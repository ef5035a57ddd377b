#include "MouseEventsLater.h"
#include "support/SimWorld.h"

#include <appkit/NSApplication.h>
#include <appkit/NSWindow.h>
#include <foundation/Dispatch.h>
#include <toolkit/NSEventUtilities.h>

namespace {

// A view that logs the mouse events dispatched to it.
class MouseLog : public NSView {
public:
    MouseLog(CGRect frame, std::vector<std::string>& log, bool flipped)
        : NSView(frame)
        , m_log(log)
        , m_flipped(flipped)
    {
    }
    bool isFlipped() const override { return m_flipped; }
    void mouseDragged(const Ref<NSEvent>&) override { m_log.push_back("dragged"); }
    void mouseUp(const Ref<NSEvent>&) override { m_log.push_back("up"); }

private:
    std::vector<std::string>& m_log;
    bool m_flipped;
};

// A window whose content starts at screen (100, 100); the press is at
// (150, 150), window point (50, 50).
class DragDetection : public ::testing::Test {
protected:
    DragDetection()
    {
        window->contentView()->addSubview(view);
        NSApp().activateIgnoringOtherApps(true);
        window->makeKeyAndOrderFront(nullptr);
        world.settle();
        world.desktop().setPressedMouseButtons(1);
        press = NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, { 150, 150 });
        press->setWindow(window);
    }

    void later(double delay, std::vector<std::pair<NSEventType, CGPoint>> events)
    {
        deliverMouseEventsLater(delay, std::move(events));
    }

    double elapsed() { return world.clock().now() - start; }

    SimWorld world { SimWorld::emptyScenario() };
    std::vector<std::string> log;
    Ref<NSWindow> window = makeRef<NSWindow>(CGRectMake(100, 100, 300, 200), NSWindowStyleMaskTitled);
    Ref<MouseLog> view = makeRef<MouseLog>(CGRectMake(0, 0, 300, 200), log, false);
    Ref<NSEvent> press;
    double start = world.clock().now();
};

}

TEST_F(DragDetection, ADragOutsideTheSlopIsADragAndTheRestWaitsForDispatch)
{
    later(0.1, { { NSEventTypeLeftMouseDragged, { 152, 151 } }, { NSEventTypeLeftMouseDragged, { 156, 150 } },
                   { NSEventTypeLeftMouseUp, { 156, 150 } } });
    EXPECT_TRUE(NSEventUtilities::isDragEvent(press, view, 4, std::nullopt));
    EXPECT_TRUE(log.empty()) << "the drags were consumed and the release not yet dispatched";
    world.settle();
    EXPECT_EQ(log, (std::vector<std::string> { "up" }));
    EXPECT_NEAR(elapsed(), 0.1, 1e-6);
}

TEST_F(DragDetection, AReleaseFirstIsNoDrag)
{
    later(0.5, { { NSEventTypeLeftMouseDragged, { 151, 151 } }, { NSEventTypeLeftMouseUp, { 151, 151 } } });
    EXPECT_FALSE(NSEventUtilities::isDragEvent(press, view, 3, std::nullopt));
    EXPECT_TRUE(log.empty());
    world.settle();
    EXPECT_EQ(log, (std::vector<std::string> { "up" })) << "the release stays for the application";
}

TEST_F(DragDetection, WithoutSlopTheFirstDragCounts)
{
    later(0.1, { { NSEventTypeLeftMouseDragged, { 150, 150 } } });
    EXPECT_TRUE(NSEventUtilities::isDragEvent(press, view, 0, std::nullopt));
}

TEST_F(DragDetection, TheSquaresEdgesFollowTheViewsFlipping)
{
    // Window point (50, 46): on the square's lower edge, inside only for a
    // flipped view.
    later(0.1, { { NSEventTypeLeftMouseDragged, { 150, 146 } }, { NSEventTypeLeftMouseUp, { 150, 146 } } });
    EXPECT_TRUE(NSEventUtilities::isDragEvent(press, view, 4, std::nullopt));
    world.settle();
    auto flipped = makeRef<MouseLog>(CGRectMake(0, 0, 10, 10), log, true);
    later(0.1, { { NSEventTypeLeftMouseDragged, { 150, 146 } }, { NSEventTypeLeftMouseUp, { 150, 146 } } });
    EXPECT_FALSE(NSEventUtilities::isDragEvent(press, flipped, 4, std::nullopt));
}

TEST_F(DragDetection, AGivenDeadlineEndsTheWait)
{
    later(5, { { NSEventTypeLeftMouseDragged, { 190, 190 } } });
    EXPECT_FALSE(NSEventUtilities::isDragEvent(press, view, 4, start + 1.5));
    EXPECT_NEAR(elapsed(), 1.5, 1e-6);
}

TEST_F(DragDetection, WithoutADeadlineItWaitsWhileTheButtonIsHeld)
{
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 5 * NSEC_PER_SEC), dispatch_get_main_queue(),
        [this] { world.desktop().setPressedMouseButtons(0); });
    EXPECT_FALSE(NSEventUtilities::isDragEvent(press, view, 4, std::nullopt));
    EXPECT_NEAR(elapsed(), 3 * NSEventUtilities::kDragWaitInterval, 1e-6) << "the button is checked every two seconds";
}

TEST_F(DragDetection, WithoutADeadlineALateDragStillCounts)
{
    later(5, { { NSEventTypeLeftMouseDragged, { 190, 190 } } });
    EXPECT_TRUE(NSEventUtilities::isDragEvent(press, view, 4, std::nullopt));
    EXPECT_NEAR(elapsed(), 5, 1e-6);
}
