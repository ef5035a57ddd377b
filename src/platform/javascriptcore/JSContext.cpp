#include "JSContext.h"

#include "JSExport.h"

#include <foundation/Format.h>
#include <foundation/RunLoop.h>

#include <jsc/jsc.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <pthread.h>

// The engine exports its execution time limit without declaring it in its
// public headers; these are its declarations.
extern "C" {
typedef bool (*JSShouldTerminateCallback)(JSContextRef context, void* data);
JS_EXPORT void JSContextGroupSetExecutionTimeLimit(
    JSContextGroupRef group, double limit, JSShouldTerminateCallback callback, void* data);
JS_EXPORT void JSContextGroupClearExecutionTimeLimit(JSContextGroupRef group);
JS_EXPORT JSStringRef JSContextCreateBacktrace(JSContextRef context, unsigned maxStackSize);
// Properties of objects made with a class that no script can see or reach.
JS_EXPORT JSValueRef JSObjectGetPrivateProperty(JSContextRef context, JSObjectRef object, JSStringRef name);
JS_EXPORT bool JSObjectSetPrivateProperty(JSContextRef context, JSObjectRef object, JSStringRef name, JSValueRef value);
}

struct JSManagedReference {
    JSGlobalContextRef context { nullptr };
    JSValueRef value { nullptr };
    const NSObject* owner { nullptr };
    // Held with a protect count until the owner's script object holds it.
    bool isProtected { false };
    bool alive { true };
};

namespace {

std::mutex gRegistryMutex;
std::map<JSGlobalContextRef, JSContext*>& contextRegistry()
{
    static std::map<JSGlobalContextRef, JSContext*> registry;
    return registry;
}

std::vector<JSCallFrame>& callStack()
{
    thread_local std::vector<JSCallFrame> stack;
    return stack;
}

// Exceptions a native function raised for the script calling it.
std::vector<JSValueRef*>& exceptionSlots()
{
    thread_local std::vector<JSValueRef*> slots;
    return slots;
}

// Native objects whose script objects were collected. They are released on
// the run loop, not inside the collector, so that their destructors may
// use the engine.
std::mutex gGraveyardMutex;
std::vector<Ref<NSObject>> gGraveyard;
bool gGraveyardScheduled = false;

void buryLater(Ref<NSObject> object)
{
    std::lock_guard lock(gGraveyardMutex);
    gGraveyard.push_back(std::move(object));
    if (gGraveyardScheduled)
        return;
    gGraveyardScheduled = true;
    // The mark goes with the block, run or dropped unrun (a run loop that is
    // reset), so a later burial schedules again in either case.
    auto mark = std::shared_ptr<void>(nullptr, [](void*) {
        std::lock_guard lock(gGraveyardMutex);
        gGraveyardScheduled = false;
    });
    RunLoop::main().perform([mark] {
        std::vector<Ref<NSObject>> dead;
        {
            std::lock_guard lock(gGraveyardMutex);
            dead.swap(gGraveyard);
            gGraveyardScheduled = false;
        }
    });
}

struct WrapperData {
    Ref<NSObject> object;
    const JSExportClass* exportClass;
    JSContext* context;
    std::shared_ptr<bool> contextAlive;
};

struct FunctionData {
    const JSExportClass::Function* function;
    bool isClassMethod;
    std::string name;
};

}

// The engine's classes behind exported objects, functions and class objects.
struct JSExportRuntime {
    static JSClassRef instanceClass()
    {
        static JSClassRef c = [] {
            JSClassDefinition d = kJSClassDefinitionEmpty;
            d.className = "NativeObject";
            d.getProperty = getProperty;
            d.setProperty = setProperty;
            d.finalize = finalizeInstance;
            return JSClassCreate(&d);
        }();
        return c;
    }
    static JSClassRef functionClass()
    {
        static JSClassRef c = [] {
            JSClassDefinition d = kJSClassDefinitionEmpty;
            d.className = "NativeFunction";
            d.callAsFunction = callFunction;
            d.finalize = [](JSObjectRef o) { delete static_cast<FunctionData*>(JSObjectGetPrivate(o)); };
            return JSClassCreate(&d);
        }();
        return c;
    }
    static JSClassRef constructorClass()
    {
        static JSClassRef c = [] {
            JSClassDefinition d = kJSClassDefinitionEmpty;
            d.className = "NativeClass";
            d.callAsConstructor = construct;
            d.callAsFunction = callClass;
            d.hasInstance = hasInstance;
            return JSClassCreate(&d);
        }();
        return c;
    }

