#include "DRContext.h"

#include "DRApp.h"
#include "DRAXObserver.h"
#include "DREventHandler.h"
#include "DRGlobalEventMonitor.h"
#include "DRKeyHandler.h"
#include "DRModalWindowController.h"
#include "DRMouse.h"
#include "DRNotificationHelper.h"
#include "DRPaths.h"
#include "DRPreferences.h"
#include "DRShebangPreprocessor.h"
#include "DRSpace.h"
#include "DRStorage.h"
#include "DRTaskHandler.h"
#include "DRTimerHandler.h"
#include "DRWindow.h"
#include "NSScreenDRExtension.h"

#include <javascriptcore/JSExport.h>

#include <foundation/AtomicFile.h>
#include <foundation/Clock.h>
#include <foundation/Log.h>
#include <foundation/NSBundle.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSPathUtilities.h>
#include <foundation/Unicode.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}
}

// The script function "require": holds the host weakly and evaluates in the
// context that calls it.
struct DRRequire {
    static JSClassRef functionClass()
    {
        static JSClassRef c = [] {
            JSClassDefinition d = kJSClassDefinitionEmpty;
            d.className = "require";
            d.callAsFunction = call;
            d.finalize = [](JSObjectRef o) { delete static_cast<Weak<DRContext>*>(JSObjectGetPrivate(o)); };
            return JSClassCreate(&d);
        }();
        return c;
    }

    static JSValue make(JSContext& context, const Weak<DRContext>& host)
    {
        JSContextRef ctx = context.globalContextRef();
        JSObjectRef function = JSObjectMake(ctx, functionClass(), new Weak<DRContext>(host));
        JSObjectSetPrototype(ctx, function, JSObjectGetPrototype(ctx, JSObjectMakeFunctionWithCallback(ctx, nullptr, nullptr)));
        return { ctx, function };
    }

    static JSValueRef call(JSContextRef ctx, JSObjectRef function, JSObjectRef, size_t count, const JSValueRef arguments[],
        JSValueRef* exception)
    {
        auto* weak = static_cast<Weak<DRContext>*>(JSObjectGetPrivate(function));
        auto host = weak ? weak->lock() : nullptr;
        JSContext* caller = JSContext::fromRef(ctx);
        if (!host || !caller || !caller->isValid())
            return JSValueMakeUndefined(ctx);
        std::string argument = count > 0 ? stringFromJSValue(ctx, arguments[0]) : std::string();
        std::string path = host->resolvePath(argument);
        auto fail = [&](const std::string& message) {
            *exception = caller->makeError(message).valueRef();
            return JSValueMakeUndefined(ctx);
        };
        struct stat info {};
        // Only a file is evaluated and watched: require(".") would watch the
        // whole folder and reload at every change in it.
        if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return fail(stringWithFormat("Require: File “%@” does not exist.", path));
        if (std::find(host->m_evaluating.begin(), host->m_evaluating.end(), path) != host->m_evaluating.end())
            return fail(stringWithFormat("Require: File “%@” is already being loaded.", path));
        host->loadScript(path, *caller);
        return JSValueMakeUndefined(ctx);
    }
};

Ref<DRContext> DRContext::context() { return makeRef<DRContext>(); }

DRContext::DRContext()
    : DRContext(resolvePrimaryConfigurationPath())
{
}

DRContext::DRContext(std::string primaryConfigurationPath)
    : m_primaryConfigurationPath(std::move(primaryConfigurationPath))
    , m_observer(DRAccessibilityObserver::observer())
    , m_monitor(DRGlobalEventMonitor::monitor())
    , m_storage(DRStorage::storage())
{
}

DRContext::~DRContext()
{
    cancelPreviousPerformRequestsWithTarget(this);
    if (m_context)
        m_context->invalidate();
}

std::vector<std::string> DRContext::configurationCandidates()
{
    // Made at each use: the support directory follows the environment.
    return { "~/.dirariv.js", DRSupportDirectory() + "/dirariv.js", "~/.config/dirariv/dirariv.js" };
}

std::string DRContext::resolvePrimaryConfigurationPath()
{
    for (const auto& candidate : configurationCandidates()) {
        std::string path = stringByResolvingSymlinksInPath(candidate);
        if (fileExists(path))
            return path;
    }
    return stringByExpandingTildeInPath(configurationCandidates().front());
}

