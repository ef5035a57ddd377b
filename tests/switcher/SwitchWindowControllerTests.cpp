#include "PanelTestSupport.h"

#include <appkit/NSNib.h>
#include <appkit/NSScreen.h>
#include <appkit/NSVisualEffectView.h>
#include <appkit/NSWorkspace.h>
#include <foundation/Log.h>
#include <graphics/CGContext.h>
#include <services/CGWindow.h>
#include <switcher/KeyAndMouseEventView.h>
#include <support/TemporaryDirectory.h>
#include <graphics/NSBitmapImageRep.h>
#include <graphics/NSColor.h>
#include <graphics/NSImage.h>
#include <toolkit/NSImageStackBlur.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// The demo desktop's screens in screen coordinates (bottom-left origin).
const CGRect kPrimaryScreen = CGRectMake(0, 0, 1440, 900);
const CGRect kPrimaryVisible = CGRectMake(0, 70, 1440, 805);
const CGRect kSecondScreen = CGRectMake(1440, -180, 1920, 1080);
const CGRect kSecondVisible = CGRectMake(1440, -180, 1920, 1055);

// Where centring puts a frame of the size in a visible frame.
CGPoint centredOrigin(CGSize size, CGRect visible)
{
    return { std::floor(visible.origin.x + (visible.size.width - size.width) / 2),
        std::floor(visible.origin.y + (visible.size.height - size.height) / 2) };
}

// An image's pixels, four bytes each, for reading.
struct ImagePixels {
    explicit ImagePixels(const Ref<NSImage>& image)
    {
        auto cg = NSImageStackBlur::CGImage(image);
        rep = NSBitmapImageRep::createWithCGImage(cg);
        width = static_cast<long>(CGImageGetWidth(cg));
        height = static_cast<long>(CGImageGetHeight(cg));
    }
    const uint8_t* at(long x, long y) const { return rep->bitmapData() + y * rep->bytesPerRow() + x * 4; }
    Ref<NSBitmapImageRep> rep;
    long width { 0 };
    long height { 0 };
};

// The largest difference between horizontally neighbouring pixels of an
// image, over the colour channels: a blurred picture has far smaller steps.
int largestStep(const Ref<NSImage>& image)
{
    ImagePixels pixels(image);
    int step = 0;
    for (long y = 0; y < pixels.height; y += 7)
        for (long x = 1; x < pixels.width; ++x) {
            const uint8_t* p = pixels.at(x, y);
            int difference = 0;
            for (int c = 0; c < 3; ++c)
                difference += std::abs(int(p[c]) - int(p[c - 4]));
            step = std::max(step, difference);
        }
    return step;
}

Ref<NSArrayController> listOf(const std::vector<Ref<SWWindow>>& windows, size_t count)
{
    Value::Array content;
    for (size_t i = 0; i < count && i < windows.size(); ++i)
        content.emplace_back(windows[i]);
    return makeRef<NSArrayController>(content);
}

}

// MARK: Construction

TEST_F(PanelTest, TheInterfaceFileGivesAnUntitledFloatingPanel)
{
    makeController();
    auto window = controller->window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(dynamic_cast<BaseWindow*>(window.get()));
    EXPECT_EQ(window->windowController(), controller.get());
    EXPECT_EQ(window->identifier(), "SwitcherWindowIdentifier");
    EXPECT_EQ(window->level(), NSFloatingWindowLevel);
    EXPECT_EQ(window->titleVisibility(), NSWindowTitleVisibility::Hidden);
    EXPECT_EQ(window->styleMask(), NSWindowStyleMaskFullSizeContentView)
        << "the titled flag goes, the rest stays";
    EXPECT_TRUE(window->isExcludedFromWindowsMenu());
    EXPECT_TRUE(window->canBecomeKeyWindow());
    EXPECT_TRUE(window->canBecomeMainWindow());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(controller->numKeyStrArray(),
        (std::vector<std::string> { "1", "2", "3", "4", "5", "6", "7", "8", "9", "0" }));
    EXPECT_EQ(controller->showDelay(), 0.0);
}

