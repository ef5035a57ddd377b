#include "support/Pixels.h"
#include "support/SimWorld.h"

#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>
#include <graphics/NSBitmapImageRep.h>
#include <graphics/NSColor.h>
#include <graphics/NSImage.h>
#include <model/SWApplication.h>
#include <model/SWWindow.h>

#include <atomic>
#include <future>
#include <mutex>

namespace {

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] } ],
  "apps": [
    { "pid": 1, "name": "One", "windows": [
        { "id": 10, "title": "shown", "frame": [100, 100, 400, 300] },
        { "id": 11, "title": "mini", "frame": [200, 200, 300, 200], "minimized": true } ] },
    { "pid": 2, "name": "Two", "windows": [ { "id": 20, "title": "other", "frame": [0, 30, 200, 100] } ] }
  ], "order": [10, 20, 11] })";

Ref<SWWindow> record(CGWindowID number, pid_t pid = 1)
{
    return SWWindow::windowWithAXElement(makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, pid, number }));
}

// The alpha of a pixel in the middle of a preview.
double middleAlpha(const Ref<NSImage>& image)
{
    auto rep = dynamicRef<NSBitmapImageRep>(image->representations().front());
    EXPECT_TRUE(rep);
    if (!rep)
        return -1;
    return rep->colorAtX(rep->pixelsWide() / 2, rep->pixelsHigh() / 2)->alphaComponent();
}

}

TEST(WindowPreview, ARecordOnScreenCapturesInTheBackgroundAndStoresOnTheMainQueue)
{
    SimWorld world(kScenario);
    std::mutex mutex;
    std::vector<bool> onMain;
    std::vector<long> priorities;
    world.desktop().setCaptureHook([&](CGWindowID) {
        std::lock_guard lock(mutex);
        onMain.push_back(isMainThread());
        auto queue = dispatch_get_current_queue();
        priorities.push_back(queue ? queue->priority() : 999);
    });
    auto w = record(10);
    std::vector<std::string> notices;
    auto a = w->addObserver("previewImage", NSKeyValueObservingOptionPrior, [&](const KVOChange& c) {
        notices.push_back(std::string(c.isPrior ? "will " : "did ") + "previewImage" + (w->previewImage() ? " set" : " empty"));
    });
    auto b = w->addObserver("title", NSKeyValueObservingOptionPrior,
        [&](const KVOChange& c) { notices.push_back(std::string(c.isPrior ? "will " : "did ") + "title"); });
    EXPECT_FALSE(w->previewImage());
    world.settle();
    ASSERT_EQ(onMain.size(), 1u);
    EXPECT_FALSE(onMain[0]) << "the main thread never captures";
    EXPECT_EQ(priorities[0], DISPATCH_QUEUE_PRIORITY_DEFAULT);
    EXPECT_EQ(notices, (std::vector<std::string> { "will previewImage empty", "did previewImage set", "will title", "did title" }));
    ASSERT_TRUE(w->previewImage());
    EXPECT_EQ(w->previewImage()->size(), CGSizeMake(400, 300));
    EXPECT_DOUBLE_EQ(middleAlpha(w->previewImage()), 1.0);
}

TEST(WindowPreview, AWindowOffScreenStartsNoCaptureUntilAsked)
{
    SimWorld world(kScenario);
    auto mini = record(11);
    world.settle();
    EXPECT_EQ(world.desktop().countCalls("CGWindowListCreateImage"), 0u);
    EXPECT_FALSE(mini->previewImage());
    mini->updatePreview();
    world.settle();
    ASSERT_TRUE(mini->previewImage());
    EXPECT_NEAR(middleAlpha(mini->previewImage()), 0.8, 1.0 / 255) << "a minimised window shows faded";
    mini->unMinimize();
    world.settle();
    EXPECT_DOUBLE_EQ(middleAlpha(mini->previewImage()), 1.0) << "restored, it shows at full opacity";
}

