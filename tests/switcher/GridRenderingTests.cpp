#include "GridHarness.h"

#include <graphics/NSBezierPath.h>
#include <graphics/NSImage.h>

#include <model/WindowManager.h>
#include <switcher/GridCellInterface.h>
#include <switcher/SwitchWindowController.h>
#include <switcher/SwitcherCodes.h>
#include <switcher/SwitcherLayoutRegistry.h>
#include <command/SwitcherSnapshot.h>
#include <toolkit/FBFlatButton.h>

namespace {

const Pixel kWhite { 255, 255, 255, 255 };

bool isGrey(const Pixel& p, int level, int tolerance = 4)
{
    return std::abs(p.r - level) <= tolerance && std::abs(p.g - level) <= tolerance
        && std::abs(p.b - level) <= tolerance;
}

// The grid over a window list whose first window is 800 x 300 and the
// others 600 x 400, in a white panel, saved as PNG and read back.
struct GridRendering : public ::testing::Test {
    SimWorld world { scenarioWithWindows(5, 875, true) };
    DefaultsSandbox sandbox;
    TemporaryDirectory directory;
    GridHarness harness { world, 5 };

    DesktopImage renderPNG()
    {
        std::string path = directory.file("grid.png");
        EXPECT_TRUE(harness.panel->writeRenderedPNG(path));
        return readPNGFile(path);
    }
    Pixel at(const DesktopImage& image, size_t cell, CGPoint point)
    {
        return pixelAtBase(image, harness.basePointInCell(cell, point));
    }
};

}

TEST_F(GridRendering, PreviewsAreFittedIntoTheirPlaceKeepingTheirShape)
{
    harness.show();
    auto image = renderPNG();
    ASSERT_FALSE(image.empty());
    using namespace GridCellLayout;
    // The preview place is 240 x 150 at (20, 38) of the cell. The 800 x 300
    // window fills its width and 90 points of its height, centred: a band
    // 30 points high stays empty above and below.
    EXPECT_EQ(at(image, 0, { 140, 183 }), kWhite) << "above the wide preview";
    EXPECT_EQ(at(image, 0, { 140, 43 }), kWhite) << "below the wide preview";
    EXPECT_NE(at(image, 0, { 140, 110 }), kWhite);
    EXPECT_NE(at(image, 0, { 22, 110 }), kWhite) << "the wide preview spans the whole width";
    EXPECT_NE(at(image, 0, { 258, 110 }), kWhite);
    EXPECT_EQ(at(image, 0, { 17, 110 }), kWhite) << "nothing outside the preview's place";
    EXPECT_EQ(at(image, 0, { 140, 152 + 6 + 2 }), kWhite) << "the wide preview ends 30 points below the top";
    // A 600 x 400 window is 225 x 150: the full height, 7.5 points empty
    // at each side.
    EXPECT_NE(at(image, 2, { 140, 186 }), kWhite);
    EXPECT_NE(at(image, 2, { 140, 40 }), kWhite);
    EXPECT_EQ(at(image, 2, { 24, 110 }), kWhite);
    EXPECT_NE(at(image, 2, { 31, 110 }), kWhite);
    EXPECT_EQ(at(image, 2, { 256, 110 }), kWhite);
}

TEST_F(GridRendering, TheSelectedCellHasARoundedHighlight)
{
    harness.show();
    ASSERT_EQ(harness.selection(), 1u);
    auto image = renderPNG();
    // Black at a fifth over white, outside the preview.
    EXPECT_TRUE(isGrey(at(image, 1, { 10, 100 }), 204)) << at(image, 1, { 10, 100 });
    EXPECT_TRUE(isGrey(at(image, 1, { 270, 20 }), 204));
    EXPECT_EQ(at(image, 0, { 10, 100 }), kWhite) << "other cells stay clear";
    EXPECT_EQ(at(image, 2, { 10, 100 }), kWhite);
    // The corners are rounded by 8 points.
    EXPECT_EQ(at(image, 1, { 0.5, 0.5 }), kWhite);
    EXPECT_EQ(at(image, 1, { 279.5, 207.5 }), kWhite);
    EXPECT_TRUE(isGrey(at(image, 1, { 4, 30 }), 204));
    EXPECT_TRUE(isGrey(at(image, 1, { 140, 1 }), 204)) << "the straight edges reach the cell's bounds";

    harness.key(kVK_RightArrow);
    image = renderPNG();
    EXPECT_EQ(at(image, 1, { 10, 100 }), kWhite) << "the highlight moves with the selection";
    EXPECT_TRUE(isGrey(at(image, 2, { 10, 100 }), 204));
}

