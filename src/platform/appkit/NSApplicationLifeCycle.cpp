#include "NSApplication.h"
#include "NSApplicationDelegate.h"
#include "NSWindow.h"

#include <foundation/RunLoop.h>

#include <algorithm>

namespace {
NSApplicationDelegate* delegateOf(const Ref<NSObject>& object) { return dynamic_cast<NSApplicationDelegate*>(object.get()); }
}

void NSApplication::finishLaunching()
{
    if (m_launched)
        return;
    m_launched = true;
    auto object = delegate();
    if (auto d = delegateOf(object))
        d->applicationDidFinishLaunching();
}

void NSApplication::reopen()
{
    auto object = delegate();
    auto windows = orderedWindows();
    bool visible = std::any_of(windows.begin(), windows.end(), [](const Ref<NSWindow>& w) { return w->isVisible(); });
    // The delegate may do its own reopening; the application itself has no
    // document windows to bring back.
    if (auto d = delegateOf(object))
        d->applicationShouldHandleReopen(visible);
}

void NSApplication::terminate(const Ref<NSObject>&)
{
    if (m_terminated)
        return;
    auto object = delegate();
    if (auto d = delegateOf(object))
        d->applicationWillTerminate();
    m_terminated = true;
    // Whatever run is going on (a modal window's, the main one) ends, and
    // so does every run it is nested in.
    RunLoop::main().end();
}
