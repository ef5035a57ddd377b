#include "support/Pixels.h"
#include "switcher/PanelTestSupport.h"

#include <foundation/NSNotificationCenter.h>
#include <graphics/NSBitmapImageRep.h>
#include <command/SwitcherSnapshot.h>

#include <array>
#include <fstream>
#include <iterator>

namespace {

Ref<NSBitmapImageRep> readPNG(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return NSBitmapImageRep::imageRepWithData(bytes);
}

class SwitcherSnapshotTest : public PanelTest {
protected:
    // The panel of the test layout (600 by 200, no hints) centred on the
    // primary screen's usable area, in desktop coordinates (top-left).
    static constexpr int kPanelLeft = 420, kPanelTop = 308, kPanelWidth = 600, kPanelHeight = 240;
    // Where the pictures are written.
    TemporaryDirectory directory;
};

}

TEST_F(SwitcherSnapshotTest, TheDesktopIsSavedWithThePanelOnTop)
{
    auto plain = world.desktop().screenshot();
    CGWindowID focused = world.desktop().focusedWindow();
    std::string error;
    ASSERT_TRUE(writeSwitcherSnapshot(SwitcherThemeDark, directory.file("dark.png"), &error)) << error;
    auto dark = readPNG(directory.file("dark.png"));
    ASSERT_TRUE(dark);
    ASSERT_EQ(CGImageGetWidth(dark->CGImage()), size_t(plain.width));
    ASSERT_EQ(CGImageGetHeight(dark->CGImage()), size_t(plain.height));

    int centreX = kPanelLeft + kPanelWidth / 2, centreY = kPanelTop + kPanelHeight / 2;
    EXPECT_NE(pixelAt(dark, centreX, centreY), pixelAt(plain, centreX, centreY))
        << "the panel covers the centre";
    EXPECT_EQ(pixelAt(dark, kPanelLeft - 30, centreY), pixelAt(plain, kPanelLeft - 30, centreY));
    EXPECT_EQ(pixelAt(dark, centreX, kPanelTop + kPanelHeight + 30),
        pixelAt(plain, centreX, kPanelTop + kPanelHeight + 30));

    ASSERT_TRUE(writeSwitcherSnapshot(SwitcherThemeLight, directory.file("light.png"), &error)) << error;
    auto light = readPNG(directory.file("light.png"));
    ASSERT_TRUE(light);
    EXPECT_NE(pixelAt(light, centreX, centreY), pixelAt(dark, centreX, centreY)) << "the theme shows";

    ASSERT_EQ(layouts.size(), 2u);
    ASSERT_TRUE(layouts[0]->arrayController);
    EXPECT_EQ(layouts[0]->arrayController->selectionIndex(), 1u);
    EXPECT_EQ(world.desktop().focusedWindow(), focused) << "closed without switching";
    EXPECT_TRUE(defaults()->objectForKey("ThemeIndex").isNil()) << "the stored theme comes back";
    EXPECT_EQ(world.desktop().keyboardModifierFlags(), 0u) << "the keyboard is left as it was";
}

TEST_F(SwitcherSnapshotTest, TheStoredSettingsAreNeverTouched)
{
    // A kill at any moment of a snapshot must find the user's theme stored:
    // the stored values never change, not even for a moment.
    defaults()->setInteger(SwitcherThemeUltraDark, "ThemeIndex");
    int storedChanges = 0;
    auto observer = NSNotificationCenter::defaultCenter().addObserverForName(
        NSUserDefaultsDidChangeNotification, nullptr, nullptr, [&](const NSNotification&) { ++storedChanges; });
    ASSERT_TRUE(writeSwitcherSnapshot(SwitcherThemeLight, directory.file("light.png")));
    EXPECT_EQ(storedChanges, 0);
    EXPECT_EQ(defaults()->integerForKey("ThemeIndex"), SwitcherThemeUltraDark);
}

TEST_F(SwitcherSnapshotTest, FailuresSayWhy)
{
    std::string error;
    EXPECT_FALSE(writeSwitcherSnapshot(SwitcherThemeDark, directory.file("missing/dir/out.png"), &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;

    defaults()->setInteger(SwitcherLayoutCarousel, "LayoutType");
    EXPECT_FALSE(writeSwitcherSnapshot(SwitcherThemeDark, directory.file("out.png"), &error));
    EXPECT_EQ(error, "no switcher layout for LayoutType 3");
}