TEST_F(GridRendering, BadgesSitOnThePreviewsTopRightCorner)
{
    using namespace GridCellLayout;
    EXPECT_EQ(CGRectGetMidX(kBadgeFrame), CGRectGetMaxX(kPreviewFrame));
    EXPECT_EQ(CGRectGetMidY(kBadgeFrame), CGRectGetMaxY(kPreviewFrame));
    harness.show();
    auto image = renderPNG();
    CGPoint centre = { CGRectGetMidX(kBadgeFrame), CGRectGetMidY(kBadgeFrame) };
    // A round light grey badge on the light theme, with the number in white.
    for (size_t cell : { 0u, 2u, 4u }) {
        EXPECT_TRUE(isGrey(at(image, cell, { centre.x - 7, centre.y }), 170, 6))
            << "cell " << cell << ": " << at(image, cell, { centre.x - 7, centre.y });
        EXPECT_FALSE(
            isGrey(at(image, cell, { kBadgeFrame.origin.x + 0.5, kBadgeFrame.origin.y + 0.5 }), 170, 6))
            << "the badge is round";
        bool white = false;
        for (int dx = -3; dx <= 3; ++dx)
            for (int dy = -5; dy <= 5; ++dy)
                white = white || at(image, cell, { centre.x + dx, centre.y + dy }) == kWhite;
        EXPECT_TRUE(white) << "the number in cell " << cell;
    }
}

TEST_F(GridRendering, BadgesAreDarkOnTheDarkThemes)
{
    sandbox.defaults()->setInteger(SwitcherThemeDark, "ThemeIndex");
    harness.show();
    // The first colour pass fades from the unstyled red.
    world.advance(0.5);
    auto image = renderPNG();
    CGPoint left
        = { CGRectGetMidX(GridCellLayout::kBadgeFrame) - 7, CGRectGetMidY(GridCellLayout::kBadgeFrame) };
    EXPECT_TRUE(isGrey(at(image, 3, left), 85, 6)) << at(image, 3, left);
}

namespace {

Ref<NSImage> solidImage(CGSize size, const Ref<NSColor>& colour)
{
    auto image = NSImage::create(size);
    image->lockFocus();
    colour->setFill();
    NSBezierPath::fillRect(CGRect { {}, size });
    image->unlockFocus();
    return image;
}

void handOver(const Ref<SWWindow>& window, const Ref<NSImage>& preview)
{
    window->willChangeValueForKey("previewImage");
    window->setPreviewImage(preview);
    window->didChangeValueForKey("previewImage");
}

}

TEST_F(GridRendering, EveryNewCaptureShowsInItsCell)
{
    harness.show();
    const CGPoint centre { 140, 110 };
    // Each capture is a new picture of the same size; the shrunk copy of an
    // earlier one must never stand in for it, even where the new picture
    // takes the memory of the old (the window lets go of the old first).
    const std::pair<Ref<NSColor>, Pixel> captures[] = {
        { NSColor::redColor(), { 255, 0, 0, 255 } },
        { NSColor::blueColor(), { 0, 0, 255, 255 } },
        { NSColor::redColor(), { 255, 0, 0, 255 } },
    };
    for (const auto& [colour, expected] : captures) {
        handOver(harness.windows[0], nullptr);
        handOver(harness.windows[0], solidImage(CGSizeMake(800, 300), colour));
        world.settle();
        EXPECT_EQ(at(renderPNG(), 0, centre), expected);
    }
    // The same picture in two cells.
    auto shared = solidImage(CGSizeMake(600, 400), NSColor::blueColor());
    handOver(harness.windows[1], shared);
    handOver(harness.windows[2], shared);
    world.settle();
    auto image = renderPNG();
    EXPECT_EQ(at(image, 1, centre), (Pixel { 0, 0, 255, 255 }));
    EXPECT_EQ(at(image, 2, centre), (Pixel { 0, 0, 255, 255 }));
}

