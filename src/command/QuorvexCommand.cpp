#include "QuorvexCommand.h"

#include <app/AppController.h>
#include <app/AppDelegate.h>
#include "QuorvexSession.h"

#include <appkit/NSScreen.h>
#include <desktop/sim/SimDesktop.h>
#include <desktop/x11/X11Connection.h>
#include <desktop/x11/X11Desktop.h>
#include <foundation/NSUserDefaults.h>

#include "TerminationSignals.h"

#include <atomic>
#include <cstdlib>
#include <optional>
#include <thread>
#include <foundation/Format.h>
#include <foundation/NSUserDefaults.h>
#include <model/AccessHelper.h>
#include <model/DefaultsKeys.h>
#include <model/NSScreenExtension.h>
#include <model/SWAccessibilityElement.h>
#include <model/SWApplication.h>
#include <model/SWWindow.h>
#include <model/EBEventful.h>
#include <model/WindowManager.h>
#include "PNGFileWriter.h"
#include "SwitcherSnapshot.h"
#include <switcher/CarouselType.h>
#include <graphics/NSBitmapImageRep.h>
#include <graphics/NSImage.h>
#include <services/CGWindow.h>
#include <services/PlatformStartup.h>
#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>

#include <appkit/NSApplication.h>
#include <appkit/NSWindow.h>
#include <foundation/Clock.h>
#include <foundation/NSTimer.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

namespace {

std::string rectText(const CGRect& r)
{
    if (CGRectIsNull(r))
        return "(null)";
    return stringWithFormat("(%g, %g, %g, %g)", r.origin.x, r.origin.y, r.size.width, r.size.height);
}

void usage(std::ostream& err)
{
    err << "usage: quorvex [--x11] [--out DIR]\n"
           "       quorvex --demo [--desktop FILE] [--session FILE] [--out DIR]\n";
}

// How long a second start waits for the running switcher to answer.
constexpr double kReopenAnswerSeconds = 5;

// Answers for a session when no hotkey controller runs (no accessibility).
class NoPanelHost final : public QuorvexSessionHost {
public:
    bool isPanelVisible() override { return false; }
    std::optional<std::string> selectedTitle() override { return std::nullopt; }
    size_t shownCount() override { return 0; }
};

// How long the simulated person looks at the permission window before
// closing it, when the desktop starts without a permission.
constexpr double kPermissionWindowLookSeconds = 5;

// A part of a file name from a text: lower-case letters and digits, every
// other run of characters one dash, none at either end; at most maxLength
// characters.
std::string fileNamePart(const std::string& text, size_t maxLength = std::string::npos)
{
    std::string name;
    for (unsigned char c : text) {
        if (name.size() >= maxLength)
            break;
        if (std::isalnum(c))
            name += static_cast<char>(std::tolower(c));
        else if (!name.empty() && name.back() != '-')
            name += '-';
    }
    if (!name.empty() && name.back() == '-')
        name.pop_back();
    return name;
}

// A file name from a window's number and title.
std::string previewFileName(CGWindowID number, const std::string& title)
{
    // The number tells the windows apart; the title only helps a person find
    // one, so a long one is cut well below the file system's name limit.
    constexpr size_t kMaxTitlePart = 100;
    std::string part = fileNamePart(title, kMaxTitlePart);
    return std::to_string(number) + (part.empty() ? "" : "-" + part) + ".png";
}

}