TEST_F(PanelTest, AWindowWithoutTheTitledFlagKeepsItsStyle)
{
    // Taking one off the style mask would turn closable into titled here.
    NSNib::registerNibNamed("SwitchWindowController", [](NSObject& owner) {
        auto& controller = dynamic_cast<SwitchWindowController&>(owner);
        controller.setWindow(makeRef<BaseWindow>(
            CGRectMake(0, 0, 300, 200), NSWindowStyleMaskClosable | NSWindowStyleMaskResizable));
    });
    makeController();
    NSNib::registerNibNamed("SwitchWindowController", SwitchWindowController::buildInterfaceFile);
    EXPECT_EQ(controller->window()->styleMask(), NSWindowStyleMaskClosable | NSWindowStyleMaskResizable);
}

TEST_F(PanelTest, TheBackdropFillsTheContentViewWithRoundedCorners)
{
    defaults()->setInteger(SwitcherThemeUltraDark, "ThemeIndex");
    makeController();
    auto effect = controller->visualEffectView();
    ASSERT_TRUE(effect);
    auto content = controller->window()->contentView();
    EXPECT_EQ(effect->superview(), content.get());
    EXPECT_EQ(effect->material(), NSVisualEffectMaterialUltraDark);
    EXPECT_EQ(effect->state(), NSVisualEffectStateActive);
    EXPECT_EQ(effect->blendingMode(), NSVisualEffectBlendingModeBehindWindow);
    ASSERT_TRUE(effect->layer());
    EXPECT_EQ(effect->layer()->cornerRadius(), 16);
    EXPECT_TRUE(effect->layer()->masksToBounds());
    controller->window()->setFrame(CGRectMake(0, 0, 500, 300), false);
    controller->window()->layoutIfNeeded();
    EXPECT_EQ(effect->frame(), CGRectMake(0, 0, 500, 300));
}

TEST_F(PanelTest, ThemesPickAppearanceAndMaterial)
{
    makeController();
    const std::tuple<int, int, NSVisualEffectMaterial, std::string> cases[] = {
        { SwitcherThemeLight, 1, NSVisualEffectMaterialLight, NSAppearanceNameVibrantLight },
        { SwitcherThemeDark, 0, NSVisualEffectMaterialDark, NSAppearanceNameVibrantDark },
        { SwitcherThemeUltraDark, 0, NSVisualEffectMaterialUltraDark, NSAppearanceNameVibrantDark },
        { 7, 0, NSVisualEffectMaterialUltraDark, NSAppearanceNameVibrantDark },
        { -1, 1, NSVisualEffectMaterialUltraDark, NSAppearanceNameVibrantLight },
    };
    for (const auto& [theme, currentTheme, material, appearance] : cases) {
        defaults()->setInteger(theme, "ThemeIndex");
        controller->setupWindowAppearance();
        EXPECT_EQ(controller->currentTheme(), currentTheme) << "theme " << theme;
        EXPECT_EQ(controller->visualEffectView()->material(), material) << "theme " << theme;
        EXPECT_EQ(controller->window()->appearance(), appearance) << "theme " << theme;
    }
}

TEST_F(PanelTest, TheControllerListensForQuitHideAndListChanges)
{
    makeController();
    auto& bus = EBEventful::sharedInstance();
    for (EBEventId id : { QuitAppKeyEvent, HideAppKeyEvent, WindowListChangedEvent }) {
        auto receivers = bus.receiversForEvent(id);
        ASSERT_EQ(receivers.size(), 1u) << id;
        EXPECT_EQ(receivers.front()->object(), controller) << id;
    }
    EXPECT_TRUE(bus.receiversForEvent(ControlArrowKeyEvent).empty());
    const NSObject* identity = controller.get();
    controller.reset();
    EXPECT_TRUE(bus.eventIdsForReceiver(identity).empty()) << "a controller that goes stops receiving";
}

// MARK: Layouts

TEST_F(PanelTest, TheFirstLayoutComesFromTheRegistry)
{
    makeController();
    EXPECT_EQ(controller->layoutType(), SwitcherLayoutGrid);
    ASSERT_EQ(layouts.size(), 1u);
    EXPECT_EQ(controller->currentViewController(), layouts[0]);
    auto content = controller->window()->contentView();
    auto view = layouts[0]->view();
    EXPECT_EQ(view->superview(), content.get());
    EXPECT_FALSE(view->translatesAutoresizingMaskIntoConstraints());
    ASSERT_GE(content->subviews().size(), 2u);
    EXPECT_EQ(content->subviews()[0], controller->visualEffectView()) << "the layout lies above the backdrop";
}

