#include "support/SimWorld.h"

#include <appkit/NSWindow.h>
#include <model/EBEventful.h>
#include <foundation/Dispatch.h>
#include <foundation/Log.h>
#include <model/SWApplication.h>
#include <model/WindowManager.h>

#include <thread>

namespace {

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] } ],
  "apps": [
    { "pid": 1, "name": "One", "windows": [
        { "id": 10, "title": "one front", "frame": [100, 100, 400, 300] },
        { "id": 11, "title": "one mini", "frame": [200, 200, 300, 200], "minimized": true },
        { "id": 12, "title": "find", "frame": [300, 300, 300, 200], "subrole": "AXDialog" },
        { "id": 13, "title": "bare", "frame": [50, 50, 300, 200], "subrole": null },
        { "id": 14, "title": null, "frame": [60, 60, 300, 200] } ] },
    { "pid": 2, "name": "Two", "windows": [ { "id": 20, "title": "two", "frame": [0, 30, 200, 100] } ] },
    { "pid": 3, "name": "Dash", "bundleId": "com.apple.dashboard", "windows": [ { "id": 30, "title": "widgets", "frame": [0, 30, 200, 100] } ] }
  ], "order": [10, 20, 13, 12, 14, 30, 11], "focus": 10 })";

std::vector<CGWindowID> ids(const std::vector<Ref<SWWindow>>& list)
{
    std::vector<CGWindowID> result;
    for (const auto& w : list)
        result.push_back(w->windowID());
    return result;
}

std::vector<CGWindowID> sorted(std::vector<CGWindowID> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

DesktopWindow window(pid_t pid, const std::string& title, CGWindowID number = 0)
{
    DesktopWindow w;
    w.pid = pid;
    w.number = number;
    w.title = title;
    w.frame = CGRectMake(10, 40, 200, 150);
    return w;
}

class WindowManagerTest : public ::testing::Test {
protected:
    WindowManagerTest()
        : world(kScenario)
    {
        EBEventful::resetForTesting();
        receiver = makeRef<NSObject>();
        EBEventful::sharedInstance().receiveEvent(WindowListChangedEvent, receiver, [this](const EBEvent&) { ++listChanges; });
    }
    ~WindowManagerTest() override { EBEventful::resetForTesting(); }

    // A model after its start-up: the scan handed over, the first order set.
    Ref<WindowManager> startedModel()
    {
        auto model = WindowManager::create();
        world.settle();
        EXPECT_TRUE(model->isStartupScanComplete());
        world.advance(WindowManager::kFirstSortOrderDelay);
        return model;
    }

    SimWorld world;
    Ref<NSObject> receiver;
    int listChanges = 0;
};

}

TEST_F(WindowManagerTest, TheStartUpScanListsNormalTitledWindowsOfManageableApplications)
{
    auto model = startedModel();
    EXPECT_EQ(sorted(ids(model->allWindows())), (std::vector<CGWindowID> { 10, 11, 13, 20 }))
        << "no dialog, no window without a title, nothing of the dashboard";
    EXPECT_EQ(model->applications().size(), 3u) << "One, Two and this process";
    EXPECT_EQ(model->filterType(), WindowFilterOnScreen);
}

TEST_F(WindowManagerTest, AWindowClosedDuringTheStartUpScanIsNeverListed)
{
    auto model = WindowManager::create();
    // The scan has read the windows in the background; the main queue has
    // not taken them in yet when one of them closes.
    dispatchWaitForBackgroundWork();
    world.desktop().closeWindow(20);
    world.settle();
    ASSERT_TRUE(model->isStartupScanComplete());
    world.advance(WindowManager::kFirstSortOrderDelay);
    EXPECT_EQ(sorted(ids(model->allWindows())), (std::vector<CGWindowID> { 10, 11, 13 }));
    EXPECT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 10, 11, 13 }));
}

TEST_F(WindowManagerTest, OrderNumbersFollowTheWindowServerAndMissingWindowsGoLast)
{
    auto model = startedModel();
    std::map<CGWindowID, uint64_t> order;
    for (const auto& w : model->allWindows())
        order[w->windowID()] = w->sortOrder();
    EXPECT_EQ(order[10], 0u);
    EXPECT_EQ(order[20], 1u);
    EXPECT_EQ(order[13], 2u);
    EXPECT_EQ(order[11], 10001u) << "a minimised window is not in the window server's list";
}