    static JSValueRef getProperty(JSContextRef ctx, JSObjectRef object, JSStringRef name, JSValueRef*)
    {
        auto* data = static_cast<WrapperData*>(JSObjectGetPrivate(object));
        if (!data || !data->object)
            return nullptr;
        const auto* property = data->exportClass->findProperty(stringFromJSString(name));
        if (!property)
            return nullptr;
        return property->getter(ctx, *data->object);
    }

    static bool setProperty(JSContextRef ctx, JSObjectRef object, JSStringRef name, JSValueRef value, JSValueRef*)
    {
        auto* data = static_cast<WrapperData*>(JSObjectGetPrivate(object));
        if (!data || !data->object)
            return false;
        const auto* property = data->exportClass->findProperty(stringFromJSString(name));
        if (!property)
            return false;
        // A read-only property ignores assignments.
        if (property->setter)
            property->setter(ctx, *data->object, value);
        return true;
    }

    static void finalizeInstance(JSObjectRef object)
    {
        auto* data = static_cast<WrapperData*>(JSObjectGetPrivate(object));
        if (!data)
            return;
        if (*data->contextAlive)
            data->context->wrapperFinalized(data->object.get());
        if (data->object)
            buryLater(std::move(data->object));
        delete data;
    }

    // Runs native code for a script: records the call frame for
    // currentArguments and hands an exception raised with setException to
    // the calling script.
    template <class F>
    static JSValueRef runNative(JSContextRef ctx, JSObjectRef thisObject, size_t count, const JSValueRef arguments[],
        JSValueRef* exception, F&& body)
    {
        callStack().push_back({ ctx, thisObject, count, arguments });
        exceptionSlots().push_back(exception);
        JSValueRef result = body(callStack().back());
        exceptionSlots().pop_back();
        callStack().pop_back();
        return result ? result : JSValueMakeUndefined(ctx);
    }

    static JSValueRef callFunction(JSContextRef ctx, JSObjectRef function, JSObjectRef thisObject, size_t count,
        const JSValueRef arguments[], JSValueRef* exception)
    {
        auto* fn = static_cast<FunctionData*>(JSObjectGetPrivate(function));
        if (!fn)
            return JSValueMakeUndefined(ctx);
        NSObject* self = nullptr;
        Ref<NSObject> keep;
        if (!fn->isClassMethod) {
            auto* data = thisObject ? static_cast<WrapperData*>(JSObjectGetPrivate(thisObject)) : nullptr;
            if (!data || !data->object || !JSValueIsObjectOfClass(ctx, thisObject, instanceClass())) {
                if (exception) {
                    auto* context = JSContext::fromRef(ctx);
                    if (context)
                        *exception = context->makeError("Native method " + fn->name + " called on a wrong object.").valueRef();
                }
                return JSValueMakeUndefined(ctx);
            }
            keep = data->object;
            self = keep.get();
        }
        return runNative(ctx, thisObject, count, arguments, exception,
            [&](const JSCallFrame& frame) { return (*fn->function)(frame, self); });
    }

    static JSObjectRef construct(
        JSContextRef ctx, JSObjectRef constructor, size_t count, const JSValueRef arguments[], JSValueRef* exception)
    {
        auto* exportClass = static_cast<const JSExportClass*>(JSObjectGetPrivate(constructor));
        auto* context = JSContext::fromRef(ctx);
        if (!exportClass || !context)
            return nullptr;
        if (!exportClass->m_constructor) {
            *exception = context->makeError(exportClass->name() + " is not a constructor").valueRef();
            return nullptr;
        }
        Ref<NSObject> object;
        runNative(ctx, nullptr, count, arguments, exception, [&](const JSCallFrame& frame) -> JSValueRef {
            object = exportClass->m_constructor(frame);
            return nullptr;
        });
        if (*exception)
            return nullptr;
        if (!object) {
            *exception = context->makeError(exportClass->name() + " could not be created").valueRef();
            return nullptr;
        }
        return JSValueToObject(ctx, context->wrap(object), nullptr);
    }

