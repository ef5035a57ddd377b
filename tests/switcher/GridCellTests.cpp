#include "GridHarness.h"

#include <animation/CATextLayer.h>
#include <graphics/NSBitmapImageRep.h>
#include <graphics/NSColor.h>
#include <appkit/NSImageView.h>
#include <appkit/NSValueTransformer.h>
#include <model/NSScreenExtension.h>
#include <switcher/GridCellInterface.h>
#include <switcher/QXImageSizeTransformer.h>
#include <switcher/SwitcherCodes.h>
#include <switcher/WindowButton.h>
#include <switcher/WindowManViewPanel.h>
#include <toolkit/FBFlatButton.h>

namespace {

struct GridCellTest : public ::testing::Test {
    GridCellTest() { sandbox.defaults()->setBool(true, "KeyboardShotcuts"); }
    SimWorld world { scenarioWithWindows(5) };
    DefaultsSandbox sandbox;
    GridHarness harness { world, 5 };

    // A point over a cell's preview, in screen coordinates.
    CGPoint overPreview(size_t index) { return harness.screenPointInCell(index, { 140, 110 }); }
    // The centre of the hover button with the tag in a cell, on the screen.
    CGPoint buttonCentre(size_t index, long tag)
    {
        auto cellView = harness.cell(index)->view();
        auto button = cellView->viewWithTag(tag);
        EXPECT_TRUE(button) << "tag " << tag;
        if (!button) return {};
        CGRect bounds = button->bounds();
        CGPoint base
            = button->convertPointToView(CGPointMake(CGRectGetMidX(bounds), CGRectGetMidY(bounds)), nullptr);
        return harness.panel->convertPointToScreen(base);
    }
    CGRect usableFrame() { return frameWithoutDockOrMenu(*NSScreen::screens().front()); }
};

}

// MARK: Hover

TEST_F(GridCellTest, TheFirstEntryAfterAppearingIsSkippedAndAMoveSelects)
{
    harness.show();
    auto cell = harness.cell(3);
    EXPECT_TRUE(cell->isFirst());
    EXPECT_FALSE(cell->trackingArea()) << "hover tracking starts a moment later";
    world.advance(GridCollectionViewItem::kTrackingDelay + 0.1);
    ASSERT_TRUE(cell->trackingArea());
    EXPECT_EQ(cell->trackingArea()->options(), 0x23u);

    harness.moveMouse(harness.screenPointInCell(3, { 140, 100 }));
    EXPECT_EQ(harness.selection(), 1u) << "the first entry does not select";
    EXPECT_FALSE(cell->isFirst());
    EXPECT_FALSE(cell->closeButton()->isHidden() == false);
    harness.moveMouse(harness.screenPointInCell(3, { 150, 90 }));
    EXPECT_EQ(harness.selection(), 3u);
    EXPECT_TRUE(cell->isSelected());
    EXPECT_FALSE(harness.cell(1)->isSelected());
    EXPECT_FALSE(cell->closeButton()->isHidden());
    EXPECT_FALSE(cell->minimizeButton()->isHidden());
    EXPECT_FALSE(cell->maximizeButton()->isHidden());
    EXPECT_FALSE(cell->windowManPanel()->isHidden());
    EXPECT_TRUE(cell->titleLabel()->isHidden()) << "the hover buttons take the title's place";

    // Leaving the cells hides the buttons again.
    harness.moveMouse(harness.panel->convertPointToScreen(CGPointMake(5, 5)));
    EXPECT_FALSE(cell->isSelected());
    EXPECT_TRUE(cell->closeButton()->isHidden());
    EXPECT_TRUE(cell->windowManPanel()->isHidden());
    EXPECT_FALSE(cell->titleLabel()->isHidden());
}

TEST_F(GridCellTest, KeyboardSelectionShowsTheHighlightButNotTheButtons)
{
    harness.show();
    harness.key(kVK_RightArrow);
    auto cell = harness.cell(2);
    EXPECT_TRUE(cell->isSelected());
    EXPECT_TRUE(cell->closeButton()->isHidden());
    EXPECT_FALSE(cell->titleLabel()->isHidden());
    auto background = cell->view()->layer()->backgroundColor();
    ASSERT_TRUE(background);
    EXPECT_NEAR(CGColorGetAlpha(background), 0.2, 1e-6);
    EXPECT_EQ(cell->view()->layer()->cornerRadius(), GridCollectionViewItem::kCornerRadius);
    harness.key(kVK_RightArrow);
    EXPECT_NEAR(CGColorGetAlpha(cell->view()->layer()->backgroundColor()), 0, 1e-6);
}