TEST_F(PanelTest, TheLayoutSitsTwentyPointsLowerAtBothEdges)
{
    makeController();
    auto window = controller->window();
    window->setFrame(CGRectMake(0, 0, 640, 300), false);
    window->layoutIfNeeded();
    // Unflipped content view: 20 points lower is 20 points down in y.
    EXPECT_EQ(layouts[0]->view()->frame(), CGRectMake(0, -20, 640, 300));
}

TEST_F(PanelTest, AnotherValidLayoutTypeSwapsTheLayoutAtTheNextOpening)
{
    startModel();
    pressHotkey();
    auto first = layouts.at(0);
    controller->_hideWindowWhitOutAnimation();
    defaults()->setInteger(SwitcherLayoutList, "LayoutType");
    pressHotkey();
    EXPECT_EQ(controller->layoutType(), SwitcherLayoutList);
    ASSERT_EQ(layouts.size(), 2u);
    EXPECT_EQ(controller->currentViewController(), layouts[1]);
    EXPECT_EQ(layouts[1]->code, SwitcherLayoutList);
    EXPECT_EQ(first->view()->superview(), nullptr) << "the old layout's view leaves the panel";
    EXPECT_EQ(layouts[1]->view()->superview(), controller->window()->contentView().get());
    EXPECT_EQ(layouts[1]->arrayController, arrayController);
    EXPECT_EQ(layouts[1]->calls.back(), "selectSecond");

    controller->setCurrentViewController(layouts[1]);
    EXPECT_EQ(layouts.size(), 2u);
    controller->setLayoutType(SwitcherLayoutList);
    EXPECT_EQ(layouts.size(), 2u) << "the same code makes no new layout";
}

TEST_F(PanelTest, InvalidOrUnavailableLayoutTypesKeepTheLayout)
{
    // A factory that makes nothing stands in for a carousel that is missing.
    registrations.push_back(SwitcherLayoutRegistry::registerLayout(SwitcherLayoutCarousel, [] { return nullptr; }));
    startModel();
    pressHotkey();
    auto grid = controller->currentViewController();
    for (SwitcherLayout code :
        { SwitcherLayout(7), SwitcherLayout(-1), SwitcherLayout(SwitcherLayoutCarousel) }) {
        controller->_hideWindowWhitOutAnimation();
        defaults()->setInteger(code, "LayoutType");
        pressHotkey();
        EXPECT_EQ(controller->layoutType(), SwitcherLayoutGrid) << "the type names the layout shown";
        EXPECT_EQ(controller->currentViewController(), grid) << code;
        EXPECT_EQ(layouts.size(), 1u) << code;
        EXPECT_TRUE(panelVisible());
        // The grid keeps its own size: a carousel code with no carousel
        // does not stretch it over the screen.
        EXPECT_EQ(panelFrame().size, CGSizeMake(600, 240)) << code;
    }
}

TEST_F(PanelTest, WithNoLayoutAtAllThePanelStaysEmpty)
{
    // The grid registers itself for the life of the program; a factory that
    // makes nothing stands in front of it.
    registrations.clear();
    registrations.push_back(SwitcherLayoutRegistry::registerLayout(SwitcherLayoutGrid, [] { return nullptr; }));
    startModel();
    pressHotkey();
    EXPECT_EQ(controller->currentViewController(), nullptr);
    EXPECT_TRUE(panelVisible());
    EXPECT_EQ(panelFrame().size, CGSizeMake(0, 40));
}

// MARK: Sizing

TEST_F(PanelTest, HintsAddTwentyPointsForTwoOrMoreWindows)
{
    startModel();
    auto windows = arrangedWindows();
    ASSERT_GE(windows.size(), 2u);
    const std::tuple<bool, size_t, CGFloat> cases[] = {
        { true, 1, 40 },
        { true, 2, 60 },
        { true, windows.size(), 60 },
        { false, 1, 40 },
        { false, 2, 40 },
        { false, windows.size(), 40 },
    };
    makeController();
    for (const auto& [hints, count, extra] : cases) {
        defaults()->setBool(hints, "ShotcutsHints");
        controller->_hideWindowWhitOutAnimation();
        pressHotkey(listOf(windows, count));
        CGSize size = { 600, 200 + extra };
        EXPECT_EQ(panelFrame(), (CGRect { centredOrigin(size, kPrimaryVisible), size }))
            << "hints " << hints << ", " << count << " windows";
    }
}

