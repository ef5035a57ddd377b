#include "DRHandler.h"

#include <javascriptcore/JSExport.h>

DRHandler::DRHandler(const JSValue& callback)
    : m_callback(callback, this)
{
    if (JSContext* context = callback.context())
        m_invalidation = context->addInvalidationHandler([this] { contextDidInvalidate(); });
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
    function.call(values);
}

const JSExportClass& DRHandler::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRHandler>("Handler");
    return c;
}