TEST_F(GridCellTest, TheCellsShowTheirWindowsTitleBadgeAndShrunkPreview)
{
    harness.show();
    auto cell = harness.cell(2);
    EXPECT_EQ(cell->titleLabel()->stringValue(), "Window 2");
    EXPECT_EQ(cell->badgeBtn()->title(), "3");
    EXPECT_FALSE(cell->badgeBtn()->isHidden());
    auto preview = cell->previewView()->image();
    ASSERT_TRUE(preview) << "the capture started by the record arrived";
    EXPECT_EQ(preview->size(), GridCollectionViewItem::kPreviewSize);
    EXPECT_EQ(
        NSValueTransformer::valueTransformerForName("QXImageSizeTransformer"), harness.cell(4)->previewVT())
        << "the latest cell's transformer holds the name";

    // Windows past the ninth have no number and show no badge.
    harness.windows[2]->setHotkeyIndexText(std::nullopt);
    EXPECT_TRUE(cell->badgeBtn()->isHidden());
    harness.windows[2]->setHotkeyIndexText("");
    EXPECT_TRUE(cell->badgeBtn()->isHidden()) << "the model gives the tenth window on an empty number";
    harness.windows[2]->setHotkeyIndexText("7");
    EXPECT_FALSE(cell->badgeBtn()->isHidden());
    EXPECT_EQ(cell->badgeBtn()->title(), "7");
}

TEST_F(GridCellTest, TheBadgesFollowTheKeyboardShortcutsSwitchAtTheNextOpening)
{
    sandbox.defaults()->setBool(true, "KeyboardShotcuts");
    harness.show();
    EXPECT_FALSE(harness.cell(2)->badgeBtn()->isHidden());
    harness.hide();
    // Turned off in the preferences: the next opening, which keeps the
    // cells, shows no digits.
    sandbox.defaults()->setBool(false, "KeyboardShotcuts");
    harness.layout->setArrayController(harness.list);
    harness.show();
    for (size_t i = 0; i < 5; ++i)
        EXPECT_TRUE(harness.cell(i)->badgeBtn()->isHidden()) << i;
    // On again, while the panel is up.
    sandbox.defaults()->setBool(true, "KeyboardShotcuts");
    EXPECT_FALSE(harness.cell(2)->badgeBtn()->isHidden());
    EXPECT_EQ(harness.cell(2)->badgeBtn()->title(), "3");
}

// A cell that comes up shows its window as it is now: every cell captures
// again, a picture taken long ago is replaced, and a minimised window whose
// record has no picture gets the faded one.
TEST_F(GridCellTest, CellsThatComeUpCaptureTheirWindowsAgainMinimisedOnesFaded)
{
    harness.windows[4]->minimize();
    world.settle();
    auto stale = NSImage::create();
    for (auto& [index, picture] : { std::pair { 1, stale }, std::pair { 4, Ref<NSImage>() } }) {
        harness.windows[index]->willChangeValueForKey("previewImage");
        harness.windows[index]->setPreviewImage(picture);
        harness.windows[index]->didChangeValueForKey("previewImage");
    }
    world.desktop().clearCallLog();
    harness.show();
    world.settle();
    EXPECT_EQ(world.desktop().countCalls("CGWindowListCreateImage"), 5u);
    EXPECT_TRUE(harness.windows[1]->previewImage());
    EXPECT_NE(harness.windows[1]->previewImage(), stale);
    auto faded = harness.windows[4]->previewImage();
    ASSERT_TRUE(faded) << "the minimised window's picture";
    auto rep = dynamicRef<NSBitmapImageRep>(faded->representations().front());
    ASSERT_TRUE(rep);
    EXPECT_NEAR(rep->colorAtX(rep->pixelsWide() / 2, rep->pixelsHigh() / 2)->alphaComponent(), 0.8, 1.0 / 255);
    EXPECT_EQ(harness.cell(4)->previewView()->image() != nullptr, true) << "and the cell shows it";
}