TEST_F(PanelTest, ANegativeContentHeightLeavesOnlyTheMargins)
{
    // A layout measures a negative height when it finds no screen.
    for (const auto& screen : NSScreen::screens())
        world.desktop().removeScreen(screen->displayID());
    startModel();
    makeController();
    layout()->contentSize = CGSizeMake(1160, -100);
    defaults()->setBool(true, "ShotcutsHints");
    pressHotkey(makeRef<NSArrayController>());
    EXPECT_EQ(panelFrame().size, CGSizeMake(1160, 40));
}

TEST_F(PanelTest, TheListResizesTheOpenPanel)
{
    startModel();
    auto windows = arrangedWindows();
    auto list = listOf(windows, 3);
    defaults()->setBool(true, "ShotcutsHints");
    pressHotkey(list);
    layout()->contentSize = CGSizeMake(700, 300);
    int requests = layout()->contentSizeRequests;
    list->setContent(Value(Value::Array { Value(windows[0]) }));
    EXPECT_GT(layout()->contentSizeRequests, requests);
    EXPECT_EQ(panelFrame().size, CGSizeMake(700, 340));

    controller->_hideWindowWhitOutAnimation();
    requests = layout()->contentSizeRequests;
    list->setContent(Value(Value::Array { Value(windows[0]), Value(windows[1]) }));
    EXPECT_EQ(layout()->contentSizeRequests, requests) << "a hidden panel is not resized";
}

TEST_F(PanelTest, AReplacedArrayControllerIsNoLongerObserved)
{
    startModel();
    auto windows = arrangedWindows();
    auto first = listOf(windows, 3);
    auto second = listOf(windows, 2);
    pressHotkey(first);
    EXPECT_EQ(first->observerCount("arrangedObjects"), 1u);
    EXPECT_EQ(first->sortDescriptors().size(), 1u);
    controller->_hideWindowWhitOutAnimation();
    pressHotkey(second);
    EXPECT_EQ(controller->arrayController(), second);
    EXPECT_EQ(first->observerCount("arrangedObjects"), 0u);
    EXPECT_EQ(second->observerCount("arrangedObjects"), 1u);
    ASSERT_EQ(second->sortDescriptors().size(), 1u);
    EXPECT_EQ(second->sortDescriptors()[0]->key(), "sortOrder");
    EXPECT_TRUE(second->sortDescriptors()[0]->ascending());
}

TEST_F(PanelTest, AHotkeyWhileOpenResizesAndStepsForward)
{
    startModel();
    pressHotkey();
    EXPECT_EQ(arrayController->selectionIndex(), 1u);
    layout()->contentSize = CGSizeMake(800, 400);
    auto other = listOf(arrangedWindows(), 2);
    pressHotkey(other);
    EXPECT_EQ(arrayController->selectionIndex(), 2u);
    EXPECT_EQ(controller->arrayController(), arrayController) << "the list passed in is ignored";
    EXPECT_EQ(panelFrame().size, CGSizeMake(800, 440));
    EXPECT_EQ(layout()->calls.back(), "selectNext");
}

// MARK: Full screen

TEST_F(PanelTest, FullScreenFillsTheScreenOverTheBlurredPicture)
{
    defaults()->setBool(true, "FullScreenMode");
    startModel();
    pressHotkey();
    world.settle();
    auto window = controller->window();
    EXPECT_EQ(window->frame(), kPrimaryScreen) << "the content size at the origin";
    EXPECT_EQ(window->styleMask(), NSWindowStyleMaskBorderless);
    EXPECT_EQ(window->level(), 1000);
    EXPECT_TRUE(controller->visualEffectView()->isHidden());
    ASSERT_TRUE(window->backgroundColor());
    ASSERT_TRUE(window->backgroundColor()->isPattern());
    auto pattern = window->backgroundColor()->patternImage();
    EXPECT_EQ(pattern->size(), kPrimaryScreen.size);

    auto path = NSWorkspace::sharedWorkspace().desktopImageURLForScreen(NSScreen::screens()[0]);
    ASSERT_TRUE(path);
    auto picture = NSImage::imageWithContentsOfFile(*path);
    picture->setSize(kPrimaryScreen.size);
    EXPECT_LT(largestStep(pattern) * 3, largestStep(NSImageStackBlur::normalize(picture)));
}