std::vector<Ref<SWWindow>> printAccessibilityReport(std::ostream& out)
{
    std::vector<Ref<SWWindow>> records;
    auto screens = NSScreen::screens();
    out << "Screens (top-left coordinates):\n";
    for (size_t i = 0; i < screens.size(); ++i) {
        out << "  screen " << i + 1 << ": frame " << rectText(frameIncludingDockAndMenu(*screens[i])) << ", usable frame "
            << rectText(frameWithoutDockOrMenu(*screens[i])) << "\n";
    }
    out << "Windows (through accessibility):\n";
    for (const auto& app : SWApplication::runningApplications()) {
        // Records made directly on the elements: a listing needs no preview,
        // so none is captured here.
        std::vector<Ref<SWWindow>> windows;
        Value elements = app->arrayForKey("AXWindows");
        if (elements.isArray())
            for (const auto& element : *elements.array())
                if (auto window = element.objectAs<AXUIElement>())
                    windows.push_back(makeRef<SWWindow>(window));
        if (windows.empty())
            continue;
        out << "  " << app->appName().value_or("?") << " (pid " << app->processIdentifier() << ")\n";
        for (const auto& window : windows) {
            records.push_back(window);
            out << "    #" << window->windowID() << " \"" << window->title().value_or("") << "\" frame "
                << rectText(window->frame()) << (window->isWindowMinimized() ? ", minimised" : "")
                << (window->isOnScreen() ? ", on screen" : ", off screen") << "\n";
        }
    }
    out << "Permissions:\n";
    out << "  Accessibility: " << (AccessHelper::accessibilityGranted() ? "granted" : "not granted") << "\n";
    out << "  Screen Recording: " << (AccessHelper::recordScreenGranted() ? "granted" : "not granted") << "\n";
    return records;
}

// The report, and the application's window model after its start-up scan.
// The command's lists, previews and pictures use the very model the
// application then runs on, so every window is read and captured once, not
// once for the command and again when the application starts. The model's
// scan and captures run on other threads while the report is printed.
static std::pair<std::vector<Ref<SWWindow>>, Ref<WindowManager>> reportAndStartedWindowModel(std::ostream& out)
{
    auto model = WindowManager::sharedInstance();
    auto reported = printAccessibilityReport(out);
    RunLoop::main().runUntilIdle();
    return { std::move(reported), model };
}

void printModelLists(std::ostream& out, const Ref<WindowManager>& model)
{
    const std::pair<WindowFilterType, const char*> filters[] = {
        { WindowFilterAll, "all windows" },
        { WindowFilterOnScreen, "on-screen windows" },
        { WindowFilterActiveApplication, "windows of the active application" },
    };
    for (const auto& [type, name] : filters) {
        model->setFilterType(type);
        RunLoop::main().runUntilIdle();
        auto list = model->windows();
        std::stable_sort(list.begin(), list.end(), [](const Ref<SWWindow>& a, const Ref<SWWindow>& b) { return a->sortOrder() < b->sortOrder(); });
        out << "Model, " << name << " (most recent first):\n";
        for (const auto& window : list) {
            auto badge = window->hotkeyIndexText().value_or("");
            out << "  [" << (badge.empty() ? " " : badge) << "] " << window->appName().value_or("?") << ": \""
                << window->title().value_or("") << "\"\n";
        }
    }
}

// Threads that compress the pictures the command writes.
unsigned pictureWriterThreads()
{
    constexpr unsigned kMostThreads = 8;
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
}

bool writePreviews(const std::string& directory, const std::vector<Ref<SWWindow>>& windows,
    const Ref<WindowManager>& model, std::ostream& out, std::ostream& err)
{
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        err << "quorvex: cannot create " << directory << ": " << error.message() << "\n";
        return false;
    }
    // An on-screen window the model lists has its preview in the model's
    // record, captured when the record was made. Any other window is
    // captured now through the report's record, so that the model's records
    // stay as the model left them (the pictures show the model's previews).
    std::vector<Ref<SWWindow>> sources;
    sources.reserve(windows.size());
    for (const auto& window : windows) {
        Ref<SWWindow> source = window;
        if (model && window->isOnScreen())
            for (const auto& listed : model->allWindows())
                if (listed->isEqual(window.get())) {
                    source = listed;
                    break;
                }
        if (source == window)
            source->updatePreview();
        sources.push_back(source);
    }
    RunLoop::main().runUntilIdle();
    PNGFileWriter writer(pictureWriterThreads());
    std::vector<std::string> paths;
    for (const auto& window : sources) {
        auto image = window->previewImage();
        auto rep = image && !image->representations().empty() ? dynamicRef<NSBitmapImageRep>(image->representations().front()) : nullptr;
        if (!rep)
            continue;
        paths.push_back(directory + "/" + previewFileName(window->windowID(), window->title().value_or("")));
        writer.write(rep->CGImage(), paths.back());
    }
    if (auto failed = writer.finish()) {
        err << "quorvex: cannot write " << paths[*failed] << "\n";
        return false;
    }
    out << "Window previews: " << paths.size() << " written to " << directory << "\n";
    return true;
}