    // A class object called without new: an error, as for the script's own
    // classes (being callable, it is a function to typeof).
    static JSValueRef callClass(JSContextRef ctx, JSObjectRef constructor, JSObjectRef, size_t, const JSValueRef[], JSValueRef* exception)
    {
        auto* exportClass = static_cast<const JSExportClass*>(JSObjectGetPrivate(constructor));
        if (auto* context = JSContext::fromRef(ctx); context && exportClass)
            *exception = context->makeError("Cannot call a class constructor " + exportClass->name() + " without |new|").valueRef();
        return JSValueMakeUndefined(ctx);
    }

    static bool hasInstance(JSContextRef ctx, JSObjectRef constructor, JSValueRef instance, JSValueRef*)
    {
        auto* exportClass = static_cast<const JSExportClass*>(JSObjectGetPrivate(constructor));
        auto object = JSContext::unwrap(ctx, instance);
        return exportClass && object && exportClass->matches(object.get());
    }

    static JSObjectRef makeFunction(JSContextRef ctx, const std::string& name, const JSExportClass::Function& f, bool isClassMethod)
    {
        JSObjectRef function = JSObjectMake(ctx, functionClass(), new FunctionData { &f, isClassMethod, name });
        // Functions answer call, apply and bind like the script's own.
        JSValue functionPrototype(ctx, JSObjectGetPrototype(ctx, JSObjectMakeFunctionWithCallback(ctx, nullptr, nullptr)));
        JSObjectSetPrototype(ctx, function, functionPrototype.valueRef());
        return function;
    }

    static void defineFunctions(JSContextRef ctx, JSObjectRef target, const std::map<std::string, JSExportClass::Function>& table, bool isClassMethod)
    {
        for (const auto& [name, function] : table) {
            JSStringRef key = makeJSString(name);
            JSObjectSetProperty(ctx, target, key, makeFunction(ctx, name, function, isClassMethod), kJSPropertyAttributeDontEnum, nullptr);
            JSStringRelease(key);
        }
    }
};

