// The base of every script handler (key, event, timer and task handlers):
// it holds the script function to call back.
#pragma once

#include <javascriptcore/JSContext.h>

#include <foundation/NSObject.h>
#include <foundation/Token.h>

#include <vector>

class JSExportClass;

class DRHandler : public NSObject {
public:
    // initWithCallback:. The function lives as long as the handler's script
    // object and the script's own references allow.
    explicit DRHandler(const JSValue& callback);
    ~DRHandler() override;

    // Calls the function with the arguments, unless it is undefined or gone;
    // the result is dropped.
    void callWithArguments(const std::vector<Value>& arguments);
    JSValue callback() const { return m_callback.value(); }
    // What runs when the handler calls back, for the time limit's report:
    // "the callback of Key “l” (cmd)".
    virtual std::string scriptDescription() const;

    static const JSExportClass& exportClass();

protected:
    // The context that made the handler has gone (the host reloaded): stop
    // everything that could still call back. Called once, at most.
    virtual void contextDidInvalidate() { }
    // For a handler going away while still enabled: with its context still
    // there, that means the script kept no reference to it and the
    // collector took it, which a script author would not notice otherwise.
    void warnCollectedWhileEnabled(const std::string& description) const;

private:
    JSManagedValue m_callback;
    bool m_contextInvalidated { false };
    Token m_invalidation;
};
