// Loading a desktop from a scenario file. Every key is checked: an unknown
// key or a value of the wrong type is an error naming the file and the key.
#include "SimDesktop.h"

#include <foundation/JSON.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

namespace {

struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Reader {
public:
    explicit Reader(std::string baseDirectory)
        : m_base(std::move(baseDirectory))
    {
    }

    [[noreturn]] static void fail(const std::string& key, const std::string& problem)
    {
        throw ScenarioError("key \"" + key + "\": " + problem);
    }

    static void allowOnly(const Value& object, const std::string& path, std::initializer_list<const char*> keys)
    {
        std::set<std::string> allowed(keys.begin(), keys.end());
        for (const auto& [key, value] : *object.dictionary()) {
            if (!allowed.count(key))
                fail(join(path, key), "unknown key");
        }
    }

    static std::string join(const std::string& path, const std::string& key) { return path.empty() ? key : path + "." + key; }

    static const Value& require(const Value& object, const std::string& path, const std::string& key)
    {
        const Value& v = object[key];
        if (v.isNil() && !object.dictionary()->count(key))
            fail(join(path, key), "missing");
        return v;
    }

    static bool has(const Value& object, const std::string& key) { return object.dictionary()->count(key) > 0; }

    static const Value& dictionary(const Value& v, const std::string& key)
    {
        if (!v.isDictionary())
            fail(key, "expected an object");
        return v;
    }

    static const Value::Array& array(const Value& v, const std::string& key)
    {
        if (!v.isArray())
            fail(key, "expected an array");
        return *v.array();
    }

    static bool boolean(const Value& v, const std::string& key)
    {
        if (v.type() != Value::Type::Bool)
            fail(key, "expected true or false");
        return v.boolValue();
    }

    static double number(const Value& v, const std::string& key)
    {
        if (v.type() != Value::Type::Integer && v.type() != Value::Type::Double)
            fail(key, "expected a number");
        double d = v.doubleValue();
        if (!std::isfinite(d))
            fail(key, "expected a finite number");
        return d;
    }

    static int64_t integer(const Value& v, const std::string& key, int64_t min, int64_t max)
    {
        if (v.type() != Value::Type::Integer)
            fail(key, "expected an integer");
        int64_t i = v.integerValue();
        if (i < min || i > max)
            fail(key, "out of range (" + std::to_string(min) + " to " + std::to_string(max) + ")");
        return i;
    }

    static std::string string(const Value& v, const std::string& key)
    {
        if (!v.isString())
            fail(key, "expected a string");
        return *v.string();
    }

    static CGRect rect(const Value& v, const std::string& key)
    {
        const auto& a = array(v, key);
        if (a.size() != 4)
            fail(key, "expected [x, y, width, height]");
        CGRect r { { number(a[0], key), number(a[1], key) }, { number(a[2], key), number(a[3], key) } };
        if (r.size.width < 0 || r.size.height < 0)
            fail(key, "width and height must not be negative");
        return r;
    }

    static CGPoint point(const Value& v, const std::string& key)
    {
        const auto& a = array(v, key);
        if (a.size() != 2)
            fail(key, "expected [x, y]");
        return { number(a[0], key), number(a[1], key) };
    }

    std::string path(const std::string& p) const
    {
        if (p.empty() || p[0] == '/' || m_base.empty())
            return p;
        return m_base + "/" + p;
    }

    // A screen's spaces: identifiers, or {"id": n, "fullScreen": true} for
    // a full-screen space.
    void screenSpaces(SimDesktop& desktop, const Value& list, const std::string& p, std::set<uint64_t>& seen)
    {
        const auto& entries = array(list, p);
        if (entries.empty())
            fail(p, "a screen needs at least one space");
        std::vector<DesktopSpace> spaces;
        for (size_t i = 0; i < entries.size(); ++i) {
            std::string q = p + "[" + std::to_string(i) + "]";
            const Value& entry = entries[i];
            DesktopSpace space;
            const Value* id = &entry;
            if (entry.isDictionary()) {
                allowOnly(entry, q, { "id", "fullScreen" });
                id = &require(entry, q, "id");
                if (has(entry, "fullScreen"))
                    space.fullScreen = boolean(entry["fullScreen"], join(q, "fullScreen"));
            }
            space.identifier = static_cast<uint64_t>(integer(*id, entry.isDictionary() ? join(q, "id") : q, 1, INT64_MAX));
            if (!seen.insert(space.identifier).second)
                fail(q, "space " + std::to_string(space.identifier) + " listed twice");
            spaces.push_back(space);
        }
        desktop.setSpaces(desktop.screens().back().displayID, spaces);
    }

    std::shared_ptr<SimDesktop> load(const Value& root)
    {
        auto desktop = std::make_shared<SimDesktop>();
        dictionary(root, "(top level)");
        allowOnly(root, "", { "screens", "apps", "order", "focus", "mouse", "permissions", "currentSpace", "separateSpaces" });

        const auto& screens = array(require(root, "", "screens"), "screens");
        if (screens.empty())
            fail("screens", "at least one screen is needed");
        bool separateSpaces = has(root, "separateSpaces") && boolean(root["separateSpaces"], "separateSpaces");
        desktop->setScreensHaveSeparateSpaces(separateSpaces);
        std::set<uint64_t> spaceIds;
        for (size_t i = 0; i < screens.size(); ++i) {
            std::string p = "screens[" + std::to_string(i) + "]";
            const Value& s = dictionary(screens[i], p);
            allowOnly(s, p, { "frame", "visibleFrame", "picture", "spaces" });
            CGRect frame = rect(require(s, p, "frame"), join(p, "frame"));
            // A screen nothing can be shown on would only fail later, far
            // from its cause.
            if (frame.size.width < 1 || frame.size.height < 1)
                fail(join(p, "frame"), "a screen needs a width and a height of at least 1");
            CGRect visible = has(s, "visibleFrame") ? rect(s["visibleFrame"], join(p, "visibleFrame")) : frame;
            std::string picture = has(s, "picture") ? path(string(s["picture"], join(p, "picture"))) : std::string();
            desktop->addScreen(frame, visible, picture);
            if (has(s, "spaces") && i > 0 && !separateSpaces)
                fail(join(p, "spaces"), "only the first screen lists spaces unless \"separateSpaces\" is true");
            if (has(s, "spaces"))
                screenSpaces(*desktop, s["spaces"], join(p, "spaces"), spaceIds);
        }

        std::map<CGWindowID, std::pair<DesktopApp, DesktopWindow>> windowsById;
        std::vector<CGWindowID> fileOrder;
        std::vector<std::pair<DesktopApp, std::vector<DesktopWindow>>> apps;
        std::set<pid_t> pids;
        if (has(root, "apps")) {
            const auto& list = array(root["apps"], "apps");
            for (size_t i = 0; i < list.size(); ++i) {
                std::string p = "apps[" + std::to_string(i) + "]";
                const Value& a = dictionary(list[i], p);
                allowOnly(a, p, { "pid", "name", "bundleId", "bundlePath", "policy", "hidden", "hung", "agent", "icon", "windows" });
                DesktopApp app;
                app.pid = static_cast<pid_t>(integer(require(a, p, "pid"), join(p, "pid"), 1, 4194304));
                if (app.pid == SimDesktop::kOwnPid)
                    fail(join(p, "pid"), "is the system's own process id");
                if (!pids.insert(app.pid).second)
                    fail(join(p, "pid"), "used twice");
                app.name = string(require(a, p, "name"), join(p, "name"));
                if (has(a, "bundleId") && !a["bundleId"].isNil())
                    app.bundleId = string(a["bundleId"], join(p, "bundleId"));
                app.bundlePath = has(a, "bundlePath") ? string(a["bundlePath"], join(p, "bundlePath")) : "/Applications/" + app.name + ".app";
                if (has(a, "policy")) {
                    std::string policy = string(a["policy"], join(p, "policy"));
                    if (policy == "regular")
                        app.policy = ActivationPolicy::Regular;
                    else if (policy == "accessory")
                        app.policy = ActivationPolicy::Accessory;
                    else if (policy == "prohibited")
                        app.policy = ActivationPolicy::Prohibited;
                    else
                        fail(join(p, "policy"), "expected \"regular\", \"accessory\" or \"prohibited\"");
                }
                if (has(a, "hidden"))
                    app.hidden = boolean(a["hidden"], join(p, "hidden"));
                if (has(a, "hung"))
                    app.hung = boolean(a["hung"], join(p, "hung"));
                if (has(a, "agent"))
                    app.agent = boolean(a["agent"], join(p, "agent"));
                if (has(a, "icon")) {
                    std::string icon = string(a["icon"], join(p, "icon"));
                    char* end = nullptr;
                    unsigned long colour = icon.size() == 7 && icon[0] == '#' ? std::strtoul(icon.c_str() + 1, &end, 16) : 0;
                    if (!end || *end)
                        fail(join(p, "icon"), "expected a colour \"#rrggbb\"");
                    app.iconColor = static_cast<uint32_t>(colour);
                } else {
                    app.iconColor = static_cast<uint32_t>((app.pid * 2654435761u) & 0xffffff);
                }
                std::vector<DesktopWindow> windows;
                if (has(a, "windows")) {
                    const auto& wl = array(a["windows"], join(p, "windows"));
                    for (size_t j = 0; j < wl.size(); ++j)
                        windows.push_back(window(wl[j], join(p, "windows[" + std::to_string(j) + "]"), app, windowsById, fileOrder));
                }
                apps.emplace_back(app, windows);
            }
        }

        // Launch in file order with no windows, then lay the windows out in
        // the stacking order the scenario gives.
        for (auto& [app, windows] : apps)
            desktop->launchApplication(app, {});
        std::vector<CGWindowID> order;
        std::set<CGWindowID> seen;
        if (has(root, "order")) {
            const auto& list = array(root["order"], "order");
            for (size_t i = 0; i < list.size(); ++i) {
                std::string p = "order[" + std::to_string(i) + "]";
                auto id = static_cast<CGWindowID>(integer(list[i], p, 1, UINT32_MAX));
                if (!windowsById.count(id))
                    fail(p, "no window has the id " + std::to_string(id));
                if (!seen.insert(id).second)
                    fail(p, "window " + std::to_string(id) + " listed twice");
                order.push_back(id);
            }
        }
        for (CGWindowID id : fileOrder)
            if (!seen.count(id))
                order.push_back(id);
        // openWindow puts each window in front, so open back to front.
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            auto& [app, w] = windowsById.at(*it);
            desktop->openWindow(w);
        }
        for (auto& [app, windows] : apps)
            if (app.hidden)
                desktop->hideApplication(app.pid);

        if (has(root, "currentSpace"))
            desktop->switchToSpace(static_cast<uint64_t>(integer(root["currentSpace"], "currentSpace", 1, 64)));
        if (has(root, "focus")) {
            auto id = static_cast<CGWindowID>(integer(root["focus"], "focus", 1, UINT32_MAX));
            if (!windowsById.count(id))
                fail("focus", "no window has the id " + std::to_string(id));
            desktop->focusWindow(id);
        } else if (!order.empty()) {
            desktop->activateApplication(windowsById.at(order.front()).first.pid, true);
        }
        auto primary = desktop->screens().front().frame;
        CGPoint mouse { primary.origin.x + primary.size.width / 2, primary.origin.y + primary.size.height / 2 };
        if (has(root, "mouse"))
            mouse = point(root["mouse"], "mouse");
        desktop->moveMouse(mouse);
        if (has(root, "permissions")) {
            const Value& perms = dictionary(root["permissions"], "permissions");
            allowOnly(perms, "permissions", { "accessibility", "screenRecording" });
            if (has(perms, "accessibility"))
                desktop->setAccessibilityTrusted(boolean(perms["accessibility"], "permissions.accessibility"));
            if (has(perms, "screenRecording"))
                desktop->setScreenRecordingGranted(boolean(perms["screenRecording"], "permissions.screenRecording"));
        }
        desktop->clearCallLog();
        return desktop;
    }