// Every cell that comes up refreshes its window, and a refresh announces the
// picture and the title even when the capture came out the same: the panel
// must not be drawn again for that, but a new picture or title is drawn.
TEST_F(GridCellTest, ARefreshThatChangesNothingDrawsNothingAndAChangeIsDrawn)
{
    harness.show();
    world.settle();
    auto cell = harness.cell(2);
    auto& window = harness.windows[2];
    auto shown = cell->previewView()->image();
    ASSERT_TRUE(shown);
    auto announce = [&](const char* key) {
        harness.panel->displayIfNeeded();
        window->willChangeValueForKey(key);
        window->didChangeValueForKey(key);
    };
    announce("previewImage");
    announce("title");
    EXPECT_FALSE(harness.panel->viewsNeedDisplay());
    EXPECT_EQ(cell->previewView()->image(), shown);

    window->updatePreview();
    world.settle();
    EXPECT_EQ(cell->previewView()->image(), shown) << "an unchanged window keeps its shrunk copy";

    world.desktop().setWindowTitle(102, "Renamed");
    announce("title");
    EXPECT_TRUE(cell->titleLabel()->needsDisplay());
    EXPECT_EQ(cell->titleLabel()->stringValue(), "Renamed");
    harness.panel->displayIfNeeded();
    window->willChangeValueForKey("previewImage");
    window->setPreviewImage(NSImage::create(CGSizeMake(64, 40)));
    window->didChangeValueForKey("previewImage");
    EXPECT_TRUE(cell->previewView()->needsDisplay());
    EXPECT_NE(cell->previewView()->image(), shown);
}

TEST_F(GridCellTest, TheBadgeIsStyledForTheTheme)
{
    sandbox.defaults()->setInteger(SwitcherThemeUltraDark, "ThemeIndex");
    harness.show();
    auto badge = harness.cell(0)->badgeBtn();
    EXPECT_TRUE(CGColorEqualToColor(badge->layer()->backgroundColor(), NSColor::darkGrayColor()->CGColor()));
    EXPECT_EQ(badge->layer()->cornerRadius(), 10);
    EXPECT_EQ(badge->layer()->borderWidth(), 2);
    EXPECT_TRUE(
        CGColorEqualToColor(badge->titleLayer()->foregroundColor(), NSColor::whiteColor()->CGColor()));
    EXPECT_TRUE(CGColorEqualToColor(badge->layer()->borderColor(), NSColor::whiteColor()->CGColor()));
}

TEST_F(GridCellTest, ClickingTheBadgeLeavesItShowing)
{
    sandbox.defaults()->setInteger(SwitcherThemeUltraDark, "ThemeIndex");
    harness.showAndTrack();
    auto badge = harness.cell(2)->badgeBtn();
    CGRect bounds = badge->bounds();
    CGPoint centre = harness.panel->convertPointToScreen(
        badge->convertPointToView(CGPointMake(CGRectGetMidX(bounds), CGRectGetMidY(bounds)), nullptr));
    harness.click(centre);
    EXPECT_EQ(badge->state(), NSControlStateValueOff);
    EXPECT_TRUE(CGColorEqualToColor(badge->layer()->backgroundColor(), NSColor::darkGrayColor()->CGColor()));
    EXPECT_TRUE(
        CGColorEqualToColor(badge->titleLayer()->foregroundColor(), NSColor::whiteColor()->CGColor()));
}

// MARK: Hover buttons

TEST_F(GridCellTest, EveryCellsButtonsShareOneGlyphPerPlaceEachFilledOnItsSide)
{
    harness.show();
    auto glyphOf = [&](size_t cell, long tag) {
        auto button = dynamicRef<NSButton>(harness.cell(cell)->view()->viewWithTag(tag));
        return button ? button->image() : nullptr;
    };
    // The filled part of a position glyph: white and opaque inside the
    // screen outline (22 x 14, row 7 from the top).
    auto filledAt = [](const Ref<NSImage>& glyph, long x) {
        auto pixels = glyph ? glyph->CGImageForProposedRect(nullptr, nullptr) : nullptr;
        return pixels && pixelAt(pixels, x, 7).a == 255;
    };
    using Item = GridCollectionViewItem;
    for (long tag : { Item::TagClose, Item::TagMinimize, Item::TagMaximize, Item::TagLeft30, Item::TagLeftHalf,
             Item::TagLeft60, Item::TagCenter, Item::TagRight60, Item::TagRightHalf, Item::TagRight30 }) {
        ASSERT_TRUE(glyphOf(0, tag)) << tag;
        EXPECT_EQ(glyphOf(0, tag), glyphOf(4, tag)) << "tag " << tag << ": drawn again for another cell";
    }
    EXPECT_NE(glyphOf(0, Item::TagClose), glyphOf(0, Item::TagMaximize));
    EXPECT_TRUE(filledAt(glyphOf(0, Item::TagLeft30), 4));
    EXPECT_FALSE(filledAt(glyphOf(0, Item::TagLeft30), 17));
    EXPECT_TRUE(filledAt(glyphOf(0, Item::TagRight30), 17));
    EXPECT_FALSE(filledAt(glyphOf(0, Item::TagRight30), 4));
    EXPECT_TRUE(filledAt(glyphOf(0, Item::TagLeft60), 11));
    EXPECT_FALSE(filledAt(glyphOf(0, Item::TagRightHalf), 9));
    EXPECT_TRUE(filledAt(glyphOf(0, Item::TagRightHalf), 13));
}

