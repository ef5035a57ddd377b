// JavaScript contexts on the engine's C interface: a virtual machine (one
// context group, with an optional execution time limit), contexts with an
// exception handler, and the current call's arguments for exported
// functions. Contexts are used on one thread, the one that made them.
#pragma once

#include "JSValue.h"

#include <foundation/NSObject.h>
#include <foundation/Token.h>

#include <JavaScriptCore/JavaScript.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <time.h>
#include <vector>

class JSExportClass;
struct JSManagedReference;

class JSVirtualMachine {
public:
    // A call may run this many times its limit in wall time (on a busy
    // machine the processor time lags behind) before it is stopped.
    static constexpr double kWallTimeFactor = 3;

    JSVirtualMachine();
    ~JSVirtualMachine();
    JSVirtualMachine(const JSVirtualMachine&) = delete;
    JSVirtualMachine& operator=(const JSVirtualMachine&) = delete;

    JSContextGroupRef group() const { return m_group; }
    // Stops any script that runs longer than this many seconds of processor
    // time, or kWallTimeFactor times as long in wall time, in one call into
    // the engine; it then ends with an exception that cannot be caught.
    // 0 removes the limit.
    void setExecutionTimeLimit(double seconds);
    double executionTimeLimit() const { return m_limit; }

    // Why the last call was stopped, taken once: what ran (the label of the
    // outermost JSExecutionScope), where (the script's functions, files and
    // lines) and which limit it passed. Empty when no call was stopped since
    // the current outermost call began.
    std::string takeTerminationReport();

    // Seconds of a monotonic wall clock; tests replace it to stand for a
    // machine so busy that the script gets little processor time.
    void setWallClock(std::function<double()> clock) { m_wallClock = std::move(clock); }

private:
    friend class JSExecutionScope;
    static bool shouldTerminate(JSContextRef context, void* machine);
    void armWatchdog();

    JSContextGroupRef m_group { nullptr };
    double m_limit { 0 };
    std::function<double()> m_wallClock;
    // The outermost call into the engine now running.
    int m_depth { 0 };
    std::string m_label;
    double m_startWall { 0 };
    double m_startProcessor { 0 };
    clockid_t m_processorClock { CLOCK_THREAD_CPUTIME_ID };
    std::string m_terminationReport;
};

// One call from native code into the engine, for the time limit's report:
// the outermost scope names what runs ("the callback of Key …", a script
// file) and starts the clocks. Nested scopes only count.
class JSExecutionScope {
public:
    JSExecutionScope(JSContextRef context, const std::string& label);
    ~JSExecutionScope();
    JSExecutionScope(const JSExecutionScope&) = delete;
    JSExecutionScope& operator=(const JSExecutionScope&) = delete;

private:
    std::shared_ptr<JSVirtualMachine> m_machine;
};

class JSContext : public std::enable_shared_from_this<JSContext> {
public:
    using ExceptionHandler = std::function<void(JSContext&, const JSValue& exception)>;

    // A context on a new virtual machine when none is given.
    static Ref<JSContext> create(Ref<JSVirtualMachine> machine = nullptr);
    ~JSContext();
    JSContext(const JSContext&) = delete;
    JSContext& operator=(const JSContext&) = delete;

    JSGlobalContextRef globalContextRef() const { return m_context; }
    const Ref<JSVirtualMachine>& virtualMachine() const { return m_machine; }

    JSValue globalObject();
    // context[name] = value.
    void setObject(const std::string& name, const JSValue& value);
    JSValue objectForKeyedSubscript(const std::string& name);
    // The class object of an exported class ("new Key(...)", "Window.all()").
    JSValue classObject(const JSExportClass& exportClass);

    // Evaluates a script. An exception it raises goes to the exception
    // handler and the result is undefined.
    JSValue evaluateScript(const std::string& script, const std::string& sourceURL = {});

    // Called with every exception that a script raises and does not catch,
    // whether it ran from evaluateScript or from a call made from native
    // code. Without a handler the exception is kept as `exception()`.
    void setExceptionHandler(ExceptionHandler handler) { m_exceptionHandler = std::move(handler); }
    JSValue exception() const { return m_exception; }
    // While a native function called from a script runs, the exception is
    // thrown to that script when the function returns; otherwise it goes to
    // the handler.
    void setException(const JSValue& exception);
    // A new Error object with the message.
    JSValue makeError(const std::string& message);
    void reportException(JSValueRef exception);

    // The context of the native function that a script is calling now, and
    // that call's arguments and receiver; null and empty outside of a call.
    static JSContext* currentContext();
    static std::vector<JSValue> currentArguments();
    static JSValue currentThis();

    // Ends the context's life as a host of scripts: every invalidation
    // handler runs (objects made by its scripts stop what they were doing),
    // managed references die, and calls into it do nothing. The engine's
    // context is released once nothing refers to it any more.
    void invalidate();
    bool isValid() const { return m_valid; }
    [[nodiscard]] Token addInvalidationHandler(std::function<void()> handler);

    // Runs the garbage collector now.
    void garbageCollect();

    // The context a raw engine context belongs to; null when none.
    static JSContext* fromRef(JSContextRef context);

    // The script object of a native object: the same object every time for
    // as long as the script keeps it. Nil for a null object.
    JSValueRef wrap(const Ref<NSObject>& object);
    // The native object behind a script object, or null.
    static Ref<NSObject> unwrap(JSContextRef context, JSValueRef value);

private:
    friend class JSExportClass;
    friend class JSManagedValue;
    friend struct JSExportRuntime;
    explicit JSContext(Ref<JSVirtualMachine> machine);

    JSObjectRef prototypeFor(const JSExportClass& exportClass);
    void wrapperFinalized(const NSObject* object);
    void adoptManagedReference(const std::shared_ptr<JSManagedReference>& reference);
    void attachManagedReferences(const NSObject* owner, JSObjectRef wrapper);

    Ref<JSVirtualMachine> m_machine;
    JSGlobalContextRef m_context { nullptr };
    ExceptionHandler m_exceptionHandler;
    JSValue m_exception;
    bool m_valid { true };
    std::map<const JSExportClass*, JSObjectRef> m_prototypes;
    std::map<const JSExportClass*, JSObjectRef> m_classObjects;
    std::map<const NSObject*, JSObjectRef> m_wrappers;
    std::multimap<const NSObject*, std::shared_ptr<JSManagedReference>> m_managed;
    struct InvalidationEntry {
        uint64_t id;
        std::function<void()> handler;
    };
    std::vector<InvalidationEntry> m_invalidationHandlers;
    uint64_t m_nextHandlerId { 1 };
    // Shared with tokens and wrappers, which may outlive the context object.
    std::shared_ptr<bool> m_alive { std::make_shared<bool>(true) };
};

// A script value held by a native object without keeping it alive on its
// own: it lives as long as the script object of its owner does (or, until
// the owner has one, as long as this holder). After the owner's script
// object is collected or the context is invalidated the value is gone.
class JSManagedValue {
public:
    JSManagedValue() = default;
    JSManagedValue(const JSValue& value, const NSObject* owner);
    ~JSManagedValue();
    JSManagedValue(const JSManagedValue&) = delete;
    JSManagedValue& operator=(const JSManagedValue&) = delete;
    JSManagedValue(JSManagedValue&&) noexcept = default;
    JSManagedValue& operator=(JSManagedValue&&) noexcept = default;

    // The value, or an empty value once it is gone.
    JSValue value() const;

private:
    std::shared_ptr<JSManagedReference> m_reference;
};