TEST_F(WindowManagerTest, FiltersNarrowTheShownList)
{
    auto model = startedModel();
    model->setFilterType(WindowFilterAll);
    EXPECT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 10, 11, 13, 20 }));
    model->setFilterType(WindowFilterOnScreen);
    EXPECT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 10, 13, 20 }));
    model->setFilterType(WindowFilterActiveApplication);
    EXPECT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 10, 13 }));
    ASSERT_TRUE(model->activeAplication());
    EXPECT_EQ(model->activeAplication()->processIdentifier(), 1);
    EXPECT_GE(listChanges, 3) << "every filter tells the panel";
}

TEST_F(WindowManagerTest, FilterTwoTwiceNarrowsTheNarrowedListUntilARescan)
{
    auto model = startedModel();
    model->setFilterType(WindowFilterActiveApplication);
    world.desktop().activateApplication(2, true);
    model->setFilterType(WindowFilterActiveApplication);
    EXPECT_TRUE(model->windows().empty()) << "the list was already narrowed to One's windows";
    world.advance(WindowManager::kActivationRescanDelay);
    model->setFilterType(WindowFilterActiveApplication);
    EXPECT_EQ(ids(model->windows()), (std::vector<CGWindowID> { 20 })) << "the activation rescan brought Two's window back";
}

TEST_F(WindowManagerTest, AFilteredOutWindowReturnsOnActivationOrAnAllWindowsPress)
{
    auto model = startedModel();
    model->setFilterType(WindowFilterOnScreen);
    world.desktop().setWindowMinimized(10, true);
    world.advance(1);
    EXPECT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 13, 20 }));
    world.desktop().setWindowMinimized(10, false);
    world.desktop().activateApplication(2, true);
    world.desktop().activateApplication(1, true);
    world.advance(WindowManager::kActivationRescanDelay);
    EXPECT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 10, 11, 13, 20 }))
        << "the rescan adds every window of the application; the next filter narrows again";
    model->setFilterType(WindowFilterOnScreen);
    EXPECT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 10, 13, 20 }));

    world.desktop().setWindowMinimized(13, true);
    world.advance(1);
    EXPECT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 10, 20 }));
    model->setFilterType(WindowFilterAll);
    EXPECT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 10, 11, 13, 20 }));
}

TEST_F(WindowManagerTest, AReacceptedWindowKeepsItsOrderNumber)
{
    auto model = startedModel();
    model->setFilterType(WindowFilterOnScreen);
    world.desktop().hideApplication(2);
    world.advance(1);
    ASSERT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 10, 13 }));
    world.desktop().unhideApplication(2);
    world.desktop().activateApplication(2, true);
    world.advance(1);
    model->setSortOrder();
    for (const auto& w : model->windows()) {
        if (w->windowID() == 20) {
            EXPECT_EQ(w->sortOrder(), 0u);
        }
        if (w->windowID() == 10) {
            EXPECT_EQ(w->sortOrder(), 1u) << "the shown records are the ones that get their order";
        }
    }
    for (const auto& w : model->windows())
        EXPECT_NE(std::count_if(model->allWindows().begin(), model->allWindows().end(), [&](const Ref<SWWindow>& a) { return a == w; }), 0)
            << "every shown record is a record of all windows";
}

TEST_F(WindowManagerTest, BurstsOfHideAndUnhideRunOneFilter)
{
    auto model = startedModel();
    world.settle();
    listChanges = 0;
    for (int i = 0; i < 5; ++i) {
        if (i % 2 == 0) {
            world.desktop().hideApplication(2);
        } else {
            world.desktop().unhideApplication(2);
        }
        world.advance(0.1);
    }
    EXPECT_EQ(listChanges, 0) << "each notice postpones the filter; 0.1 s have passed since the last";
    world.advance(0.09);
    EXPECT_EQ(listChanges, 0);
    world.advance(0.02);
    EXPECT_EQ(listChanges, 1) << "one filter, 0.2 s after the last notice";
    world.advance(1);
    EXPECT_EQ(listChanges, 1);
}

