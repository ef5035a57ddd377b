#include <support/SimWorld.h>

#include <services/SUUpdater.h>

namespace {

class BetaDelegate : public NSObject, public SUUpdaterDelegate {
public:
    bool updaterShouldCheckForBetaUpdates(SUUpdater& updater) override
    {
        asked++;
        // The delegate may ask the updater back while it is being asked.
        feedSeen = updater.feedURL();
        return beta;
    }
    bool beta { true };
    int asked { 0 };
    std::string feedSeen;
};

} // namespace

TEST(Updater, RecordsWhatItIsAskedInOrder)
{
    SimWorld world;
    auto updater = SUUpdater::sharedUpdater();
    EXPECT_EQ(updater, SUUpdater::sharedUpdater());
    EXPECT_TRUE(updater->calls().empty()) << "each world starts with a clean updater";
    auto delegate = makeRef<BetaDelegate>();
    updater->setDelegate(delegate);
    updater->setFeedURL("https://quorvex.example.org/beta.xml");
    updater->setAutomaticallyChecksForUpdates(true);
    updater->checkForUpdatesInBackground();
    EXPECT_EQ(updater->calls(), (std::vector<std::string> { "setDelegate", "setFeedURL https://quorvex.example.org/beta.xml",
                                    "setAutomaticallyChecksForUpdates YES", "checkForUpdatesInBackground" }));
    EXPECT_EQ(updater->delegate(), delegate);
    EXPECT_EQ(updater->feedURL(), "https://quorvex.example.org/beta.xml");
    EXPECT_TRUE(updater->automaticallyChecksForUpdates());

    auto checks = updater->checks();
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].kind, SUUpdateCheck::Kind::Background);
    EXPECT_EQ(checks[0].feedURL, "https://quorvex.example.org/beta.xml");
    EXPECT_TRUE(checks[0].beta);
    EXPECT_EQ(checks[0].date, world.clock().now());
    EXPECT_EQ(delegate->asked, 1);
    EXPECT_EQ(delegate->feedSeen, "https://quorvex.example.org/beta.xml");
}

TEST(Updater, ABackgroundCheckWaitsForAutomaticChecksButAPersonsCheckDoesNot)
{
    SimWorld world;
    auto updater = SUUpdater::sharedUpdater();
    EXPECT_FALSE(updater->automaticallyChecksForUpdates()) << "off until set";
    updater->setFeedURL("https://quorvex.example.org/feed.xml");
    updater->checkForUpdatesInBackground();
    updater->setAutomaticallyChecksForUpdates(false);
    updater->checkForUpdatesInBackground();
    EXPECT_TRUE(updater->checks().empty());
    EXPECT_EQ(updater->calls().back(), "checkForUpdatesInBackground") << "the call is recorded, the check is not made";

    // The menu item's action, with no delegate: not the beta feed.
    auto sender = makeRef<NSObject>();
    EXPECT_TRUE(updater->performAction("checkForUpdates:", sender));
    auto checks = updater->checks();
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].kind, SUUpdateCheck::Kind::UserInitiated);
    EXPECT_FALSE(checks[0].beta);

    updater->setAutomaticallyChecksForUpdates(true);
    world.advance(5);
    updater->checkForUpdatesInBackground();
    ASSERT_EQ(updater->checks().size(), 2u);
    EXPECT_EQ(updater->checks()[1].date, checks[0].date + 5);
}

TEST(Updater, ResetForgetsEverything)
{
    SimWorld world;
    auto updater = SUUpdater::sharedUpdater();
    auto delegate = makeRef<BetaDelegate>();
    updater->setDelegate(delegate);
    updater->setFeedURL("x");
    updater->setAutomaticallyChecksForUpdates(true);
    updater->checkForUpdates(nullptr);
    updater->reset();
    EXPECT_EQ(updater->delegate(), nullptr);
    EXPECT_EQ(updater->feedURL(), "");
    EXPECT_FALSE(updater->automaticallyChecksForUpdates());
    EXPECT_TRUE(updater->calls().empty());
    EXPECT_TRUE(updater->checks().empty());
    // The delegate is not kept alive by the updater.
    updater->setDelegate(delegate);
    delegate = nullptr;
    EXPECT_EQ(updater->delegate(), nullptr);
}