// The mean of the colour channels over an image, 0 to 255.
double meanLevel(const Ref<NSImage>& image)
{
    ImagePixels pixels(image);
    double sum = 0;
    long n = 0;
    for (long y = 0; y < pixels.height; y += 5)
        for (long x = 0; x < pixels.width; x += 5, ++n) {
            const uint8_t* p = pixels.at(x, y);
            sum += (p[0] + p[1] + p[2]) / 3.0;
        }
    return n ? sum / static_cast<double>(n) : 0;
}

TEST_F(PanelTest, TheFullScreenPictureTakesTheThemesTint)
{
    defaults()->setBool(true, "FullScreenMode");
    startModel();
    auto patternIn = [&](SwitcherTheme theme) {
        defaults()->setInteger(theme, "ThemeIndex");
        pressHotkey();
        world.settle();
        auto pattern = controller->window()->backgroundColor()->patternImage();
        controller->_hideWindowWhitOutAnimation();
        releaseModifiers();
        world.settle();
        return pattern;
    };
    // The demo picture is dark: the light theme's black text needs the
    // light tint over it, the dark themes' white text a dark one.
    auto light = patternIn(SwitcherThemeLight);
    ASSERT_TRUE(light);
    EXPECT_GT(meanLevel(light), 190);
    auto dark = patternIn(SwitcherThemeUltraDark);
    ASSERT_TRUE(dark);
    EXPECT_LT(meanLevel(dark), 40);
    EXPECT_EQ(patternIn(SwitcherThemeUltraDark), dark) << "tinted again for the same picture and theme";
}

TEST_F(PanelTest, OnAScreenWithoutAPictureTheFullScreenPanelBlursWhatLiesBeneath)
{
    auto screens = world.desktop().screens();
    for (const auto& screen : screens)
        world.desktop().removeScreen(screen.displayID);
    for (const auto& screen : screens)
        world.desktop().addScreen(screen.frame, screen.visibleFrame, "");
    ASSERT_FALSE(NSWorkspace::sharedWorkspace().desktopImageURLForScreen(NSScreen::screens()[0]));
    defaults()->setInteger(SwitcherLayoutCarousel, "LayoutType");
    startModel();
    world.desktop().clearCallLog();
    pressHotkey();
    world.settle();
    EXPECT_EQ(panelFrame(), kPrimaryScreen);
    auto effect = controller->visualEffectView();
    EXPECT_FALSE(effect->isHidden());
    EXPECT_EQ(effect->layer()->cornerRadius(), 0) << "no corner shows the windows beneath";
    EXPECT_EQ(world.desktop().countCalls("captureBelowOwnWindow"), 1u);
    ASSERT_TRUE(effect->backdrop());
    EXPECT_EQ(effect->backdropArea(), CGRectInset(NSScreenFlipRect(kPrimaryScreen),
        -NSVisualEffectView::kBackdropBlurRadius, -NSVisualEffectView::kBackdropBlurRadius));
    // Back in the floating panel, the corners are round again.
    controller->_hideWindowWhitOutAnimation();
    releaseModifiers();
    defaults()->setInteger(SwitcherLayoutGrid, "LayoutType");
    pressHotkey();
    world.settle();
    EXPECT_FALSE(effect->isHidden());
    EXPECT_EQ(effect->layer()->cornerRadius(), SwitchWindowController::kCornerRadius);
}

