// A running application as scripts see it (the global "App").
#pragma once

#include "DRAXUIElement.h"

#include <appkit/NSRunningApplication.h>

#include <optional>
#include <string>
#include <vector>

class DRWindow;
class JSExportClass;
class NSImage;

class DRApp : public DRAXUIElement {
public:
    // initWithApp:: the application element of its process.
    explicit DRApp(Ref<NSRunningApplication> app);
    static Ref<DRApp> withApp(const Ref<NSRunningApplication>& app);

    const Ref<NSRunningApplication>& app() const { return m_app; }

    pid_t runningProcessIdentifier() const { return m_app->processIdentifier(); }
    std::optional<std::string> bundleIdentifier() const { return m_app->bundleIdentifier(); }
    std::string name() const { return m_app->localizedName(); }
    Ref<NSImage> icon() const;
    bool isActive() const { return m_app->isActive(); }
    bool isHidden() const { return m_app->isHidden(); }
    bool isTerminated() const { return m_app->isTerminated(); }
    Ref<DRWindow> mainWindow() const;
    // Its windows (at most 100), then the "visible" option.
    std::vector<Ref<DRWindow>> windows() const;
    std::vector<Ref<DRWindow>> windowsWithOptions(const Value& options) const;
    bool activate() const;
    bool focus() const;
    bool show() const { return m_app->unhide(); }
    bool hide() const { return m_app->hide(); }
    // {"force": true} forces the quit.
    bool terminate(const Value& options) const;

    static Ref<DRApp> get(const std::string& name);
    // Finds the application of the name as the workspace does and starts
    // it; {"focus": true} brings it to the front. Nothing, with a log line,
    // when no application has the name or it cannot start.
    static Ref<DRApp> launch(const std::string& name, const Value& options);
    static Ref<DRApp> focused();
    static std::vector<Ref<DRApp>> all();

    static const JSExportClass& exportClass();

private:
    Ref<NSRunningApplication> m_app;
};