bool writePanelPictures(const std::string& directory, const Ref<WindowManager>& model, std::ostream& out, std::ostream& err)
{
    // The pictures show the panel as the application will run it: settings
    // that a first launch has not written yet take their first values.
    SwitcherSettings firstLaunch;
    for (const auto& [key, value] : AppDelegate::panelFirstLaunchDefaults())
        if (NSUserDefaults::standardUserDefaults()->objectForKey(key).isNil()) firstLaunch.emplace_back(key, value);
    auto with = [&firstLaunch](SwitcherSettings settings) {
        for (const auto& entry : firstLaunch)
            if (std::none_of(settings.begin(), settings.end(), [&](const auto& s) { return s.first == entry.first; }))
                settings.push_back(entry);
        return settings;
    };
    // The model's first order numbers and badges, as when a person first
    // opens the panel.
    RunLoop::main().runFor(std::max(WindowManager::kFirstSortOrderDelay, WindowManager::kBadgesDelay));
    struct Picture {
        SwitcherSettings settings;
        std::string path;
        // What the picture shows, in its line and in its error.
        std::string shown;
        std::string failure;
    };
    std::vector<Picture> pictures;
    const std::pair<SwitcherTheme, const char*> themes[] = {
        { SwitcherThemeLight, "light" }, { SwitcherThemeDark, "dark" }, { SwitcherThemeUltraDark, "ultra-dark" }
    };
    for (const auto& [theme, name] : themes)
        pictures.push_back({ with({ { DefaultsKey::ThemeIndex, Value(int64_t(theme)) } }),
            directory + "/panel-" + name + ".png", name + std::string(" theme"), "the " + std::string(name) + " panel picture" });
    const std::tuple<SwitcherLayout, const char*, const char*> lists[] = {
        { SwitcherLayoutList, "list", "list" },
        { SwitcherLayoutListWithoutSecondColumn, "list-one-column", "list without its second column" },
    };
    for (const auto& [layout, file, name] : lists)
        pictures.push_back({ with({ { DefaultsKey::LayoutType, Value(int64_t(layout)) } }),
            directory + "/panel-" + file + ".png", name, "the " + std::string(name) + " picture" });
    for (int64_t style = 0; style < kCarouselTypeCount; ++style) {
        std::string name = CarouselTypeName(style);
        SwitcherSettings settings = { { DefaultsKey::LayoutType, Value(int64_t(SwitcherLayoutCarousel)) },
            { DefaultsKey::Style3DIndex, Value(style) } };
        pictures.push_back({ with(settings), directory + "/panel-carousel-" + fileNamePart(name) + ".png",
            "carousel, " + name, "the " + name + " carousel picture" });
    }
    // Each picture is compressed while the next is taken; a line is printed
    // once its file is written, in order, up to the first that failed.
    PNGFileWriter writer(pictureWriterThreads());
    auto report = [&](size_t taken) {
        auto failed = writer.finish();
        size_t written = failed ? *failed : taken;
        for (size_t i = 0; i < written; ++i)
            out << "Switcher panel (" << pictures[i].shown << "): " << pictures[i].path << "\n";
        if (failed)
            err << "quorvex: " << pictures[*failed].failure << ": cannot write " << pictures[*failed].path << "\n";
        return !failed;
    };
    for (size_t i = 0; i < pictures.size(); ++i) {
        std::string error;
        auto picture = takeSwitcherSnapshot(pictures[i].settings, model, &error);
        if (!picture) {
            if (report(i))
                err << "quorvex: " << pictures[i].failure << ": " << error << "\n";
            return false;
        }
        writer.write(std::move(picture), pictures[i].path);
    }
    auto r= report(pictures.size()); return r;
}