TEST_F(PanelTest, TheCarouselsFirstFrameAfterTheHotkeyShowsItsCards)
{
    defaults()->setInteger(SwitcherLayoutCarousel, "LayoutType");
    startModel();
    for (bool animated : { true, false }) {
        SCOPED_TRACE(animated);
        defaults()->setBool(animated, "Animation3D");
        pressHotkey();
        // Turn by turn with no time passing, until the panel's first frame
        // is with the desktop: no timer of the carousel has run yet.
        auto window = controller->window();
        auto& loop = RunLoop::main();
        while (!(window->isVisible() && window->windowNumber() != 0 && !window->viewsNeedDisplay()))
            ASSERT_TRUE(loop.runOnce());
        // Hit testing follows what was painted: the front card is there.
        auto content = window->contentView();
        auto hit = content->hitTest({ CGRectGetMidX(content->bounds()), CGRectGetMidY(content->bounds()) });
        while (hit && !std::dynamic_pointer_cast<KeyAndMouseEventView>(hit))
            hit = hit->superview() ? hit->superview()->selfRef<NSView>() : nullptr;
        EXPECT_TRUE(hit);
        controller->_hideWindowWhitOutAnimation();
        releaseModifiers();
        world.settle();
    }
}

TEST_F(PanelTest, TheDesktopPictureIsReadOncePerChangeOfTheFile)
{
    // A copy of the demo picture the test may rewrite.
    auto original = NSWorkspace::sharedWorkspace().desktopImageURLForScreen(NSScreen::screens()[0]);
    ASSERT_TRUE(original);
    TemporaryDirectory directory;
    std::filesystem::path copy = directory.file("picture.png");
    std::filesystem::copy_file(*original, copy);
    // The primary screen again, now showing the copy.
    auto screens = world.desktop().screens();
    for (const auto& screen : screens)
        world.desktop().removeScreen(screen.displayID);
    for (const auto& screen : screens)
        world.desktop().addScreen(screen.frame, screen.visibleFrame, &screen == &screens[0] ? copy.string() : screen.desktopPicture);
    ASSERT_EQ(NSWorkspace::sharedWorkspace().desktopImageURLForScreen(NSScreen::screens()[0]), copy.string());

    defaults()->setBool(true, "FullScreenMode");
    startModel();
    auto openAndTakePattern = [&] {
        pressHotkey();
        world.settle();
        auto pattern = controller->window()->backgroundColor()->patternImage();
        controller->_hideWindowWhitOutAnimation();
        world.settle();
        return pattern;
    };
    auto first = openAndTakePattern();
    ASSERT_TRUE(first);
    EXPECT_EQ(openAndTakePattern(), first) << "decoded and blurred again for an unchanged file";

    // Another picture in the same file.
    auto context = CGBitmapContextCreate(nullptr, 64, 64, 8, 0, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
    CGContextSetRGBFillColor(context, 1, 0, 0, 1);
    CGContextFillRect(context, CGRectMake(0, 0, 64, 64));
    ASSERT_TRUE(CGImageWritePNGFile(CGBitmapContextCreateImage(context), copy.string()));
    std::filesystem::last_write_time(copy, std::filesystem::last_write_time(copy) + std::chrono::seconds(1));
    auto changed = openAndTakePattern();
    ASSERT_TRUE(changed);
    EXPECT_NE(changed, first);

    // A file that is no picture: the log names it once, not at every
    // opening.
    std::ofstream(copy, std::ios::trunc) << "not a picture";
    std::filesystem::last_write_time(copy, std::filesystem::last_write_time(copy) + std::chrono::seconds(2));
    LogCapture log;
    for (int i = 0; i < 3; ++i)
        openAndTakePattern();
    EXPECT_EQ(log.count("could not be read"), 1u);
}

TEST_F(PanelTest, FullScreenGoesToTheChosenScreenAtItsSize)
{
    defaults()->setBool(true, "FullScreenMode");
    defaults()->setInteger(ScreenChoiceUnderMouse, "ShowOnScreen");
    world.desktop().moveMouse(CGPointMake(2400, 500));
    startModel();
    pressHotkey();
    world.settle();
    EXPECT_EQ(panelFrame(), kSecondScreen);
    auto pattern = controller->window()->backgroundColor()->patternImage();
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->size(), kSecondScreen.size);

    // With the pointer on no screen the panel fills the main screen, over
    // that screen's picture.
    controller->_hideWindowWhitOutAnimation();
    world.desktop().moveMouse(CGPointMake(9000, 5000));
    pressHotkey();
    world.settle();
    EXPECT_EQ(panelFrame(), kPrimaryScreen);
    pattern = controller->window()->backgroundColor()->patternImage();
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->size(), kPrimaryScreen.size);
}