TEST_F(GridCellTest, EachPositionButtonMovesItsWindowThere)
{
    harness.showAndTrack();
    harness.hover(0);
    ASSERT_FALSE(harness.cell(0)->windowManPanel()->isHidden());
    const std::pair<long, WindowPosition> buttons[] = {
        { 400, WindowPositionLeft30 },
        { 500, WindowPositionLeftHalf },
        { 600, WindowPositionLeft60 },
        { 700, WindowPositionCenter },
        { 800, WindowPositionRight60 },
        { 900, WindowPositionRightHalf },
        { 1000, WindowPositionRight30 },
    };
    auto screen = NSScreen::screens().front();
    for (const auto& [tag, position] : buttons) {
        world.desktop().setWindowFrame(100, CGRectMake(300, 200, 500, 300));
        harness.click(buttonCentre(0, tag));
        EXPECT_EQ(harness.desktopFrame(0), SWWindow::resizedFrameForPosition(position, screen))
            << "tag " << tag << " moves to position " << position;
        EXPECT_EQ(harness.desktopFrame(1), CGRectMake(70, 80, 600, 400)) << "other windows stay";
    }
    CGRect right30 = harness.desktopFrame(0);
    EXPECT_NEAR(right30.origin.x, 1008, 1e-6) << "right 30 % of the usable frame";
    EXPECT_NEAR(right30.size.width, 432, 1e-6);
    EXPECT_EQ(right30.size.height, 875);
}

TEST_F(GridCellTest, TheWindowButtonsCloseMinimiseAndMaximise)
{
    harness.showAndTrack();
    harness.hover(1);
    harness.click(buttonCentre(1, GridCollectionViewItem::TagMaximize));
    EXPECT_EQ(harness.desktopFrame(1), usableFrame());

    harness.hover(2);
    harness.click(buttonCentre(2, GridCollectionViewItem::TagMinimize));
    ASSERT_TRUE(world.desktop().window(102));
    EXPECT_TRUE(world.desktop().window(102)->minimized);

    harness.hover(3);
    harness.click(buttonCentre(3, GridCollectionViewItem::TagClose));
    EXPECT_FALSE(world.desktop().window(103)) << "closed";
    EXPECT_TRUE(world.desktop().window(104));
}

TEST_F(GridCellTest, AClickOnThePreviewSwitchesToTheWindow)
{
    harness.showAndTrack();
    harness.hover(4);
    harness.click(overPreview(4));
    EXPECT_EQ(world.desktop().focusedWindow(), 104u);
    EXPECT_EQ(world.desktop().frontmostApplication(), 1004);
}

TEST_F(GridCellTest, EveryActionRefreshesThePreviewAndUnknownTagsDoNothingElse)
{
    harness.show();
    auto cell = harness.cell(0);
    world.desktop().clearCallLog();
    auto stray = makeRef<NSButton>(CGRectMake(0, 0, 10, 10));
    stray->setTag(123);
    cell->windowAction(stray);
    world.settle();
    EXPECT_EQ(world.desktop().countCalls("AXUIElementSetAttributeValue"), 0u);
    EXPECT_EQ(world.desktop().countCalls("CGWindowListCreateImage"), 1u) << "the preview is captured again";
}

TEST_F(GridCellTest, HoverButtonsBrightenUnderTheMouse)
{
    harness.showAndTrack();
    harness.hover(0);
    auto close = harness.cell(0)->closeButton();
    EXPECT_DOUBLE_EQ(close->alphaValue(), WindowButton::kRestingAlpha);
    ASSERT_EQ(close->trackingAreas().size(), 1u) << "rebuilt, not added again, at every geometry change";
    harness.moveMouse(buttonCentre(0, GridCollectionViewItem::TagClose));
    world.advance(0.5);
    EXPECT_DOUBLE_EQ(close->alphaValue(), WindowButton::kHoverAlpha);
    harness.moveMouse(overPreview(0));
    world.advance(0.5);
    EXPECT_DOUBLE_EQ(close->alphaValue(), WindowButton::kRestingAlpha);
    EXPECT_DOUBLE_EQ(makeRef<WindowButton>()->alphaValue(), WindowButton::kInitAlpha);
}