namespace {

// Runs the system on the X11 session of $DISPLAY as the display's one
// switcher until a signal (SIGINT, SIGTERM) or the status menu's Quit ends
// it (status 0) or the server goes away (status 1), with the settings as
// they were last written. Where a switcher runs already, it is asked to
// reopen and this start ends. Window previews are written only to an
// --out folder that was asked for.
int runOnX11(const std::optional<std::string>& outDirectory, std::ostream& out, std::ostream& err)
{
    Clock::setCurrent(std::make_shared<SystemClock>());
    std::string error;
    auto askToReopen = [&]() -> std::optional<int> {
        switch (X11Desktop::askRunningSwitcherToReopen("", kReopenAnswerSeconds, &error)) {
        case X11Desktop::ReopenAnswer::NoneRunning:
            return std::nullopt;
        case X11Desktop::ReopenAnswer::Reopened:
            out << "Quorvex is already running on the X display \"" << std::getenv("DISPLAY")
                << "\": it was asked to reopen.\n";
            return 0;
        case X11Desktop::ReopenAnswer::NoDisplay:
        case X11Desktop::ReopenAnswer::NoAnswer:
            break;
        }
        err << "quorvex: " << error << "\n";
        return 1;
    };
    if (auto status = askToReopen())
        return *status;
    auto desktop = X11Desktop::connect("", &error);
    if (!desktop) {
        err << "quorvex: " << error << "\n";
        return 1;
    }
    if (!desktop->claimSwitcherSelection()) {
        // Another start took the display in the meantime.
        desktop->stop();
        auto status = askToReopen();
        if (!status)
            err << "quorvex: the X display \"" << desktop->connection().displayName()
                << "\" has another switcher starting; try again\n";
        return status.value_or(1);
    }
    PlatformInstallDesktop(desktop);
    TerminationSignals signals([](int) { NSApp().terminate(nullptr); });
    out << "X11 display \"" << desktop->connection().displayName() << "\", window manager \""
        << desktop->connection().windowManagerName() << "\"\n";
    {
        auto [reported, model] = reportAndStartedWindowModel(out);
        printModelLists(out, model);
        if (outDirectory && !writePreviews(*outDirectory + "/previews", reported, model, out, err))
            return QuorvexSession::OutputError;
    }

    std::atomic<int> status { 0 };
    desktop->setServerLostHandler([&status, &err] {
        RunLoop::main().perform([&status, &err] {
            if (NSApp().hasTerminated())
                return;
            err << "quorvex: the connection to the X server was lost; the settings are kept\n";
            status = 1;
            NSApp().terminate(nullptr);
        });
    });

    auto delegate = makeRef<AppDelegate>();
    NSApp().setDelegate(delegate);
    NSApp().finishLaunching();
    if (!NSApp().hasTerminated()) {
        for (const auto& combination : desktop->grabFailures())
            err << "quorvex: " << combination << " is held by another program; that hotkey does nothing here\n";
        out << "Quorvex is running on X11: Super+Tab, Control+Tab and Alt+Tab as set in the preferences (Super stands for "
               "Command, Alt for Option). Stop it with Control+C.\n"
            << std::flush;
    }
    // Returns at once when the application ended during its launch.
    RunLoop::main().run();
    NSUserDefaults::standardUserDefaults()->synchronize();
    dispatchWaitForBackgroundWork();
    desktop->setServerLostHandler(nullptr);
    desktop->stop();
    return status;
}

}