void DRContext::load() { load(false); }

void DRContext::load(bool merged)
{
    if (m_loading) {
        // Asked for by a script this load evaluates: every such request
        // makes one load after this one.
        m_reloadAskedDuringLoad = true;
        return;
    }
    if (m_context && JSContext::currentContext() == m_context.get()) {
        // Replacing the context under the script that is running in it
        // would pull its globals away mid-call: load once it has returned.
        scheduleLoad(0);
        return;
    }
    m_loading = true;
    m_reloadAskedDuringLoad = false;
    m_nextExceptionNotice = 0;
    DRPreferences::sharedPreferences().reset();
    resetConfigurationPaths();
    if (!fileExists(m_primaryConfigurationPath))
        createConfigurationFile(m_primaryConfigurationPath);
    setupContext();
    resetWatcher();
    NSLog("Context loaded.");
    m_loading = false;
    if (!std::exchange(m_reloadAskedDuringLoad, false) || merged)
        return;
    // A configuration that reloads while it loads would otherwise reload
    // for ever: the load it asked for runs once, and what that load asks
    // for is dropped.
    NSLog("Warning: Reload asked for while the configuration loaded: it loads once more after the load, and a reload asked for "
          "during that load is dropped.");
    scheduleLoad(0, true);
}

void DRContext::shouldTerminate(std::function<void()> reply)
{
    if (!m_storage || !m_storage->isPersisting()) {
        reply();
        return;
    }
    // Once the writes have ended; the observer ends with the first notice.
    auto token = std::make_shared<Token>();
    auto once = std::make_shared<std::once_flag>();
    *token = NSNotificationCenter::defaultCenter().addObserverForName(
        DRStorageDidPersistNotification, nullptr, nullptr, [token, once, reply, storage = m_storage](const NSNotification&) {
            if (storage->isPersisting())
                return;
            std::call_once(*once, [&] { reply(); });
        });
    if (!m_storage->isPersisting())
        std::call_once(*once, [&] { reply(); });
}

void DRContext::createConfigurationFile(const std::string& path)
{
    std::string directory = stringByDeletingLastPathComponent(path);
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        NSLog("Error: Could not create configuration directory to path “%@”. (%@)", directory, error.message());
        return;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        NSLog("Error: Could not create configuration file to path “%@”.", path);
        return;
    }
    ::close(fd);
    DRNotificationHelper::deliver(stringWithFormat("Configuration file “%@” was created.", path));
}

void DRContext::setupContext()
{
    auto machine = std::make_shared<JSVirtualMachine>();
    machine->setExecutionTimeLimit(m_executionTimeLimit);
    auto previous = std::exchange(m_context, JSContext::create(machine));
    // Everything the previous scripts set up stops before the new ones run:
    // their hot keys free their combinations, their timers and panels end.
    if (previous)
        previous->invalidate();
    Weak<DRContext> weak = selfRef<DRContext>();
    m_context->setExceptionHandler([weak](JSContext& context, const JSValue& exception) {
        if (auto host = weak.lock())
            host->exceptionRaised(context, exception);
    });
    setupAPI();
    auto& bundle = NSBundle::mainBundle();
    loadScript(bundle.pathForResource("lodash.min", "js"));
    loadScript(bundle.pathForResource("dirariv.min", "js"));
    loadScript(m_primaryConfigurationPath);
}

void DRContext::exceptionRaised(JSContext& context, const JSValue& exception)
{
    // A call stopped by the time limit has no line of its own: the report
    // names what ran, where, and the limit it passed.
    std::string termination = context.virtualMachine()->takeTerminationReport();
    // An exception's text may come from the script's own toString.
    JSExecutionScope scope(context.globalContextRef(), "the text of an exception");
    if (!termination.empty()) {
        termination[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(termination[0])));
        NSLog("%@ %@", exception.toString(), termination);
    } else {
        NSLog("%@ (%@:%@)", exception.toString(), exception.property("line").toString(), exception.property("column").toString());
    }
    // Every exception is logged, and each one of a load notifies; after the
    // load, a handler that throws at every tick of a timer notifies once per
    // interval, not at every tick.
    if (!m_loading) {
        double now = Clock::current().now();
        if (now < m_nextExceptionNotice)
            return;
        m_nextExceptionNotice = now + kExceptionNoticeInterval;
    }
    DRNotificationHelper::deliver("Exception raised. Refer to the logs for more information.");
}

