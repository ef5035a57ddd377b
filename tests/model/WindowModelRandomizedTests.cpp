// Drives the simulated desktop through many random events and checks, at
// every quiet point, that the model's list of all windows matches what the
// desktop really holds. QV_MODEL_EVENTS sets the number of events (10,000 by
// default; 100,000 for a long run) and QV_MODEL_SEED the seed.
#include "support/SimWorld.h"

#include <appkit/NSWindow.h>
#include <model/SWApplication.h>
#include <model/WindowManager.h>

#include <cstdlib>
#include <random>
#include <set>

namespace {

long fromEnvironment(const char* name, long fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

class RandomDesktop {
public:
    RandomDesktop(SimDesktop& desktop, uint32_t seed)
        : m_desktop(desktop)
        , m_random(seed)
    {
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }

    DesktopWindow makeWindow(pid_t pid)
    {
        DesktopWindow w;
        w.pid = pid;
        w.title = chance(0.08) ? std::nullopt : std::optional<std::string>("w" + std::to_string(m_serial++));
        if (chance(0.1))
            w.subrole = "AXDialog";
        else if (chance(0.05))
            w.subrole = std::nullopt;
        w.space = chance(0.2) ? 2 : 1;
        w.frame = CGRectMake(pick(1200), 25 + pick(700), 120 + pick(200), 90 + pick(150));
        return w;
    }

    std::vector<pid_t> others() const
    {
        std::vector<pid_t> pids;
        for (const auto& app : m_desktop.runningApplications())
            if (app.pid != SimDesktop::kOwnPid)
                pids.push_back(app.pid);
        return pids;
    }

    std::vector<CGWindowID> windows() const
    {
        std::vector<CGWindowID> numbers;
        for (const auto& w : m_desktop.windows())
            numbers.push_back(w.number);
        return numbers;
    }

    void step()
    {
        auto pids = others();
        auto numbers = windows();
        switch (pick(11)) {
        case 0:
            if (pids.size() < 10) {
                DesktopApp app;
                app.pid = m_nextPid++;
                app.name = "App" + std::to_string(app.pid);
                app.bundleId = chance(0.1) ? "com.apple.dashboard.x" : "org.example.app" + std::to_string(app.pid);
                std::vector<DesktopWindow> list;
                for (int i = pick(4); i > 0; --i)
                    list.push_back(makeWindow(app.pid));
                m_desktop.launchApplication(app, list);
            }
            break;
        case 1:
            if (!pids.empty() && chance(0.5))
                m_desktop.quitApplication(pids[pick(static_cast<int>(pids.size()))]);
            break;
        case 2:
        case 3:
            if (!pids.empty())
                m_desktop.openWindow(makeWindow(pids[pick(static_cast<int>(pids.size()))]));
            break;
        case 4:
            if (!numbers.empty())
                m_desktop.closeWindow(numbers[pick(static_cast<int>(numbers.size()))]);
            break;
        case 5:
            if (!numbers.empty())
                m_desktop.setWindowMinimized(numbers[pick(static_cast<int>(numbers.size()))], true);
            break;
        case 6:
            if (!numbers.empty())
                m_desktop.setWindowMinimized(numbers[pick(static_cast<int>(numbers.size()))], false);
            break;
        case 7:
            if (!pids.empty())
                m_desktop.hideApplication(pids[pick(static_cast<int>(pids.size()))]);
            break;
        case 8:
            if (!pids.empty())
                m_desktop.unhideApplication(pids[pick(static_cast<int>(pids.size()))]);
            break;
        case 9:
            if (chance(0.3))
                m_desktop.switchToSpace(m_desktop.currentSpace() == 1 ? 2 : 1);
            break;
        default:
            if (!numbers.empty())
                m_desktop.focusWindow(numbers[pick(static_cast<int>(numbers.size()))]);
        }
    }

private:
    SimDesktop& m_desktop;
    std::mt19937 m_random;
    pid_t m_nextPid { 200 };
    int m_serial { 0 };
};

bool eligible(SimDesktop& desktop, const DesktopWindow& w)
{
    auto app = desktop.application(w.pid);
    if (!app || w.pid == SimDesktop::kOwnPid)
        return false;
    if (app->bundleId.rfind("com.apple.dashboard", 0) == 0)
        return false;
    return w.title && (!w.subrole || *w.subrole == "AXStandardWindow");
}

}

TEST(WindowModelRandomized, TheListOfAllWindowsFollowsTheDesktop)
{
    const long events = fromEnvironment("QV_MODEL_EVENTS", 10000);
    const auto seed = static_cast<uint32_t>(fromEnvironment("QV_MODEL_SEED", 20261208));
    SimWorld world(SimWorld::emptyScenario());
    auto& desktop = world.desktop();
    RandomDesktop random(desktop, seed);
    for (int i = 0; i < 4; ++i)
        random.step();
    auto model = WindowManager::create();
    world.settle();
    world.advance(1);

    long checks = 0;
    for (long i = 0; i < events; ++i) {
        random.step();
        if (random.chance(0.5))
            world.advance(0.05 * random.pick(6));
        if (i % 10 != 9)
            continue;
        // A quiet point: every delayed update has run; then an all-windows press.
        world.advance(1);
        model->setFilterType(WindowFilterAll);
        ++checks;

        std::set<CGWindowID> listed;
        for (const auto& w : model->windows()) {
            ASSERT_TRUE(listed.insert(w->windowID()).second) << "window " << w->windowID() << " listed twice, event " << i;
            auto real = desktop.window(w->windowID());
            ASSERT_TRUE(real) << "window " << w->windowID() << " no longer exists but is listed, event " << i;
            ASSERT_TRUE(eligible(desktop, *real)) << "window " << w->windowID() << " should never be listed, event " << i;
        }
        for (const auto& w : desktop.windows()) {
            if (!eligible(desktop, w) || (w.space != 0 && w.space != desktop.currentSpace()))
                continue;
            ASSERT_TRUE(listed.count(w.number)) << "window " << w.number << " (" << w.title.value_or("") << ") is missing, event " << i
                                                << ", seed " << seed;
        }
        auto order = NSWindow::windowNumbersWithOptions(NSWindowNumberListAllApplications | NSWindowNumberListAllSpaces);
        uint64_t lastMissing = 10000;
        for (const auto& w : model->allWindows()) {
            auto at = std::find(order.begin(), order.end(), w->windowID());
            if (at != order.end()) {
                ASSERT_EQ(w->sortOrder(), static_cast<uint64_t>(at - order.begin())) << "window " << w->windowID() << ", event " << i;
            } else {
                ASSERT_GT(w->sortOrder(), lastMissing) << "windows missing from the list come last, in list order";
                lastMissing = w->sortOrder();
            }
        }
    }
    EXPECT_EQ(checks, events / 10);
}