TEST(WindowPreview, AHiddenApplicationsWindowIsFaded)
{
    SimWorld world(kScenario);
    auto other = record(20, 2);
    world.settle();
    world.desktop().hideApplication(2);
    other->updatePreview();
    world.settle();
    ASSERT_TRUE(other->previewImage());
    EXPECT_NEAR(middleAlpha(other->previewImage()), 0.8, 1.0 / 255);
}

TEST(WindowPreview, AFailedCaptureStoresNothingAndStillAnnounces)
{
    SimWorld world(kScenario);
    auto w = record(10);
    world.settle();
    ASSERT_TRUE(w->previewImage());
    int titleNotices = 0;
    auto token = w->addObserver("title", 0, [&](const KVOChange&) { ++titleNotices; });
    world.desktop().setScreenRecordingGranted(false);
    w->updatePreview();
    world.settle();
    EXPECT_FALSE(w->previewImage()) << "without Screen Recording nothing can be captured";
    EXPECT_EQ(titleNotices, 1);

    auto unknown = SWWindow::windowWithAXElement(makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, 1, 77 }));
    unknown->updatePreview();
    world.settle();
    EXPECT_FALSE(unknown->previewImage());
    EXPECT_EQ(world.desktop().countCalls("CGWindowListCreateImage window:77"), 0u) << "no window number, no capture";
}

TEST(WindowPreview, QuickRefreshesAllAnnounceAndTheLastStoredWins)
{
    SimWorld world(kScenario);
    auto w = record(10);
    world.settle();
    int notices = 0;
    auto token = w->addObserver("previewImage", 0, [&](const KVOChange&) { ++notices; });
    w->updatePreview();
    w->updatePreview();
    world.settle();
    EXPECT_EQ(notices, 2);
    world.desktop().closeWindow(10);
    w->updatePreview();
    world.settle();
    EXPECT_FALSE(w->previewImage()) << "a window that closed leaves no picture";
}

TEST(WindowPreview, AnOlderCaptureThatFinishesLastLeavesTheNewerPicture)
{
    SimWorld world(kScenario);
    auto w = record(10);
    world.settle();
    // The first capture waits until the second has been stored and the
    // window has grown.
    std::promise<void> entered, release;
    auto released = release.get_future().share();
    std::atomic<int> captures { 0 };
    world.desktop().setCaptureHook([&](CGWindowID) {
        if (captures++ == 0) {
            entered.set_value();
            released.wait();
        }
    });
    int stored = 0;
    auto token = w->addObserver("previewImage", 0, [&](const KVOChange&) { ++stored; });
    w->updatePreview();
    entered.get_future().wait();
    w->updatePreview();
    while (stored == 0)
        RunLoop::main().runOnce();
    world.desktop().setWindowFrame(10, CGRectMake(100, 100, 800, 600));
    release.set_value();
    world.settle();
    world.desktop().setCaptureHook(nullptr);
    EXPECT_EQ(captures.load(), 2);
    EXPECT_EQ(stored, 2) << "both refreshes announce";
    ASSERT_TRUE(w->previewImage());
    EXPECT_EQ(w->previewImage()->size(), CGSizeMake(400, 300));
}

