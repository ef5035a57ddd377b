#include "DRDirariv.h"

#include "DRNotificationHelper.h"
#include "DRPreferences.h"

#include <javascriptcore/JSExport.h>

#include <foundation/Log.h>

void DRDirariv::reload()
{
    // The host decides when: it does not replace the context under the
    // calling script, and merges what a load asks for into one load after it.
    if (auto delegate = m_delegate.lock())
        delegate->load();
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