int runQuorvex(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    bool x11 = false;
    bool demo = false;
    std::string desktopFile;
    std::string sessionFile;
    std::optional<std::string> chosenOut;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--desktop") == 0 && i + 1 < argc) {
            desktopFile = argv[++i];
        } else if (std::strcmp(argv[i], "--session") == 0 && i + 1 < argc) {
            sessionFile = argv[++i];
        } else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            chosenOut = argv[++i];
        } else if (std::strcmp(argv[i], "--x11") == 0) {
            x11 = true;
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            demo = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            usage(out);
            return 0;
        } else {
            err << "quorvex: unknown argument \"" << argv[i] << "\"\n";
            usage(err);
            return QuorvexSession::UsageError;
        }
    }
    if (x11) {
        if (demo || !desktopFile.empty() || !sessionFile.empty()) {
            err << "quorvex: --x11 runs on the real session: it takes no --demo, --desktop or --session\n";
            return QuorvexSession::UsageError;
        }
        return runOnX11(chosenOut, out, err);
    }
    // Started as a desktop program is (from a terminal, a menu or the
    // autostart entry at login), it is the switcher on that desktop; the
    // simulated desktop is asked for by name.
    if (!demo && desktopFile.empty() && sessionFile.empty()) {
        const char* display = std::getenv("DISPLAY");
        if (display && *display)
            return runOnX11(chosenOut, out, err);
        err << "quorvex: no X display to run the switcher on ($DISPLAY is not set); \"quorvex --demo\" plays the demo "
               "on a simulated desktop\n";
        return 1;
    }
    std::string outDirectory = chosenOut.value_or("out");
    std::ifstream sessionStream;
    if (!sessionFile.empty()) {
        std::error_code error;
        if (std::filesystem::is_directory(sessionFile, error)) {
            err << "quorvex: " << sessionFile << ": is a folder, not a session file\n";
            return QuorvexSession::ScriptError;
        }
        sessionStream.open(sessionFile);
        if (!sessionStream) {
            err << "quorvex: " << sessionFile << ": cannot be read\n";
            return QuorvexSession::ScriptError;
        }
    }
    std::string error;
    auto desktop = SimDesktop::fromFile(desktopFile.empty() ? SimDesktop::demoScenarioPath() : desktopFile, &error);
    if (!desktop) {
        err << "quorvex: " << error << "\n";
        return QuorvexSession::ScriptError;
    }
    // Time moves only when the session waits, so every run is the same.
    Clock::setCurrent(std::make_shared<VirtualClock>());
    PlatformInstallDesktop(desktop);
    {
        // The report's records give the previews written; one model serves
        // the lists, the pictures and then the application.
        auto [reported, model] = reportAndStartedWindowModel(out);
        printModelLists(out, model);
        if (!writePreviews(outDirectory + "/previews", reported, model, out, err))
            return QuorvexSession::OutputError;
        if (!writePanelPictures(outDirectory, model, out, err))
            return QuorvexSession::OutputError;
    }

    auto delegate = makeRef<AppDelegate>();
    NSApp().setDelegate(delegate);
    Ref<NSTimer> closePermissionWindow;
    if (!AccessHelper::allAccessGranted()) {
        closePermissionWindow = NSTimer::timerWithTimeInterval(kPermissionWindowLookSeconds, false, [&out](NSTimer&) {
            if (auto window = NSApp().modalWindow()) {
                out << "The permission window was closed after " << kPermissionWindowLookSeconds << " s.\n";
                window->performClose(nullptr);
            }
        });
        closePermissionWindow->scheduleIn(RunLoop::main(), NSModalPanelRunLoopMode);
    }
    NSApp().finishLaunching();
    RunLoop::main().runUntilIdle();
    RunLoop::main().runFor(1);
    if (auto controller = delegate->appController()) {
        const auto& names = controller->registeredHotkeyNames();
        if (names.empty()) {
            out << "Quorvex is running without hotkeys (none could be registered).\n";
        } else {
            std::string list;
            for (size_t i = 0; i < names.size(); ++i)
                list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
            out << "Quorvex is running: the hotkeys are " << list << ".\n";
        }
    } else {
        out << "Quorvex is running without hotkeys (no accessibility permission).\n";
    }

    NoPanelHost noPanel;
    std::unique_ptr<AppControllerSessionHost> panelHost;
    if (delegate->appController())
        panelHost = std::make_unique<AppControllerSessionHost>(*delegate->appController());
    QuorvexSessionHost& host = panelHost ? static_cast<QuorvexSessionHost&>(*panelHost) : noPanel;
    QuorvexSession session(*desktop, host, outDirectory, out, err);
    auto status = sessionFile.empty() ? session.run(std::cin, "standard input") : session.run(sessionStream, sessionFile);
    if (status == QuorvexSession::Passed)
        out << "Session finished.\n";
    return status;
}
