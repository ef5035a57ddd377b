// Drives the simulated desktop through many random events (launches and
// quits, windows opening, closing, minimising, moving between spaces and
// changing size, titles arriving and changing, applications hiding, hanging
// and recovering, window elements vanishing) and checks, at every quiet
// point, the model's list of all windows against a ground truth the driver
// keeps from what it did itself: which windows it opened and closed, which
// are dialogs, which have a title, which application stopped answering. The
// desktop is read only for the window server's front-to-back order.
// QV_MODEL_EVENTS sets the number of events (10,000 by default; 100,000 for
// a long run) and QV_MODEL_SEED the seed.
#include "support/SimWorld.h"

#include <appkit/NSWindow.h>
#include <model/SWApplication.h>
#include <model/WindowManager.h>

#include <cstdlib>
#include <malloc.h>
#include <map>
#include <random>
#include <set>

namespace {

long fromEnvironment(const char* name, long fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

// What a person switching windows expects of each window, as the driver
// made it.
struct TruthWindow {
    pid_t pid { 0 };
    bool titled { false };
    bool dialog { false };
    bool vanished { false };
    uint64_t space { 1 };
    // Moved to another space since the last space change: nothing tells
    // the system of such a move until the next space change.
    bool moved { false };
};

struct TruthApp {
    // Dashboard widgets are never switched to.
    bool switchable { true };
    bool hung { false };
};

class RandomDesktop {
public:
    RandomDesktop(SimDesktop& desktop, uint32_t seed)
        : m_desktop(desktop)
        , m_random(seed)
    {
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }
    template <class Map> typename Map::key_type any(const Map& map)
    {
        auto it = map.begin();
        std::advance(it, pick(static_cast<int>(map.size())));
        return it->first;
    }

    const std::map<pid_t, TruthApp>& apps() const { return m_apps; }
    const std::map<CGWindowID, TruthWindow>& windows() const { return m_windows; }
    uint64_t space() const { return m_space; }
    // What the driver knows of a window, for messages.
    std::string describe(CGWindowID number) const
    {
        auto w = m_windows.find(number);
        if (w == m_windows.end())
            return "closed or quit";
        const auto& app = m_apps.at(w->second.pid);
        return "pid " + std::to_string(w->second.pid) + (app.switchable ? "" : ", dashboard") + (app.hung ? ", hung" : "")
            + (w->second.titled ? "" : ", untitled") + (w->second.dialog ? ", dialog" : "") + (w->second.vanished ? ", vanished" : "")
            + ", space " + std::to_string(w->second.space) + (w->second.moved ? " (moved)" : "");
    }

    // Whether the window must be listed, may be listed, or must not be.
    enum class Expect { Listed, Either, NotListed };
    Expect expectation(CGWindowID number) const
    {
        auto w = m_windows.find(number);
        if (w == m_windows.end())
            return Expect::NotListed;
        const auto& app = m_apps.at(w->second.pid);
        if (!app.switchable)
            return Expect::NotListed;
        // Nothing can be learnt from an application that does not answer.
        if (app.hung)
            return Expect::Either;
        if (w->second.dialog || w->second.vanished || !w->second.titled)
            return Expect::NotListed;
        // Windows on another space are listed once a scan has seen them.
        if (w->second.moved || (w->second.space != 0 && w->second.space != m_space))
            return Expect::Either;
        return Expect::Listed;
    }

    void step()
    {
        switch (pick(16)) {
        case 0:
            if (m_apps.size() < 10)
                launch();
            break;
        case 1:
            if (!m_apps.empty() && chance(0.5))
                quit(any(m_apps));
            break;
        case 2:
        case 3:
            if (!m_apps.empty())
                open(any(m_apps));
            break;
        case 4:
            if (!m_windows.empty()) {
                CGWindowID number = any(m_windows);
                m_desktop.closeWindow(number);
                m_windows.erase(number);
            }
            break;
        case 5:
            if (!m_windows.empty())
                m_desktop.setWindowMinimized(any(m_windows), chance(0.5));
            break;
        case 6:
            if (!m_apps.empty()) {
                pid_t pid = any(m_apps);
                chance(0.5) ? m_desktop.hideApplication(pid) : m_desktop.unhideApplication(pid);
            }
            break;
        case 7:
            if (chance(0.3)) {
                m_space = m_space == 1 ? 2 : 1;
                m_desktop.switchToSpace(m_space);
                for (auto& entry : m_windows)
                    entry.second.moved = false;
            } else if (!m_windows.empty()) {
                CGWindowID number = any(m_windows);
                m_windows[number].space = static_cast<uint64_t>(pick(3));
                m_windows[number].moved = true;
                m_desktop.setWindowSpace(number, m_windows[number].space);
            }
            break;
        case 8:
        case 9:
            // Titles arrive and change; they do not go away.
            if (!m_windows.empty()) {
                CGWindowID number = any(m_windows);
                m_windows[number].titled = true;
                m_desktop.setWindowTitle(number, "renamed " + std::to_string(m_serial++));
            }
            break;
        case 10:
            if (!m_windows.empty())
                m_desktop.setWindowFrame(any(m_windows), randomFrame());
            break;
        case 11:
            if (!m_apps.empty() && chance(0.3)) {
                pid_t pid = any(m_apps);
                bool hung = !m_apps[pid].hung;
                m_apps[pid].hung = hung;
                m_desktop.setApplicationHung(pid, hung);
                // A person comes back to an application that answers again.
                if (!hung)
                    m_desktop.activateApplication(pid, false);
            }
            break;
        case 12:
            if (!m_windows.empty() && chance(0.2)) {
                CGWindowID number = any(m_windows);
                m_windows[number].vanished = true;
                m_desktop.vanishWindowElement(number);
            }
            break;
        default:
            if (!m_windows.empty())
                m_desktop.focusWindow(any(m_windows));
        }
    }

private:
    CGRect randomFrame() { return CGRectMake(pick(1200), 25 + pick(700), 120 + pick(200), 90 + pick(150)); }

    DesktopWindow makeWindow(pid_t pid)
    {
        TruthWindow truth;
        truth.pid = pid;
        truth.titled = !chance(0.1);
        truth.dialog = chance(0.1);
        truth.space = chance(0.2) ? 2 : 1;
        DesktopWindow w;
        w.number = m_nextWindow++;
        w.pid = pid;
        if (truth.titled)
            w.title = "w" + std::to_string(m_serial++);
        else
            w.title = std::nullopt;
        if (truth.dialog)
            w.subrole = "AXDialog";
        else if (chance(0.05))
            w.subrole = std::nullopt;
        w.space = truth.space;
        w.frame = randomFrame();
        m_windows[w.number] = truth;
        return w;
    }

    void launch()
    {
        DesktopApp app;
        // A process id the desktop already has (its own, say) would be
        // refused: the driver would then keep windows that never opened.
        do
            app.pid = m_nextPid++;
        while (m_desktop.application(app.pid));
        app.name = "App" + std::to_string(app.pid);
        bool dashboard = chance(0.1);
        app.bundleId = dashboard ? "com.apple.dashboard.x" : "org.example.app" + std::to_string(app.pid);
        m_apps[app.pid] = TruthApp { !dashboard, false };
        std::vector<DesktopWindow> list;
        for (int i = pick(4); i > 0; --i)
            list.push_back(makeWindow(app.pid));
        if (!m_desktop.launchApplication(app, list))
            ADD_FAILURE() << "the desktop refused to launch pid " << app.pid;
    }

    void quit(pid_t pid)
    {
        // A hung application cannot be asked politely.
        m_desktop.terminateApplication(pid, true);
        m_apps.erase(pid);
        std::erase_if(m_windows, [&](const auto& entry) { return entry.second.pid == pid; });
    }

    void open(pid_t pid) { m_desktop.openWindow(makeWindow(pid)); }

    SimDesktop& m_desktop;
    std::mt19937 m_random;
    std::map<pid_t, TruthApp> m_apps;
    std::map<CGWindowID, TruthWindow> m_windows;
    uint64_t m_space { 1 };
    pid_t m_nextPid { 200 };
    CGWindowID m_nextWindow { 100000 };
    int m_serial { 0 };
};

size_t heapInUse() { return mallinfo2().uordblks; }

}

TEST(WindowModelRandomized, TheListOfAllWindowsFollowsWhatHappenedWithFlatMemory)
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
    size_t heapAtQuarter = 0;
    for (long i = 0; i < events; ++i) {
        random.step();
        if (random.chance(0.5))
            world.advance(0.05 * random.pick(6));
        if (i == events / 4)
            heapAtQuarter = heapInUse();
        if (i % 10 != 9)
            continue;
        // A quiet point: every delayed update has run; then an all-windows press.
        world.advance(1);
        // The desktop's record of calls is for tests that read it; here it
        // would only grow.
        desktop.clearCallLog();
        model->setFilterType(WindowFilterAll);
        ++checks;

        std::set<CGWindowID> listed;
        for (const auto& w : model->windows()) {
            ASSERT_TRUE(listed.insert(w->windowID()).second) << "window " << w->windowID() << " listed twice, event " << i;
            ASSERT_NE(random.expectation(w->windowID()), RandomDesktop::Expect::NotListed)
                << "window " << w->windowID() << " (" << random.describe(w->windowID()) << ") is listed but should not be, event "
                << i << ", seed " << seed;
        }
        for (const auto& [number, truth] : random.windows())
            ASSERT_TRUE(random.expectation(number) != RandomDesktop::Expect::Listed || listed.count(number))
                << "window " << number << " (" << random.describe(number) << ") is missing, event " << i << ", seed " << seed;

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
    // Before the pictures of quit applications were dropped the heap grew
    // about 17 KB an event; what is left is the desktop's own churn.
    const size_t growth = heapInUse() > heapAtQuarter ? heapInUse() - heapAtQuarter : 0;
    EXPECT_LT(growth, size_t(32) << 20) << "the heap grew " << (growth >> 10) << " KB over the last three quarters";
}
