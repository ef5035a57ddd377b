#include "DRHandler.h"

#include <foundation/Log.h>
#include <javascriptcore/JSExport.h>

DRHandler::DRHandler(const JSValue& callback)
    : m_callback(callback, this)
{
    if (JSContext* context = callback.context())
        m_invalidation = context->addInvalidationHandler([this] {
            m_contextInvalidated = true;
            contextDidInvalidate();
        });
}

void DRHandler::warnCollectedWhileEnabled(const std::string& description) const
{
    if (!m_contextInvalidated)
        NSLog("Warning: %@ was collected while enabled and no longer works; keep it in a variable.", description);
}

DRHandler::~DRHandler() = default;

void DRHandler::callWithArguments(const std::vector<Value>& arguments)
{
    JSValue function = m_callback.value();
    if (function.isUndefined())
        return;
    std::vector<JSValue> values;
    values.reserve(arguments.size());
    for (const auto& argument : arguments)
        values.push_back(JSValue::fromValue(function.contextRef(), argument));
    JSExecutionScope scope(function.contextRef(), scriptDescription());
    function.call(values);
}

std::string DRHandler::scriptDescription() const
{
    const JSExportClass* exportClass = JSExportClass::classFor(this);
    return "the callback of a " + (exportClass ? exportClass->name() : std::string("handler"));
}

const JSExportClass& DRHandler::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRHandler>("Handler");
    return c;
}