TEST(WindowPreview, ALargeWindowsPreviewKeepsItsSizeOverAnAveragedCopy)
{
    SimWorld world(R"({ "screens": [ { "frame": [0, 0, 1920, 1080] } ],
      "apps": [ { "pid": 1, "name": "Big", "windows": [
        { "id": 1, "title": "full", "frame": [0, 0, 1920, 1080] },
        { "id": 2, "title": "small", "frame": [10, 10, 300, 200] },
        { "id": 3, "title": "mini", "frame": [0, 0, 1600, 900], "minimized": true } ] } ] })");
    auto full = record(1), small = record(2), mini = record(3);
    mini->updatePreview();
    world.settle();
    ASSERT_TRUE(full->previewImage() && small->previewImage() && mini->previewImage());

    // 1920 x 1080 by 4: within 480 x 300 pixels, still 1920 x 1080 points.
    EXPECT_EQ(full->previewImage()->size(), CGSizeMake(1920, 1080));
    auto rep = dynamicRef<NSBitmapImageRep>(full->previewImage()->representations().front());
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsWide(), 480);
    EXPECT_EQ(rep->pixelsHigh(), 270);
    EXPECT_EQ(rep->size(), CGSizeMake(1920, 1080));
    // Each pixel is the mean of the 4 x 4 block of the window's picture it
    // stands for, in its colours (not with red and blue swapped).
    DesktopImage content = world.desktop().windowContent(1);
    for (auto [x, y] : { std::pair { 10L, 2L }, std::pair { 240L, 100L }, std::pair { 300L, 200L } }) {
        double sum[3] = { 0, 0, 0 };
        for (long dy = 0; dy < 4; ++dy)
            for (long dx = 0; dx < 4; ++dx) {
                RGBA p = pixelAt(content, x * 4 + dx, y * 4 + dy);
                for (int c = 0; c < 3; ++c) sum[c] += p[c];
            }
        auto colour = rep->colorAtX(x, y);
        EXPECT_NEAR(colour->redComponent() * 255, sum[0] / 16, 1.5) << x << "," << y;
        EXPECT_NEAR(colour->greenComponent() * 255, sum[1] / 16, 1.5) << x << "," << y;
        EXPECT_NEAR(colour->blueComponent() * 255, sum[2] / 16, 1.5) << x << "," << y;
    }

    // A small window keeps every pixel.
    auto smallRep = dynamicRef<NSBitmapImageRep>(small->previewImage()->representations().front());
    EXPECT_EQ(smallRep->pixelsWide(), 300);
    EXPECT_EQ(smallRep->pixelsHigh(), 200);

    // The faded picture of a minimised window is made from the averaged
    // copy: 1600 x 900 by 4 (900 / 300 rounds up to 3, 1600 / 480 to 4).
    EXPECT_EQ(mini->previewImage()->size(), CGSizeMake(1600, 900));
    auto miniRep = dynamicRef<NSBitmapImageRep>(mini->previewImage()->representations().front());
    EXPECT_LE(miniRep->pixelsWide(), 480);
    EXPECT_LE(miniRep->pixelsHigh(), 300);
    EXPECT_NEAR(middleAlpha(mini->previewImage()), 0.8, 1.0 / 255);
}

// A capture of an unchanged window hands over the picture made before (what
// is drawn from it is kept with it); one whose pixels changed, or that must
// show faded now, makes a new one.
TEST(WindowPreview, AnUnchangedWindowKeepsItsPictureAndAChangedOneGetsANewOne)
{
    SimWorld world(kScenario);
    auto w = record(10);
    world.settle();
    auto first = w->previewImage();
    ASSERT_TRUE(first);
    int notices = 0;
    auto token = w->addObserver("previewImage", 0, [&](const KVOChange&) { ++notices; });
    w->updatePreview();
    world.settle();
    EXPECT_EQ(notices, 1) << "a refresh announces as before";
    EXPECT_EQ(w->previewImage(), first) << "the same pixels, the same picture";

    world.desktop().setWindowTitle(10, "another title, drawn in the window");
    w->updatePreview();
    world.settle();
    auto retitled = w->previewImage();
    ASSERT_TRUE(retitled);
    EXPECT_NE(retitled, first);

    world.desktop().setWindowMinimized(10, true);
    w->updatePreview();
    world.settle();
    ASSERT_TRUE(w->previewImage());
    EXPECT_NE(w->previewImage(), retitled) << "the same pixels, but faded now";
    EXPECT_NEAR(middleAlpha(w->previewImage()), 0.8, 0.01);
}
