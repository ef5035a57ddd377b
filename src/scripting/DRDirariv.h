// The object scripts see as the global "Dirariv": reload, preferences for
// the host, logging and user notifications.
#pragma once

#include <foundation/NSObject.h>
#include <foundation/Value.h>

#include <functional>
#include <string>

class JSExportClass;

// What the host offers the objects of its scripts.
class DRContextDelegate {
public:
    virtual ~DRContextDelegate() = default;
    virtual void load() = 0;
    // Calls the reply once it is safe to quit (no storage write running).
    virtual void shouldTerminate(std::function<void()> reply) = 0;
};

class DRDirariv : public NSObject {
public:
    static Ref<DRDirariv> withDelegate(const Weak<DRContextDelegate>& delegate) { return makeRef<DRDirariv>(delegate); }
    explicit DRDirariv(Weak<DRContextDelegate> delegate)
        : m_delegate(std::move(delegate))
    {
    }

    // Asks the host to load again. The load runs once the calling script
    // has returned (at the next turn of the run loop), never inside the
    // context it is about to replace; several calls make one load.
    void reload();
    // Merges the dictionary into the shared preferences.
    void set(const Value& dictionary);
    // Every argument as the script's own toString, joined by one blank.
    void log();
    void notify(const std::string& message);

    static const JSExportClass& exportClass();

private:
    Weak<DRContextDelegate> m_delegate;
};