    DesktopWindow window(const Value& v, const std::string& p, const DesktopApp& app,
        std::map<CGWindowID, std::pair<DesktopApp, DesktopWindow>>& byId, std::vector<CGWindowID>& fileOrder)
    {
        dictionary(v, p);
        allowOnly(v, p, { "id", "title", "frame", "minimized", "role", "subrole", "layer", "alpha", "space", "closeButton",
                            "zoomButton", "minimizeButton", "movable", "resizable", "refusesMain" });
        DesktopWindow w;
        w.pid = app.pid;
        w.number = static_cast<CGWindowID>(integer(require(v, p, "id"), join(p, "id"), 1, 999));
        if (byId.count(w.number))
            fail(join(p, "id"), "window id " + std::to_string(w.number) + " used twice");
        w.title = std::string();
        if (has(v, "title"))
            w.title = v["title"].isNil() ? std::nullopt : std::optional<std::string>(string(v["title"], join(p, "title")));
        w.frame = rect(require(v, p, "frame"), join(p, "frame"));
        if (has(v, "minimized"))
            w.minimized = boolean(v["minimized"], join(p, "minimized"));
        if (has(v, "role"))
            w.role = string(v["role"], join(p, "role"));
        if (has(v, "subrole"))
            w.subrole = v["subrole"].isNil() ? std::nullopt : std::optional<std::string>(string(v["subrole"], join(p, "subrole")));
        if (has(v, "layer"))
            w.layer = static_cast<int>(integer(v["layer"], join(p, "layer"), -1000, 1000));
        if (has(v, "alpha")) {
            w.alpha = number(v["alpha"], join(p, "alpha"));
            if (w.alpha < 0 || w.alpha > 1)
                fail(join(p, "alpha"), "expected a number from 0 to 1");
        }
        if (has(v, "space"))
            w.space = static_cast<uint64_t>(integer(v["space"], join(p, "space"), 0, 64));
        if (has(v, "closeButton"))
            w.hasCloseButton = boolean(v["closeButton"], join(p, "closeButton"));
        if (has(v, "zoomButton"))
            w.hasZoomButton = boolean(v["zoomButton"], join(p, "zoomButton"));
        if (has(v, "minimizeButton"))
            w.hasMinimizeButton = boolean(v["minimizeButton"], join(p, "minimizeButton"));
        if (has(v, "movable"))
            w.movable = boolean(v["movable"], join(p, "movable"));
        if (has(v, "resizable"))
            w.resizable = boolean(v["resizable"], join(p, "resizable"));
        if (has(v, "refusesMain"))
            w.refusesMain = boolean(v["refusesMain"], join(p, "refusesMain"));
        byId[w.number] = { app, w };
        fileOrder.push_back(w.number);
        return w;
    }

private:
    std::string m_base;
};

