// The scripting host: finds the configuration file, builds a JavaScript
// context with the layer's globals, evaluates the two bundle scripts and
// the user's file.
// Nothing in the application creates one; a host that wants the layer
// makes one and sends load().
#pragma once

#include "DRDirariv.h"
#include "DRPathWatcher.h"

#include <javascriptcore/JSContext.h>

#include <foundation/NSObject.h>

#include <set>
#include <string>
#include <vector>

class DRAccessibilityObserver;
class DRGlobalEventMonitor;
class DRStorage;

class DRContext : public NSObject, public DRContextDelegate {
public:
    // A script may run this long in one call into the engine before it is
    // stopped, so that a script that never returns cannot freeze the
    // application for good.
    static constexpr double kDefaultExecutionTimeLimit = 5;
    // A burst of changes to the loaded files reloads once, this long after
    // the last change was reported.
    static constexpr double kReloadDelay = 0.5;
    // After an exception notice outside a load, further exceptions are only
    // logged for this many seconds.
    static constexpr double kExceptionNoticeInterval = 10;

    static Ref<DRContext> context();
    DRContext();
    // A host whose configuration file is given instead of discovered.
    explicit DRContext(std::string primaryConfigurationPath);
    ~DRContext() override;

    // Rebuilds preferences, context, globals and scripts. Asked
    // for while one of the current context's scripts runs, it happens once
    // that script has returned.
    void load() override;
    void shouldTerminate(std::function<void()> reply) override;

    const std::string& primaryConfigurationPath() const { return m_primaryConfigurationPath; }
    const Ref<JSContext>& jsContext() const { return m_context; }
    const std::set<std::string>& configurationPaths() const { return m_configurationPaths; }
    const Ref<DRStorage>& storage() const { return m_storage; }
    const Ref<DRAccessibilityObserver>& accessibilityObserver() const { return m_observer; }
    const Ref<DRPathWatcher>& watcher() const { return m_watcher; }
    void setExecutionTimeLimit(double seconds) { m_executionTimeLimit = seconds; }

    // "~/.dirariv.js", "<data>/Dirariv/dirariv.js", "~/.config/dirariv/dirariv.js".
    static std::vector<std::string> configurationCandidates();
    // The first candidate that exists, symbolic links resolved; the first
    // candidate expanded when none does.
    static std::string resolvePrimaryConfigurationPath();

    void resetConfigurationPaths() { m_configurationPaths.clear(); }
    // A require argument as a path: "~" expanded, links resolved, relative
    // paths taken from the configuration file's folder (blanks and all),
    // "." and ".." removed.
    std::string resolvePath(const std::string& path) const;
    void createConfigurationFile(const std::string& path);
    // Reads, preprocesses and evaluates a file in the current context.
    void loadScript(const std::string& path);
    void setupContext();
    void setupAPI();
    // Watches every loaded file (the bundle scripts too) and loads again
    // after they change.
    void resetWatcher();

private:
    friend struct DRRequire;
    void loadScript(const std::string& path, JSContext& context);
    void exceptionRaised(JSContext& context, const JSValue& exception);
    // One pending load, replacing any other: after the delay, on the run
    // loop. A merged load is the one that reloads asked for during a load
    // make; it makes no further one.
    void scheduleLoad(double delay, bool merged = false);
    void load(bool merged);

    std::string m_primaryConfigurationPath;
    Ref<JSContext> m_context;
    std::set<std::string> m_configurationPaths;
    // Window notifications of every running application, and the pointer's
    // moves and clicks, for the script events.
    Ref<DRAccessibilityObserver> m_observer;
    Ref<DRGlobalEventMonitor> m_monitor;
    Ref<DRStorage> m_storage;
    Ref<DRPathWatcher> m_watcher;
    // The files being evaluated now, outermost first: a require of one of
    // them would never end.
    std::vector<std::string> m_evaluating;
    double m_executionTimeLimit { kDefaultExecutionTimeLimit };
    bool m_loading { false };
    double m_nextExceptionNotice { 0 };
    bool m_reloadAskedDuringLoad { false };
};