TEST_F(WindowManagerTest, ALaunchAddsTheApplicationNowAndAgainLater)
{
    auto model = startedModel();
    DesktopApp app;
    app.pid = 4;
    app.name = "Four";
    world.desktop().clearCallLog();
    world.desktop().launchApplication(app, { window(4, "first", 40) });
    world.settle();
    EXPECT_EQ(world.desktop().countCalls("AXUIElementCopyAttributeValue app:4 AXWindows"), 1u);
    EXPECT_NE(std::find(ids(model->allWindows()).begin(), ids(model->allWindows()).end(), 40u), ids(model->allWindows()).end());
    world.desktop().openWindow(window(4, "second", 41));
    world.advance(WindowManager::kLaunchRescanDelay);
    EXPECT_GE(world.desktop().countCalls("AXUIElementCopyAttributeValue app:4 AXWindows"), 2u);
    auto all = ids(model->allWindows());
    EXPECT_EQ(std::count(all.begin(), all.end(), 40u), 1) << "the second pass adds nothing twice";
    EXPECT_EQ(std::count(all.begin(), all.end(), 41u), 1);
}

TEST_F(WindowManagerTest, NewWindowsAreAddedAndClosedOnesRemoved)
{
    auto model = startedModel();
    CGWindowID created = world.desktop().openWindow(window(2, "made later"));
    world.settle();
    auto all = ids(model->allWindows());
    EXPECT_NE(std::find(all.begin(), all.end(), created), all.end());
    world.desktop().closeWindow(created);
    world.desktop().closeWindow(10);
    world.settle();
    all = ids(model->allWindows());
    EXPECT_EQ(std::find(all.begin(), all.end(), created), all.end());
    EXPECT_EQ(std::find(all.begin(), all.end(), 10u), all.end());
}

TEST_F(WindowManagerTest, AWindowDestroyedJustAfterItWasCreatedIsNotListed)
{
    auto model = startedModel();
    CGWindowID brief = world.desktop().openWindow(window(2, "brief"));
    world.desktop().closeWindow(brief);
    world.settle();
    world.advance(1);
    auto all = ids(model->allWindows());
    EXPECT_EQ(std::find(all.begin(), all.end(), brief), all.end());
}

TEST_F(WindowManagerTest, AWindowIsListedWhenItsTitleArrives)
{
    auto model = startedModel();
    auto listed = [&](CGWindowID number) {
        auto all = ids(model->allWindows());
        auto shown = ids(model->windows());
        return std::count(all.begin(), all.end(), number) == 1 && std::count(shown.begin(), shown.end(), number) == 1;
    };
    // One untitled at start-up, one opened untitled later.
    DesktopWindow untitled = window(2, "");
    untitled.title = std::nullopt;
    CGWindowID later = world.desktop().openWindow(untitled);
    world.settle();
    ASSERT_FALSE(listed(14));
    ASSERT_FALSE(listed(later));
    world.desktop().setWindowTitle(14, std::string("now titled"));
    world.desktop().setWindowTitle(later, std::string("later titled"));
    world.settle();
    EXPECT_TRUE(listed(14));
    EXPECT_TRUE(listed(later));
    // Once listed it is followed like any other window, and further title
    // changes add nothing.
    world.desktop().setWindowTitle(later, std::string("renamed"));
    world.settle();
    EXPECT_TRUE(listed(later));
    world.desktop().closeWindow(later);
    world.settle();
    EXPECT_FALSE(listed(later));

    // A watched window that a rescan lists (its title came while its
    // application did not answer) is followed like any other: closing it
    // removes it.
    CGWindowID quiet = world.desktop().openWindow(untitled);
    world.settle();
    world.desktop().setApplicationHung(2, true);
    world.desktop().setWindowTitle(quiet, std::string("titled while hung"));
    world.settle();
    world.desktop().setApplicationHung(2, false);
    model->setFilterType(WindowFilterAll);
    world.desktop().activateApplication(2, false);
    world.settle();
    world.advance(WindowManager::kActivationRescanDelay);
    ASSERT_TRUE(listed(quiet));
    world.desktop().closeWindow(quiet);
    world.settle();
    EXPECT_FALSE(listed(quiet));

    // A window closed before it got a title leaves no observation behind.
    auto owner = model->storedApplicationWithProcessIdentifier(2);
    size_t observed = owner->observedElementCount();
    CGWindowID brief = world.desktop().openWindow(untitled);
    world.settle();
    EXPECT_EQ(owner->observedElementCount(), observed + 1);
    world.desktop().closeWindow(brief);
    world.settle();
    EXPECT_EQ(owner->observedElementCount(), observed);
}