// MARK: Scroll gestures

TEST_F(GridCellTest, HorizontalScrollsMoveTheHoveredWindowToAHalf)
{
    harness.showAndTrack();
    harness.hover(2);
    harness.scroll(overPreview(2), 5, 1);
    EXPECT_EQ(harness.desktopFrame(2), CGRectMake(0, 25, 720, 875)) << "a scroll to the right: left half";
    harness.scroll(overPreview(2), -5, 1);
    EXPECT_EQ(harness.desktopFrame(2), CGRectMake(720, 25, 720, 875)) << "to the left: right half";
    harness.scroll(overPreview(2), 5, 0, true);
    EXPECT_EQ(harness.desktopFrame(2), CGRectMake(720, 25, 720, 875)) << "inverted from the device";
    harness.scroll(overPreview(2), -5, 0, true);
    EXPECT_EQ(harness.desktopFrame(2), CGRectMake(0, 25, 720, 875));
    world.desktop().setWindowFrame(102, CGRectMake(300, 200, 500, 300));
    harness.scroll(overPreview(2), 1.5, 0.5);
    EXPECT_EQ(harness.desktopFrame(2), CGRectMake(300, 200, 500, 300)) << "too small to count";
    EXPECT_EQ(harness.desktopFrame(1), CGRectMake(70, 80, 600, 400)) << "only the hovered window";
}

TEST_F(GridCellTest, VerticalScrollsMaximiseAndMinimise)
{
    harness.showAndTrack();
    harness.hover(1);
    harness.scroll(overPreview(1), 1, 6);
    EXPECT_EQ(harness.desktopFrame(1), usableFrame());
    EXPECT_FALSE(world.desktop().window(101)->minimized);
    harness.scroll(overPreview(1), 0, -6);
    EXPECT_TRUE(world.desktop().window(101)->minimized);
}

TEST_F(GridCellTest, TheScrollMonitorBelongsToTheHoveredCellAlone)
{
    harness.showAndTrack();
    size_t baseline = NSApp().localMonitorCount();
    harness.hover(0);
    for (int i = 0; i < 5; ++i)
        harness.moveMouse(harness.screenPointInCell(0, { 100.0 + i, 100 }));
    EXPECT_EQ(NSApp().localMonitorCount(), baseline + 1) << "one monitor however often the mouse moves";
    EXPECT_TRUE(harness.cell(0)->hasScrollMonitor());

    // Over the next cell the gesture acts on that cell's window only.
    harness.hover(1);
    EXPECT_FALSE(harness.cell(0)->hasScrollMonitor());
    EXPECT_EQ(NSApp().localMonitorCount(), baseline + 1);
    harness.scroll(overPreview(1), 5, 0);
    EXPECT_EQ(harness.desktopFrame(1), CGRectMake(0, 25, 720, 875));
    EXPECT_EQ(harness.desktopFrame(0), CGRectMake(40, 60, 600, 400));
}

TEST_F(GridCellTest, ClosingThePanelRemovesItsMonitors)
{
    size_t before = NSApp().localMonitorCount();
    harness.showAndTrack();
    harness.hover(0);
    EXPECT_EQ(NSApp().localMonitorCount(), before + 2)
        << "the grid's key monitor and the cell's scroll monitor";
    harness.hide();
    EXPECT_EQ(NSApp().localMonitorCount(), before);
    EXPECT_FALSE(harness.cell(0)->hasScrollMonitor());

    // Scrolling over another window of the application afterwards leaves
    // the window of the cell that was hovered alone.
    auto other = makeRef<NSWindow>(CGRectMake(0, 0, 1440, 900), NSWindowStyleMaskTitled);
    other->makeKeyAndOrderFront(nullptr);
    world.settle();
    harness.scroll(CGPointMake(700, 450), 6, 0);
    harness.scroll(CGPointMake(700, 450), 0, -6);
    EXPECT_EQ(harness.desktopFrame(0), CGRectMake(40, 60, 600, 400));
    EXPECT_FALSE(world.desktop().window(100)->minimized);

    // Showing again starts afresh.
    other->orderOut(nullptr);
    harness.showAndTrack();
    harness.hover(0);
    harness.scroll(overPreview(0), 0, -6);
    EXPECT_TRUE(world.desktop().window(100)->minimized);
}