std::string directoryOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}

std::shared_ptr<SimDesktop> SimDesktop::fromScenario(const std::string& json, const std::string& sourceName, std::string* error)
{
    JSONError jsonError;
    auto root = parseJSON(json, &jsonError, JSONOptions { .rejectDuplicateKeys = true });
    if (!root) {
        if (error)
            *error = sourceName + ":" + std::to_string(jsonError.line) + ":" + std::to_string(jsonError.column) + ": " + jsonError.message;
        return nullptr;
    }
    try {
        return Reader(sourceName.find('/') != std::string::npos ? directoryOf(sourceName) : std::string()).load(*root);
    } catch (const ScenarioError& e) {
        if (error)
            *error = sourceName + ": " + e.what();
        return nullptr;
    }
}

std::shared_ptr<SimDesktop> SimDesktop::fromFile(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = path + ": cannot be read";
        return nullptr;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    return fromScenario(buffer.str(), path, error);
}

std::string SimDesktop::demoScenarioPath() { return std::string(QV_SOURCE_DIR) + "/resources/desktops/demo.json"; }

std::shared_ptr<SimDesktop> SimDesktop::demo()
{
    std::string error;
    auto desktop = fromFile(demoScenarioPath(), &error);
    if (!desktop)
        throw std::runtime_error("the demo desktop cannot be loaded: " + error);
    return desktop;
}