TEST_F(WindowManagerTest, AnApplicationThatDoesNotAnswerAtStartUpIsLoggedAndTakenInWhenItAnswers)
{
    LogCapture log;
    world.desktop().setApplicationHung(2, true);
    auto model = startedModel();
    auto all = [&] { return ids(model->allWindows()); };
    auto now = all();
    EXPECT_EQ(std::count(now.begin(), now.end(), 20u), 0);
    EXPECT_EQ(log.count("(pid 2) does not answer"), 1u);

    world.desktop().setApplicationHung(2, false);
    CGWindowID early = world.desktop().openWindow(window(2, "early"));
    world.settle();
    world.desktop().activateApplication(2, false);
    world.settle();
    world.advance(WindowManager::kActivationRescanDelay);
    now = all();
    EXPECT_EQ(std::count(now.begin(), now.end(), 20u), 1);
    EXPECT_EQ(std::count(now.begin(), now.end(), early), 1);
    EXPECT_EQ(log.count("(pid 2) answers now"), 1u);
    // Its window notices reach the model from now on, with no activation.
    CGWindowID fresh = world.desktop().openWindow(window(2, "fresh"));
    world.settle();
    now = all();
    EXPECT_EQ(std::count(now.begin(), now.end(), fresh), 1);
    // Further rescans log nothing more.
    world.desktop().activateApplication(2, false);
    world.settle();
    world.advance(WindowManager::kActivationRescanDelay);
    EXPECT_EQ(log.count("(pid 2)"), 2u);

    // An application launched hung stays frontmost while it recovers: no
    // activation follows, and the next press takes it in.
    DesktopApp late;
    late.pid = 5;
    late.name = "Late";
    late.hung = true;
    world.desktop().launchApplication(late, { window(5, "late") });
    world.settle();
    world.advance(WindowManager::kLaunchRescanDelay);
    EXPECT_EQ(log.count("(pid 5) does not answer"), 1u);
    world.desktop().setApplicationHung(5, false);
    CGWindowID quiet = world.desktop().openWindow(window(5, "while nobody looked"));
    world.settle();
    now = all();
    ASSERT_EQ(std::count(now.begin(), now.end(), quiet), 0);
    model->setFilterType(WindowFilterAll);
    now = all();
    EXPECT_EQ(std::count(now.begin(), now.end(), quiet), 1);
    EXPECT_EQ(log.count("(pid 5) answers now"), 1u);
}

TEST_F(WindowManagerTest, ATitleThatCameWhileTheFrontmostApplicationDidNotAnswerIsListedAtTheNextPress)
{
    LogCapture log;
    auto model = startedModel();
    DesktopWindow untitled = window(2, "");
    untitled.title = std::nullopt;
    CGWindowID quiet = world.desktop().openWindow(untitled);
    world.desktop().focusWindow(20);
    world.settle();
    world.advance(WindowManager::kActivationRescanDelay);
    // The title's notice comes while the application does not answer, so
    // the title cannot be read; the application recovers while it stays
    // frontmost, and no activation tells the model.
    world.desktop().setApplicationHung(2, true);
    world.desktop().setWindowTitle(quiet, std::string("titled while hung"));
    world.settle();
    EXPECT_EQ(log.count("(pid 2) does not answer"), 1u);
    world.desktop().setApplicationHung(2, false);
    world.desktop().activateApplication(2, false);
    world.settle();
    world.advance(WindowManager::kActivationRescanDelay);
    model->setFilterType(WindowFilterAll);
    auto all = ids(model->allWindows());
    EXPECT_EQ(std::count(all.begin(), all.end(), quiet), 1);
    EXPECT_EQ(log.count("(pid 2) answers now"), 1u);
}

TEST_F(WindowManagerTest, AWindowWhoseElementVanishedLeavesTheListsAtTheNextFilter)
{
    auto model = startedModel();
    world.desktop().vanishWindowElement(20);
    for (auto type : { WindowFilterAll, WindowFilterOnScreen }) {
        model->setFilterType(type);
        auto all = ids(model->allWindows());
        auto shown = ids(model->windows());
        EXPECT_EQ(std::count(all.begin(), all.end(), 20u), 0) << type;
        EXPECT_EQ(std::count(shown.begin(), shown.end(), 20u), 0) << type;
    }
    auto shown = ids(model->windows());
    EXPECT_EQ(std::count(shown.begin(), shown.end(), 10u), 1) << "the other windows stay";
}