TEST_F(GridRendering, ARearrangedListShowsEveryWindowInItsNewPlace)
{
    for (size_t i = 0; i < harness.windows.size(); ++i)
        handOver(harness.windows[i],
            solidImage(CGSizeMake(600, 400), NSColor::colorWithDeviceRed(0.2 * double(i), 0, 1, 1)));
    harness.show();
    harness.key(kVK_RightArrow);
    ASSERT_EQ(harness.selection(), 2u);
    // The list comes back in the opposite order: the selected window stays
    // selected, now in place 2 from the end.
    Value::Array reversed;
    for (auto it = harness.windows.rbegin(); it != harness.windows.rend(); ++it)
        reversed.push_back(Value(*it));
    harness.list->setContent(Value(reversed));
    world.settle();
    ASSERT_EQ(harness.selection(), 2u);
    // Cells that come up capture their windows again: the pictures are
    // handed over once more, so that each place shows whose picture it has.
    for (size_t i = 0; i < harness.windows.size(); ++i)
        handOver(harness.windows[i],
            solidImage(CGSizeMake(600, 400), NSColor::colorWithDeviceRed(0.2 * double(i), 0, 1, 1)));
    world.settle();
    auto image = renderPNG();
    for (size_t place = 0; place < 5; ++place) {
        size_t shown = 4 - place;
        auto cell = harness.cell(place);
        EXPECT_EQ(cell->window(), harness.windows[shown]);
        EXPECT_EQ(cell->titleLabel()->stringValue(), "Window " + std::to_string(shown));
        EXPECT_EQ(cell->badgeBtn()->title(), std::to_string(shown + 1));
        EXPECT_NEAR(at(image, place, { 140, 110 }).r, 51 * int(shown), 2) << "place " << place;
        EXPECT_EQ(cell->isSelected(), place == 2);
        EXPECT_EQ(isGrey(at(image, place, { 10, 100 }), 204), place == 2) << "the highlight, place " << place;
    }
}

// MARK: In the panel

namespace {

// The real panel on the demo desktop, with the grid it makes for layout 0.
struct GridInPanel : public ::testing::Test {
    SimWorld world;
    DefaultsSandbox sandbox;
    TemporaryDirectory directory;
    Ref<WindowManager> model;
    Ref<NSArrayController> list = makeRef<NSArrayController>();
    Ref<SwitchWindowController> controller;

    GridInPanel()
    {
        EBEventful::resetForTesting();
        model = startModelListingEveryWindow(world, list);
    }
    ~GridInPanel() override
    {
        if (controller) controller->_hideWindowWhitOutAnimation();
        world.desktop().setModifierFlags(0);
        world.settle();
        EBEventful::resetForTesting();
    }
    Ref<GridViewController> open()
    {
        world.desktop().setModifierFlags(NSEventModifierFlagOption);
        world.settle();
        controller = SwitchWindowController::create();
        controller->handleHotkeyWithWindowListWithArrayController(list);
        world.settle();
        return std::dynamic_pointer_cast<GridViewController>(controller->currentViewController());
    }
};

}