void DRContext::setupAPI()
{
    JSContextRef ctx = m_context->globalContextRef();
    Weak<DRContextDelegate> delegate = std::static_pointer_cast<DRContextDelegate>(selfRef<DRContext>());
    // The objects' classes are exported before their objects are wrapped.
    DRDirariv::exportClass();
    DRStorage::exportClass();
    // The globals in their order.
    const std::pair<const char*, JSValue> globals[] = {
        { "Dirariv", JSValue::object(ctx, DRDirariv::withDelegate(delegate)) },
        { "Storage", JSValue::object(ctx, m_storage) },
        { "Key", m_context->classObject(DRKeyHandler::exportClass()) },
        { "Event", m_context->classObject(DREventHandler::exportClass()) },
        { "Timer", m_context->classObject(DRTimerHandler::exportClass()) },
        { "Task", m_context->classObject(DRTaskHandler::exportClass()) },
        { "Modal", m_context->classObject(DRModalWindowController::exportClass()) },
        { "Screen", m_context->classObject(NSScreenDRExtension::exportClass()) },
        { "Space", m_context->classObject(DRSpace::exportClass()) },
        { "Mouse", m_context->classObject(DRMouse::exportClass()) },
        { "App", m_context->classObject(DRApp::exportClass()) },
        { "Window", m_context->classObject(DRWindow::exportClass()) },
        { "require", DRRequire::make(*m_context, selfRef<DRContext>()) },
    };
    for (const auto& [name, value] : globals)
        m_context->setObject(name, value);
}

void DRContext::resetWatcher()
{
    Weak<DRContext> weak = selfRef<DRContext>();
    std::vector<std::string> paths(m_configurationPaths.begin(), m_configurationPaths.end());
    m_watcher = DRPathWatcher::watcherFor(paths, [weak] {
        if (auto host = weak.lock())
            host->scheduleLoad(kReloadDelay);
    });
}

void DRContext::scheduleLoad(double delay, bool merged)
{
    Weak<DRContext> weak = selfRef<DRContext>();
    cancelPreviousPerformRequestsWithTarget(this, "load");
    performAfterDelay("load", delay, [weak, merged] {
        if (auto host = weak.lock())
            host->load(merged);
    });
}

std::string DRContext::resolvePath(const std::string& path) const
{
    std::string resolved = stringByResolvingSymlinksInPath(path);
    if (!isAbsolutePath(resolved))
        resolved = stringByAppendingPathComponent(stringByDeletingLastPathComponent(m_primaryConfigurationPath), resolved);
    return stringByStandardizingPath(resolved);
}

void DRContext::loadScript(const std::string& path)
{
    if (m_context)
        loadScript(path, *m_context);
}

void DRContext::loadScript(const std::string& path, JSContext& context)
{
    std::string text;
    int error = 0;
    if (auto contents = readFileContents(path, &error)) {
        text.assign(contents->begin(), contents->end());
        if (!isValidUTF8(text)) {
            NSLog("Error: Could not read file in path “%@” to string. (%@)", path, std::string("The file is not valid UTF-8 text."));
            text.clear();
        }
    } else {
        NSLog("Error: Could not read file in path “%@” to string. (%@)", path, std::string(std::strerror(error ? error : ENOENT)));
    }
    Ref<NSError> preprocessError;
    // The command is bounded like the scripts: a load never waits for ever.
    text = DRShebangPreprocessor::process(text, path, &preprocessError, m_executionTimeLimit);
    if (preprocessError) {
        auto underlying = preprocessError->underlyingError();
        NSLog("Error: Preprocessing failed. (%@)", underlying ? underlying->localizedFailureReason() : std::string());
        DRNotificationHelper::deliver("Preprocessing failed. Refer to the logs for more information.");
        text.clear();
    }
    m_evaluating.push_back(path);
    context.evaluateScript(text, path);
    m_evaluating.pop_back();
    m_configurationPaths.insert(path);
}