TEST_F(WindowManagerTest, QuittingRemovesTheApplicationAndItsWindows)
{
    auto model = startedModel();
    world.desktop().quitApplication(2);
    world.settle();
    EXPECT_FALSE(model->storedApplicationWithProcessIdentifier(2));
    auto all = ids(model->allWindows());
    EXPECT_EQ(std::find(all.begin(), all.end(), 20u), all.end());
}

TEST_F(WindowManagerTest, AWindowOfAQuitApplicationIsShownOnlyByTheAllFilterUntilThePurge)
{
    auto model = startedModel();
    // The process ends without a terminate notification reaching the model.
    auto stored = model->storedApplicationWithProcessIdentifier(2);
    ASSERT_TRUE(stored);
    world.desktop().setApplicationHung(2, true);
    world.desktop().terminateApplication(2, true);
    model->setFilterType(WindowFilterAll);
    model->setFilterType(WindowFilterOnScreen);
    auto shown = ids(model->windows());
    EXPECT_EQ(std::find(shown.begin(), shown.end(), 20u), shown.end());
    world.settle();
    auto all = ids(model->allWindows());
    EXPECT_EQ(std::find(all.begin(), all.end(), 20u), all.end()) << "the terminate notice purged it";
}

TEST_F(WindowManagerTest, TwelveWindowsGetOneToNineAndTheRestNothing)
{
    world.desktop().quitApplication(1);
    world.desktop().quitApplication(2);
    DesktopApp app;
    app.pid = 7;
    app.name = "Dozen";
    std::vector<DesktopWindow> windows;
    for (int i = 0; i < 12; ++i)
        windows.push_back(window(7, "w" + std::to_string(i), 70 + i));
    world.desktop().launchApplication(app, windows);
    auto model = startedModel();
    model->setFilterType(WindowFilterAll);
    std::map<uint64_t, std::optional<std::string>> badges;
    for (const auto& w : model->allWindows())
        badges[w->sortOrder()] = w->hotkeyIndexText();
    ASSERT_EQ(badges.size(), 12u);
    int position = 0;
    for (const auto& [order, badge] : badges) {
        ++position;
        EXPECT_EQ(badge, std::optional<std::string>(position <= 9 ? std::to_string(position) : "")) << position;
    }
}

TEST_F(WindowManagerTest, BadgesFollowTheShownListForEveryFilter)
{
    auto model = startedModel();
    model->setFilterType(WindowFilterOnScreen);
    std::map<CGWindowID, std::optional<std::string>> badges;
    for (const auto& w : model->windows())
        badges[w->windowID()] = w->hotkeyIndexText();
    EXPECT_EQ(badges[10], std::optional<std::string>("1"));
    EXPECT_EQ(badges[20], std::optional<std::string>("2"));
    EXPECT_EQ(badges[13], std::optional<std::string>("3"));
}

TEST_F(WindowManagerTest, TheRefiltersAfterHideMinimiseAndASpaceChangeRenumberTheBadges)
{
    auto model = startedModel();
    model->setFilterType(WindowFilterOnScreen);
    auto badges = [&] {
        std::map<CGWindowID, std::string> shown;
        for (const auto& w : model->windows())
            shown[w->windowID()] = w->hotkeyIndexText().value_or("(none)");
        return shown;
    };
    using Badges = std::map<CGWindowID, std::string>;
    ASSERT_EQ(badges(), (Badges { { 10, "1" }, { 20, "2" }, { 13, "3" } }));

    // Each refilter numbers what it leaves at once, before the badges' own
    // delayed pass (0.5 s), which only a close or a minimise asks for.
    world.desktop().hideApplication(2);
    world.advance(WindowManager::kHideUnhideFilterDelay);
    EXPECT_EQ(badges(), (Badges { { 10, "1" }, { 13, "2" } })) << "after a hide";

    world.desktop().setWindowMinimized(10, true);
    world.advance(WindowManager::kMinimizeFilterDelay);
    EXPECT_EQ(badges(), (Badges { { 13, "1" } })) << "after a minimise";

    auto elsewhere = window(1, "on space two", 15);
    elsewhere.space = 2;
    world.desktop().openWindow(elsewhere);
    world.settle();
    world.advance(1);
    world.desktop().switchToSpace(2);
    world.settle();
    world.advance(WindowManager::kSpaceChangeFilterDelay);
    EXPECT_EQ(badges(), (Badges { { 15, "1" } })) << "after a space change";
}

