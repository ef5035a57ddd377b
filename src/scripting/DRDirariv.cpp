#include "DRDirariv.h"

#include "DRNotificationHelper.h"
#include "DRPreferences.h"

#include <javascriptcore/JSExport.h>

#include <foundation/Log.h>

void DRDirariv::reload()
{
    auto delegate = m_delegate.lock();
    auto* target = dynamic_cast<NSObject*>(delegate.get());
    if (!delegate || !target)
        return;
    Weak<DRContextDelegate> weak = delegate;
    NSObject::cancelPreviousPerformRequestsWithTarget(target, "load");
    target->performAfterDelay("load", 0, [weak] {
        if (auto host = weak.lock())
            host->load();
    });
}

void DRDirariv::set(const Value& dictionary) { DRPreferences::sharedPreferences().add(dictionary); }

void DRDirariv::log()
{
    std::string line;
    bool first = true;
    for (const auto& argument : JSContext::currentArguments()) {
        line += (first ? "" : " ") + argument.toString();
        first = false;
    }
    NSLog("%@", line);
}

void DRDirariv::notify(const std::string& message) { DRNotificationHelper::deliver(message); }

const JSExportClass& DRDirariv::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRDirariv>("Dirariv")
                                        .method("reload", &DRDirariv::reload)
                                        .method("set:", &DRDirariv::set)
                                        .method("log", &DRDirariv::log)
                                        .method("notify:", &DRDirariv::notify);
    return c;
}
