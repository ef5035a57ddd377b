#include "support/SimWorld.h"
#include "support/TemporaryDirectory.h"

#include <app/LoginItemController.h>
#include <app/NSMenuItemBlockAction.h>
#include <appkit/NSButton.h>
#include <appkit/NSMenu.h>
#include <foundation/Log.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The login items in a temporary configuration folder.
class LaunchAtLogin : public ::testing::Test {
protected:
    LaunchAtLogin()
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            m_oldConfig = old;
        ::setenv("XDG_CONFIG_HOME", m_config.path().c_str(), 1);
        controller = makeRef<LoginItemController>();
    }
    ~LaunchAtLogin() override
    {
        controller.reset();
        if (m_oldConfig)
            ::setenv("XDG_CONFIG_HOME", m_oldConfig->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    std::string folder() const { return m_config.file("autostart"); }
    size_t entryCount() const
    {
        std::error_code error;
        size_t count = 0;
        for (fs::directory_iterator it(folder(), error), end; !error && it != end; it.increment(error))
            ++count;
        return count;
    }

    SimWorld world { SimWorld::emptyScenario() };
    TemporaryDirectory m_config;
    std::optional<std::string> m_oldConfig;
    Ref<LoginItemController> controller;
};

}

TEST_F(LaunchAtLogin, EnablingTwiceAddsOneEntryAndDisablingWithoutOneChangesNothing)
{
    EXPECT_FALSE(controller->launchAtLogin());
    controller->setLaunchAtLogin(false);
    EXPECT_FALSE(fs::exists(folder())) << "nothing to take out, nothing written";

    controller->setLaunchAtLogin(true);
    controller->setLaunchAtLogin(true);
    EXPECT_TRUE(controller->launchAtLogin());
    EXPECT_EQ(entryCount(), 1u);
    EXPECT_EQ(controller->valueForKey("launchAtLogin"), Value(true));

    controller->setValueForKey(Value(false), "launchAtLogin");
    EXPECT_FALSE(controller->launchAtLogin());
    EXPECT_EQ(entryCount(), 0u);

    EXPECT_FALSE(LoginItemController::findItemWithURL(nullptr, controller->loginItems()));
    EXPECT_FALSE(LoginItemController::findItemWithURL(LoginItemController::appURL(), nullptr));
}

TEST_F(LaunchAtLogin, OnlyAnEntryStartingThisVeryProgramCounts)
{
    fs::create_directories(folder());
    // A copy of the program elsewhere, and entries that start nothing.
    fs::create_directories(m_config.file("elsewhere"));
    std::string copy = m_config.file("elsewhere/" + LoginItemController::appURL()->lastPathComponent());
    std::ofstream(copy) << "#!/bin/sh\n";
    fs::permissions(copy, fs::perms::owner_all);
    std::ofstream(folder() + "/copy.desktop") << "[Desktop Entry]\nType=Application\nName=Copy\nExec=" << copy << "\n";
    std::ofstream(folder() + "/broken.desktop") << "[Desktop Entry]\nType=Application\nName=Broken\n";
    LogCapture log;
    EXPECT_FALSE(controller->launchAtLogin());
    EXPECT_TRUE(log.contains("broken.desktop has no Exec line"));

    // Enabling then adds its own entry and leaves the others alone.
    controller->setLaunchAtLogin(true);
    EXPECT_TRUE(controller->launchAtLogin());
    EXPECT_EQ(entryCount(), 3u);
    controller->setLaunchAtLogin(false);
    EXPECT_EQ(entryCount(), 2u);
    EXPECT_TRUE(fs::exists(folder() + "/copy.desktop"));
}

TEST_F(LaunchAtLogin, ABoundCheckboxFollowsAnEntryRemovedByHand)
{
    auto checkbox = NSButton::checkboxWithTitle("Launch at login", nullptr, "");
    checkbox->bind(NSValueBinding, controller, "launchAtLogin");
    EXPECT_EQ(checkbox->state(), NSControlStateValueOff);

    checkbox->performClick(nullptr);
    EXPECT_TRUE(controller->launchAtLogin()) << "the click reaches the login items";
    world.settle();
    EXPECT_EQ(checkbox->state(), NSControlStateValueOn);

    auto item = LoginItemController::findItemWithURL(LoginItemController::appURL(), controller->loginItems());
    ASSERT_TRUE(item);
    fs::remove(item->entryPath());
    world.settle();
    EXPECT_EQ(checkbox->state(), NSControlStateValueOff);

    // The folder replaced by a file: the box stays off and nothing is lost.
    fs::remove_all(folder());
    std::ofstream(folder()) << "keep me";
    world.settle();
    LogCapture log;
    checkbox->performClick(nullptr);
    world.settle();
    EXPECT_TRUE(log.contains("cannot be added"));
    EXPECT_FALSE(controller->launchAtLogin());
    std::ifstream in(folder());
    std::string kept;
    std::getline(in, kept);
    EXPECT_EQ(kept, "keep me");
    checkbox->unbind(NSValueBinding);
}

TEST_F(LaunchAtLogin, ACheckboxStaysOffWhenTheEntryCannotBeWritten)
{
    auto checkbox = NSButton::checkboxWithTitle("Launch at login", nullptr, "");
    checkbox->bind(NSValueBinding, controller, "launchAtLogin");
    // A file where the folder belongs, then a folder that cannot be read
    // (a link to itself: no one, not even root, reads through it).
    auto fileInTheWay = [&] { std::ofstream(folder()) << "keep me"; };
    auto linkToItself = [&] { fs::create_symlink(folder(), folder()); };
    for (const auto& breakFolder : { std::function<void()>(fileInTheWay), std::function<void()>(linkToItself) }) {
        fs::remove_all(folder());
        breakFolder();
        world.settle();
        ASSERT_EQ(checkbox->state(), NSControlStateValueOff);
        LogCapture log;
        checkbox->performClick(nullptr);
        EXPECT_TRUE(log.contains("cannot be added"));
        EXPECT_FALSE(controller->launchAtLogin());
        EXPECT_EQ(checkbox->state(), NSControlStateValueOff) << "the box shows what the login items hold";
        world.settle();
        EXPECT_EQ(checkbox->state(), NSControlStateValueOff);
    }
    checkbox->unbind(NSValueBinding);
}

TEST(MenuItemBlockAction, AChosenItemRunsItsBlockWithItselfAsSenderUntilCleared)
{
    SimWorld world { SimWorld::emptyScenario() };
    auto menu = makeRef<NSMenu>("m");
    auto item = makeRef<NSMenuItem>("Run", "", "");
    menu->addItem(item);
    Ref<NSObject> seen;
    int calls = 0;
    setBlockAction(*item, [&](const Ref<NSObject>& sender) {
        seen = sender;
        ++calls;
    });
    EXPECT_EQ(item->target(), item);
    EXPECT_EQ(item->action(), "blockActionWrapper:");
    EXPECT_TRUE(blockAction(*item));
    EXPECT_TRUE(menu->performActionForItemAtIndex(0));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, item);

    setBlockAction(*item, nullptr);
    EXPECT_FALSE(blockAction(*item));
    EXPECT_EQ(item->target(), nullptr);
    EXPECT_EQ(item->action(), "");
    EXPECT_FALSE(menu->performActionForItemAtIndex(0));
    EXPECT_EQ(calls, 1);
}