TEST_F(WindowManagerTest, BadgesOfAnEmptyListSendNoNotices)
{
    world.desktop().quitApplication(1);
    world.desktop().quitApplication(2);
    auto model = startedModel();
    int notices = 0;
    auto token = model->addObserver("hotkeyIndexText", NSKeyValueObservingOptionPrior, [&](const KVOChange&) { ++notices; });
    model->setFilterType(WindowFilterActiveApplication);
    model->setBadges();
    world.settle();
    EXPECT_EQ(notices, 0);
    model->setFilterType(WindowFilterOnScreen);
    world.desktop().openWindow(window(SimDesktop::kOwnPid, "preferences"));
    world.settle();
    model->setFilterType(WindowFilterAll);
    world.settle();
    EXPECT_GT(notices, 0) << "once the list has something";
    EXPECT_EQ(notices % 2, 0) << "in pairs of will and did";
}

TEST_F(WindowManagerTest, TheSwitcherPanelIsNeverListed)
{
    // The system's own windows reach the desktop through the application
    // framework, like every window of the process.
    auto panel = makeRef<NSWindow>(CGRectMake(10, 40, 200, 150), NSWindowStyleMaskTitled);
    panel->setIdentifier("SwitcherWindowIdentifier");
    panel->orderFront(nullptr);
    auto other = makeRef<NSWindow>(CGRectMake(10, 40, 200, 150), NSWindowStyleMaskTitled);
    other->setTitle("Preferences");
    other->orderFront(nullptr);
    auto panelNumber = static_cast<CGWindowID>(panel->windowNumber());
    auto prefs = static_cast<CGWindowID>(other->windowNumber());
    auto model = startedModel();
    auto all = ids(model->allWindows());
    EXPECT_EQ(std::find(all.begin(), all.end(), panelNumber), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), prefs), all.end()) << "the system's other windows are listed";
}

TEST_F(WindowManagerTest, ASpaceChangeRescansManageableApplicationsOnly)
{
    auto model = startedModel();
    auto elsewhere = window(1, "on space two", 15);
    elsewhere.space = 2;
    world.desktop().openWindow(elsewhere);
    auto dash = window(3, "dash two", 31);
    dash.space = 2;
    world.desktop().openWindow(dash);
    world.settle();
    world.desktop().switchToSpace(2);
    world.settle();
    auto all = ids(model->allWindows());
    EXPECT_NE(std::find(all.begin(), all.end(), 15u), all.end());
    EXPECT_EQ(std::find(all.begin(), all.end(), 31u), all.end()) << "the dashboard is not managed, whatever the space";
    EXPECT_FALSE(model->storedApplicationWithProcessIdentifier(3));
    listChanges = 0;
    world.advance(0.4);
    EXPECT_EQ(listChanges, 0);
    world.advance(0.1);
    EXPECT_EQ(listChanges, 1) << "one filter 0.5 s after the change";
}

TEST_F(WindowManagerTest, MinimisingRefiltersAfterAShortDelay)
{
    auto model = startedModel();
    model->setFilterType(WindowFilterOnScreen);
    listChanges = 0;
    world.desktop().setWindowMinimized(13, true);
    world.advance(0.1);
    EXPECT_EQ(listChanges, 0);
    world.advance(0.1);
    EXPECT_EQ(listChanges, 1);
    EXPECT_EQ(sorted(ids(model->windows())), (std::vector<CGWindowID> { 10, 20 }));
}

TEST_F(WindowManagerTest, ListChangesAreAnnouncedOnTheMainThread)
{
    auto model = WindowManager::create();
    std::vector<bool> onMain;
    auto token = model->addObserver("windows", 0, [&](const KVOChange&) { onMain.push_back(isMainThread()); });
    world.settle();
    world.desktop().openWindow(window(2, "later"));
    world.settle();
    ASSERT_FALSE(onMain.empty());
    for (bool main : onMain)
        EXPECT_TRUE(main);
    Value windows = model->valueForKey("windows");
    EXPECT_EQ(windows.count(), model->windows().size());
}