namespace {

double secondsOf(clockid_t clock)
{
    timespec now {};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The engine is asked this often (in processor time) whether the running
// call is over one of its limits.
constexpr double kWatchdogInterval = 0.05;

// "#0 inner() at /a.js:2\n#1 outer() at /a.js:7" as
// "inner() at /a.js:2, called from outer() at /a.js:7".
std::string describeBacktrace(const std::string& backtrace)
{
    std::string place;
    size_t start = 0;
    while (start < backtrace.size()) {
        size_t end = backtrace.find('\n', start);
        std::string frame = backtrace.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? backtrace.size() : end + 1;
        if (frame.size() > 1 && frame[0] == '#') {
            size_t blank = frame.find(' ');
            frame = blank == std::string::npos ? std::string() : frame.substr(blank + 1);
        }
        if (frame.empty())
            continue;
        place += (place.empty() ? "" : ", called from ") + frame;
    }
    return place;
}

}

JSVirtualMachine::JSVirtualMachine()
{
    // By default the engine interrupts a running script with a signal, and
    // that interruption is lost once the looping code has been compiled by
    // its top optimising tier: a function that never returns, called a few
    // times in a row (a held hot key, a repeating timer), was stopped the
    // first times and then ran for ever. With polling traps every tier checks
    // for the interruption at loop back edges and calls, so the time limit
    // holds for every call. The option is read when the first virtual machine
    // is made, so it is set before that, once for the process.
    static std::once_flag pollingTraps;
    std::call_once(pollingTraps, [] { jsc_options_set_boolean("usePollingTraps", TRUE); });
    m_group = JSContextGroupCreate();
    m_wallClock = [] { return secondsOf(CLOCK_MONOTONIC); };
}

JSVirtualMachine::~JSVirtualMachine() { JSContextGroupRelease(m_group); }

void JSVirtualMachine::setExecutionTimeLimit(double seconds)
{
    m_limit = seconds > 0 && std::isfinite(seconds) ? seconds : 0;
    if (m_limit > 0)
        armWatchdog();
    else
        JSContextGroupClearExecutionTimeLimit(m_group);
}

void JSVirtualMachine::armWatchdog()
{
    JSContextGroupSetExecutionTimeLimit(m_group, std::min(m_limit, kWatchdogInterval), shouldTerminate, this);
}

// Asked by the engine, on the thread that runs the script, after every
// interval of processor time the call has run.
bool JSVirtualMachine::shouldTerminate(JSContextRef context, void* data)
{
    auto* machine = static_cast<JSVirtualMachine*>(data);
    if (machine->m_limit <= 0)
        return false;
    double processor = machine->m_depth > 0 ? secondsOf(machine->m_processorClock) - machine->m_startProcessor : machine->m_limit;
    double wall = machine->m_depth > 0 ? machine->m_wallClock() - machine->m_startWall : 0;
    std::string limit;
    if (processor >= machine->m_limit)
        limit = stringWithFormat("%g s of processor time", machine->m_limit);
    else if (wall >= kWallTimeFactor * machine->m_limit)
        limit = stringWithFormat("%g s (%g s of wall time)", machine->m_limit, kWallTimeFactor * machine->m_limit);
    if (limit.empty()) {
        // Not yet: the engine asks again after the next interval.
        machine->armWatchdog();
        return false;
    }
    JSStringRef backtrace = JSContextCreateBacktrace(context, 4);
    std::string place = describeBacktrace(stringFromJSString(backtrace));
    if (backtrace)
        JSStringRelease(backtrace);
    std::string what = machine->m_label.empty() ? std::string("a script") : machine->m_label;
    machine->m_terminationReport = what + " ran past the time limit of " + limit + "." + (place.empty() ? "" : " (" + place + ")");
    return true;
}

std::string JSVirtualMachine::takeTerminationReport() { return std::exchange(m_terminationReport, {}); }

JSExecutionScope::JSExecutionScope(JSContextRef context, const std::string& label)
{
    JSContext* owner = JSContext::fromRef(context);
    if (!owner)
        return;
    m_machine = owner->virtualMachine();
    auto& machine = *m_machine;
    if (machine.m_depth++ > 0)
        return;
    machine.m_label = label;
    machine.m_terminationReport.clear();
    if (::pthread_getcpuclockid(::pthread_self(), &machine.m_processorClock) != 0)
        machine.m_processorClock = CLOCK_THREAD_CPUTIME_ID;
    machine.m_startProcessor = secondsOf(machine.m_processorClock);
    machine.m_startWall = machine.m_wallClock();
}

JSExecutionScope::~JSExecutionScope()
{
    if (m_machine)
        --m_machine->m_depth;
}

Ref<JSContext> JSContext::create(Ref<JSVirtualMachine> machine)
{
    if (!machine)
        machine = std::make_shared<JSVirtualMachine>();
    return Ref<JSContext>(new JSContext(std::move(machine)));
}

JSContext::JSContext(Ref<JSVirtualMachine> machine)
    : m_machine(std::move(machine))
    , m_context(JSGlobalContextCreateInGroup(m_machine->group(), nullptr))
{
    std::lock_guard lock(gRegistryMutex);
    contextRegistry()[m_context] = this;
}

JSContext::~JSContext()
{
    invalidate();
    {
        std::lock_guard lock(gRegistryMutex);
        contextRegistry().erase(m_context);
    }
    *m_alive = false;
    for (auto& [exportClass, object] : m_prototypes)
        JSValueUnprotect(m_context, object);
    for (auto& [exportClass, object] : m_classObjects)
        JSValueUnprotect(m_context, object);
    m_exception = {};
    JSGlobalContextRelease(m_context);
}

JSContext* JSContext::fromRef(JSContextRef context)
{
    if (!context)
        return nullptr;
    std::lock_guard lock(gRegistryMutex);
    auto it = contextRegistry().find(JSContextGetGlobalContext(context));
    return it == contextRegistry().end() ? nullptr : it->second;
}

JSValue JSContext::globalObject() { return { m_context, JSContextGetGlobalObject(m_context) }; }

void JSContext::setObject(const std::string& name, const JSValue& value) { globalObject().setProperty(name, value); }

JSValue JSContext::objectForKeyedSubscript(const std::string& name) { return globalObject().property(name); }

JSObjectRef JSContext::prototypeFor(const JSExportClass& exportClass)
{
    auto it = m_prototypes.find(&exportClass);
    if (it != m_prototypes.end())
        return it->second;
    JSObjectRef prototype = JSObjectMake(m_context, nullptr, nullptr);
    JSValueProtect(m_context, prototype);
    m_prototypes[&exportClass] = prototype;
    if (exportClass.parent())
        JSObjectSetPrototype(m_context, prototype, prototypeFor(*exportClass.parent()));
    JSExportRuntime::defineFunctions(m_context, prototype, exportClass.m_methods, false);
    return prototype;
}

JSValue JSContext::classObject(const JSExportClass& exportClass)
{
    auto it = m_classObjects.find(&exportClass);
    if (it != m_classObjects.end())
        return { m_context, it->second };
    JSObjectRef object = JSObjectMake(m_context, JSExportRuntime::constructorClass(), const_cast<JSExportClass*>(&exportClass));
    JSValueProtect(m_context, object);
    m_classObjects[&exportClass] = object;
    for (const JSExportClass* c = &exportClass; c; c = c->parent())
        JSExportRuntime::defineFunctions(m_context, object, c->m_classMethods, true);
    JSValue classValue(m_context, object);
    JSValue prototype(m_context, prototypeFor(exportClass));
    classValue.setProperty("prototype", prototype, true);
    classValue.setProperty("name", JSValue::string(m_context, exportClass.name()), true);
    prototype.setProperty("constructor", classValue, true);
    return classValue;
}

JSValueRef JSContext::wrap(const Ref<NSObject>& object)
{
    if (!object)
        return JSValueMakeUndefined(m_context);
    auto it = m_wrappers.find(object.get());
    if (it != m_wrappers.end())
        return it->second;
    const JSExportClass* exportClass = JSExportClass::classFor(object.get());
    if (!exportClass)
        return JSValueMakeUndefined(m_context);
    auto* data = new WrapperData { object, exportClass, this, m_alive };
    JSObjectRef wrapper = JSObjectMake(m_context, JSExportRuntime::instanceClass(), data);
    JSObjectSetPrototype(m_context, wrapper, prototypeFor(*exportClass));
    m_wrappers[object.get()] = wrapper;
    attachManagedReferences(object.get(), wrapper);
    return wrapper;
}

Ref<NSObject> JSContext::unwrap(JSContextRef context, JSValueRef value)
{
    if (!value || !JSValueIsObjectOfClass(context, value, JSExportRuntime::instanceClass()))
        return nullptr;
    JSObjectRef object = JSValueToObject(context, value, nullptr);
    auto* data = static_cast<WrapperData*>(JSObjectGetPrivate(object));
    return data ? data->object : nullptr;
}

void JSContext::wrapperFinalized(const NSObject* object)
{
    m_wrappers.erase(object);
    auto [begin, end] = m_managed.equal_range(object);
    for (auto it = begin; it != end; ++it)
        it->second->alive = false;
    m_managed.erase(begin, end);
}

void JSContext::adoptManagedReference(const std::shared_ptr<JSManagedReference>& reference)
{
    m_managed.emplace(reference->owner, reference);
    auto it = m_wrappers.find(reference->owner);
    if (it != m_wrappers.end())
        attachManagedReferences(reference->owner, it->second);
}

void JSContext::attachManagedReferences(const NSObject* owner, JSObjectRef wrapper)
{
    auto [begin, end] = m_managed.equal_range(owner);
    for (auto it = begin; it != end; ++it) {
        auto& reference = *it->second;
        if (!reference.isProtected || !reference.alive)
            continue;
        // The script object keeps the value from now on, in a private
        // property that scripts can neither see nor change.
        JSStringRef name = makeJSString("managedValues");
        JSValue list(m_context, JSObjectGetPrivateProperty(m_context, wrapper, name));
        if (!list.isArray()) {
            list = JSValue(m_context, JSObjectMakeArray(m_context, 0, nullptr, nullptr));
            JSObjectSetPrivateProperty(m_context, wrapper, name, list.valueRef());
        }
        JSStringRelease(name);
        unsigned length = list.property("length").toUInt32();
        JSObjectSetPropertyAtIndex(m_context, JSValueToObject(m_context, list.valueRef(), nullptr), length, reference.value, nullptr);
        JSValueUnprotect(m_context, reference.value);
        reference.isProtected = false;
    }
}

JSValue JSContext::evaluateScript(const std::string& script, const std::string& sourceURL)
{
    if (!m_valid)
        return {};
    JSStringRef source = makeJSString(script);
    JSStringRef url = sourceURL.empty() ? nullptr : makeJSString(sourceURL);
    JSValueRef exception = nullptr;
    JSValueRef result = nullptr;
    {
        JSExecutionScope scope(m_context, sourceURL.empty() ? std::string() : "the script " + sourceURL);
        result = JSEvaluateScript(m_context, source, nullptr, url, 1, &exception);
    }
    JSStringRelease(source);
    if (url)
        JSStringRelease(url);
    if (exception) {
        reportException(exception);
        return JSValue::undefined(m_context);
    }
    return { m_context, result };
}

void JSContext::reportException(JSValueRef exception)
{
    JSValue value(m_context, exception);
    if (m_exceptionHandler && m_valid) {
        auto handler = m_exceptionHandler;
        handler(*this, value);
    } else {
        m_exception = value;
    }
}

void JSContext::setException(const JSValue& exception)
{
    auto& slots = exceptionSlots();
    if (!callStack().empty() && JSContextGetGlobalContext(callStack().back().context) == m_context && !slots.empty() && slots.back()) {
        *slots.back() = exception.valueRef();
        // Keep the value reachable until the engine takes it.
        m_exception = exception;
        return;
    }
    reportException(exception.valueRef());
}

JSValue JSContext::makeError(const std::string& message)
{
    JSValueRef argument = JSValue::string(m_context, message).valueRef();
    JSValue keep(m_context, argument);
    return { m_context, JSObjectMakeError(m_context, 1, &argument, nullptr) };
}

JSContext* JSContext::currentContext()
{
    if (callStack().empty())
        return nullptr;
    return fromRef(callStack().back().context);
}

std::vector<JSValue> JSContext::currentArguments()
{
    std::vector<JSValue> arguments;
    if (callStack().empty())
        return arguments;
    const auto& frame = callStack().back();
    for (size_t i = 0; i < frame.count; ++i)
        arguments.emplace_back(frame.context, frame.arguments[i]);
    return arguments;
}

JSValue JSContext::currentThis()
{
    if (callStack().empty() || !callStack().back().thisObject)
        return {};
    return { callStack().back().context, callStack().back().thisObject };
}

Token JSContext::addInvalidationHandler(std::function<void()> handler)
{
    if (!m_valid) {
        handler();
        return {};
    }
    uint64_t id = m_nextHandlerId++;
    m_invalidationHandlers.push_back({ id, std::move(handler) });
    return Token([this, id, alive = m_alive] {
        if (!*alive)
            return;
        std::erase_if(m_invalidationHandlers, [id](const InvalidationEntry& e) { return e.id == id; });
    });
}

void JSContext::invalidate()
{
    if (!m_valid)
        return;
    m_valid = false;
    m_exceptionHandler = nullptr;
    auto handlers = std::move(m_invalidationHandlers);
    m_invalidationHandlers.clear();
    for (auto& entry : handlers)
        entry.handler();
    for (auto& [owner, reference] : m_managed) {
        if (reference->isProtected)
            JSValueUnprotect(m_context, reference->value);
        reference->isProtected = false;
        reference->alive = false;
    }
    m_managed.clear();
    m_exception = {};
}

void JSContext::garbageCollect() { JSGarbageCollect(m_context); }

JSManagedValue::JSManagedValue(const JSValue& value, const NSObject* owner)
{
    JSContext* context = value.context();
    if (!context || !context->isValid() || value.isEmpty())
        return;
    m_reference = std::make_shared<JSManagedReference>();
    m_reference->context = context->globalContextRef();
    m_reference->value = value.valueRef();
    m_reference->owner = owner;
    m_reference->isProtected = true;
    JSValueProtect(m_reference->context, m_reference->value);
    context->adoptManagedReference(m_reference);
}

JSManagedValue::~JSManagedValue()
{
    if (!m_reference)
        return;
    if (m_reference->alive) {
        if (JSContext* context = JSContext::fromRef(m_reference->context)) {
            auto [begin, end] = context->m_managed.equal_range(m_reference->owner);
            for (auto it = begin; it != end; ++it)
                if (it->second == m_reference) {
                    context->m_managed.erase(it);
                    break;
                }
        }
        if (m_reference->isProtected)
            JSValueUnprotect(m_reference->context, m_reference->value);
    }
    m_reference->alive = false;
}

JSValue JSManagedValue::value() const
{
    if (!m_reference || !m_reference->alive)
        return {};
    return { m_reference->context, m_reference->value };
}