TEST_F(GridInPanel, ThePanelMakesTheGridForLayoutZeroAndSizesItself)
{
    EXPECT_TRUE(SwitcherLayoutRegistry::hasLayout(SwitcherLayoutGrid));
    auto grid = open();
    ASSERT_TRUE(grid);
    ASSERT_TRUE(controller->window()->isVisible());
    size_t count = list->arrangedObjects().size();
    ASSERT_EQ(count, 10u);
    EXPECT_EQ(grid->collectionView()->numberOfItems(), count);
    EXPECT_EQ(grid->collectionView()->numberOfColumns(), 4u);
    EXPECT_EQ(list->selectionIndex(), 1u);
    CGSize content = grid->getContentSize();
    EXPECT_EQ(content, CGSizeMake(1160, 624));
    EXPECT_EQ(
        controller->window()->frame().size, CGSizeMake(1160, 624 + SwitchWindowController::kExtraHeight));

    // The panel's keys reach the grid.
    NSApp().deliverInputEvent(
        NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, kVK_DownArrow, NSEventModifierFlagOption));
    EXPECT_EQ(list->selectionIndex(), 5u);
    EXPECT_TRUE(grid->collectionView()->itemAtIndex(5)->isSelected());
}

TEST_F(GridInPanel, TheRenderedPanelShowsCellsHighlightAndBadges)
{
    auto grid = open();
    ASSERT_TRUE(grid);
    world.advance(0.5);
    std::string path = directory.file("panel.png");
    ASSERT_TRUE(controller->window()->writeRenderedPNG(path));
    auto image = readPNGFile(path);
    ASSERT_FALSE(image.empty());
    auto cellView = [&](size_t i) { return grid->collectionView()->itemAtIndex(i)->view(); };
    auto at = [&](size_t i, CGPoint p) {
        return pixelAtBase(image, cellView(i)->convertPointToView(p, nullptr));
    };
    // The selected second cell is darker than the first where neither has
    // a preview.
    Pixel selected = at(1, { 10, 100 }), plain = at(0, { 10, 100 });
    EXPECT_LT(selected.r + selected.g + selected.b, plain.r + plain.g + plain.b - 60)
        << selected << " " << plain;
    // The first badge is light grey with a white number.
    CGPoint badge
        = { CGRectGetMidX(GridCellLayout::kBadgeFrame) - 7, CGRectGetMidY(GridCellLayout::kBadgeFrame) };
    EXPECT_TRUE(isGrey(at(0, badge), 170, 6)) << at(0, badge);
    // Every cell whose window has a preview shows it.
    for (size_t i = 0; i < 10; ++i) {
        auto window = list->arrangedObjects()[i].objectAs<SWWindow>();
        if (!window->previewImage()) continue;
        EXPECT_NE(at(i, { 140, 113 }), at(i, { 10, 113 })) << "cell " << i;
    }
}

TEST_F(GridInPanel, TheSnapshotShowsTheGridInBothThemes)
{
    std::string error;
    ASSERT_TRUE(writeSwitcherSnapshot(SwitcherThemeLight, directory.file("light.png"), &error)) << error;
    ASSERT_TRUE(writeSwitcherSnapshot(SwitcherThemeDark, directory.file("dark.png"), &error)) << error;
    auto light = readPNGFile(directory.file("light.png"));
    auto dark = readPNGFile(directory.file("dark.png"));
    ASSERT_FALSE(light.empty());
    ASSERT_EQ(light.width, dark.width);
    // The first cell's preview is the same in both; the panel around it is
    // not. The panel (1160 x 664) is centred in the primary screen's usable
    // area; the first cell starts 20 points in and 20 points down.
    auto panel = CGRectMake((1440 - 1160) / 2.0, 25 + (805 - 664) / 2.0, 1160, 664);
    CGPoint cellTopLeft = { panel.origin.x + 20, panel.origin.y + 20 };
    auto pixel = [&](const DesktopImage& image, CGFloat x, CGFloat y) {
        return pixelAt(image, static_cast<int>(cellTopLeft.x + x), static_cast<int>(cellTopLeft.y + y));
    };
    EXPECT_EQ(pixel(light, 140, 100), pixel(dark, 140, 100)) << "the preview";
    EXPECT_NE(pixel(light, 10, 100), pixel(dark, 10, 100)) << "the backdrop";
    Pixel lightBadge = pixel(light, 253, 20), darkBadge = pixel(dark, 253, 20);
    EXPECT_TRUE(isGrey(lightBadge, 170, 6)) << lightBadge;
    EXPECT_TRUE(isGrey(darkBadge, 85, 6)) << darkBadge;
}