TEST_F(PanelTest, TheFloatingPanelReadsWhatLiesBeneathItAtEachOpeningAndTheFullScreenOneNothing)
{
    startModel();
    auto reads = [&] { return world.desktop().countCalls("captureBelowOwnWindow"); };
    world.desktop().clearCallLog();
    pressHotkey();
    world.settle();
    EXPECT_EQ(reads(), 1u);
    auto effect = controller->visualEffectView();
    ASSERT_TRUE(effect->backdrop());
    CGRect beneath = CGRectInset(NSScreenFlipRect(panelFrame()), -NSVisualEffectView::kBackdropBlurRadius,
        -NSVisualEffectView::kBackdropBlurRadius);
    EXPECT_EQ(effect->backdropArea(), CGRectIntegral(beneath));
    controller->_hideWindowWhitOutAnimation();
    pressHotkey();
    world.settle();
    EXPECT_EQ(reads(), 2u) << "read again at the next opening";
    controller->_hideWindowWhitOutAnimation();

    // Full-screen, the panel shows the blurred desktop picture instead.
    defaults()->setBool(true, "FullScreenMode");
    pressHotkey();
    world.settle();
    EXPECT_EQ(reads(), 2u);
}

TEST_F(PanelTest, AListRearrangedWhileThePanelIsUpReadsBeneathItOnlyWhenItsSizeChanges)
{
    startModel();
    pressHotkey();
    world.settle();
    ASSERT_TRUE(panelVisible());
    CGRect shown = panelFrame();
    auto reads = [&] { return world.desktop().countCalls("captureBelowOwnWindow"); };
    world.desktop().clearCallLog();
    // The same size: the panel stays where it is and reads nothing.
    arrayController->rearrangeObjects();
    world.settle();
    EXPECT_EQ(panelFrame(), shown);
    EXPECT_EQ(reads(), 0u);
    // A wider layout: resized and centred on the main screen at once, and
    // read there once.
    layout()->contentSize = CGSizeMake(700, 200);
    arrayController->rearrangeObjects();
    world.settle();
    CGRect visible = NSScreen::mainScreen()->visibleFrame();
    CGRect wider = panelFrame();
    EXPECT_EQ(wider.size, CGSizeMake(700, shown.size.height));
    EXPECT_EQ(wider.origin.x, std::floor(visible.origin.x + (visible.size.width - 700) / 2));
    EXPECT_EQ(wider.origin.y, shown.origin.y);
    EXPECT_EQ(reads(), 1u);
    auto effect = controller->visualEffectView();
    CGRect beneath = CGRectInset(NSScreenFlipRect(wider), -NSVisualEffectView::kBackdropBlurRadius,
        -NSVisualEffectView::kBackdropBlurRadius);
    EXPECT_EQ(effect->backdropArea(), CGRectIntegral(beneath));
}

TEST_F(PanelTest, AfterFullScreenTheNormalPanelStaysBorderlessAtLevelThousand)
{
    defaults()->setBool(true, "FullScreenMode");
    startModel();
    pressHotkey();
    controller->_hideWindowWhitOutAnimation();
    defaults()->setBool(false, "FullScreenMode");
    pressHotkey();
    EXPECT_EQ(controller->window()->level(), 1000);
    EXPECT_EQ(controller->window()->styleMask(), NSWindowStyleMaskBorderless);
    EXPECT_FALSE(controller->visualEffectView()->isHidden());
    EXPECT_EQ(panelFrame().size, CGSizeMake(600, 240));
}

TEST_F(PanelTest, FullScreenAtConstructionComesFromTheSettingAlone)
{
    defaults()->setBool(true, "FullScreenMode");
    makeController();
    EXPECT_EQ(controller->window()->level(), 1000);
    EXPECT_TRUE(controller->visualEffectView()->isHidden());
}

// MARK: Showing and hiding

TEST_F(PanelTest, OpeningMakesThePanelKeyAndOpaque)
{
    startModel();
    pressHotkey();
    auto window = controller->window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_EQ(window->alphaValue(), 1.0);
    EXPECT_TRUE(NSApp().isActive());
    EXPECT_EQ(layout()->calls, (std::vector<std::string> { "setArrayController", "selectSecond" }));
    EXPECT_EQ(selectedWindowID(), arrangedWindows()[1]->windowID());
}

TEST_F(PanelTest, LosingKeyStatusHidesThePanel)
{
    startModel();
    pressHotkey();
    world.settle();
    ASSERT_TRUE(panelVisible());
    world.desktop().focusWindow(31);
    world.settle();
    EXPECT_FALSE(panelVisible());
    EXPECT_EQ(controller->window()->alphaValue(), 0.0);

    pressHotkey();
    world.settle();
    ASSERT_TRUE(panelVisible());
    auto other = makeRef<NSWindow>(CGRectMake(100, 100, 200, 100), NSWindowStyleMaskTitled);
    other->makeKeyAndOrderFront(nullptr);
    world.settle();
    EXPECT_FALSE(panelVisible()) << "another window of this application took the key status";
}

TEST_F(PanelTest, AReleasedModifierBeforeOpeningSwitchesAtOnce)
{
    startModel();
    makeController();
    releaseModifiers();
    controller->handleHotkeyWithWindowListWithArrayController(arrayController);
    EXPECT_FALSE(panelVisible()) << "nothing would ever close the panel";
    EXPECT_EQ(world.desktop().focusedWindow(), arrangedWindows()[1]->windowID());

    holdModifiers(NSEventModifierFlagOption);
    controller->handleHotkeyWithWindowListWithArrayController(arrayController);
    EXPECT_TRUE(panelVisible());
}

// MARK: Screens

TEST_F(PanelTest, ThePanelShowsOnTheScreenTheSettingNames)
{
    startModel();
    makeController();
    CGSize size = { 600, 240 };
    world.desktop().moveMouse(CGPointMake(2400, 500));

    defaults()->setInteger(ScreenChoiceFirst, "ShowOnScreen");
    pressHotkey();
    EXPECT_EQ(panelFrame().origin, centredOrigin(size, kPrimaryVisible));
    controller->_hideWindowWhitOutAnimation();

    defaults()->setInteger(ScreenChoiceUnderMouse, "ShowOnScreen");
    pressHotkey();
    EXPECT_EQ(panelFrame().origin, centredOrigin(size, kSecondVisible));
    controller->_hideWindowWhitOutAnimation();

    // The main screen is the key window's.
    auto other = makeRef<NSWindow>(CGRectMake(1600, 100, 300, 200), NSWindowStyleMaskTitled);
    other->makeKeyAndOrderFront(nullptr);
    defaults()->setInteger(ScreenChoiceMain, "ShowOnScreen");
    pressHotkey();
    EXPECT_EQ(panelFrame().origin, centredOrigin(size, kSecondVisible));
    controller->_hideWindowWhitOutAnimation();
    other->orderOut(nullptr);

    world.desktop().moveMouse(CGPointMake(300, 300));
    defaults()->setInteger(ScreenChoiceUnderMouse, "ShowOnScreen");
    pressHotkey();
    EXPECT_EQ(panelFrame().origin, centredOrigin(size, kPrimaryVisible));
}

// MARK: The bus

TEST_F(PanelTest, AListChangeRearrangesOnTheMainThread)
{
    startModel();
    pressHotkey();
    auto before = arrangedWindows();
    ASSERT_GE(before.size(), 3u);
    // Reverse the order numbers without telling anyone.
    for (size_t i = 0; i < before.size(); ++i)
        before[i]->setSortOrder(before.size() - i);
    std::thread::id arrangedOn;
    auto observation = arrayController->addObserver(
        "arrangedObjects", 0, [&](const KVOChange&) { arrangedOn = std::this_thread::get_id(); });
    std::thread sender(
        [] { EBEventful::sharedInstance().sendEvent(WindowListChangedEvent, nullptr, Value()); });
    sender.join();
    EXPECT_EQ(arrangedWindows(), before) << "nothing happens on the sending thread";
    world.settle();
    auto after = arrangedWindows();
    EXPECT_EQ(after.front(), before.back());
    EXPECT_EQ(after.back(), before.front());
    EXPECT_EQ(arrangedOn, std::this_thread::get_id());
}
