#include "NSKeyValueBinding.h"

#include "NSKeyPathObserver.h"
#include "NSValueTransformer.h"

Ref<NSValueTransformer> NSKeyValueBindingCreation::transformerFromOptions(const Value& options)
{
    if (auto transformer = options[NSValueTransformerBindingOption].objectAs<NSValueTransformer>())
        return transformer;
    if (auto name = options[NSValueTransformerNameBindingOption].string())
        return NSValueTransformer::valueTransformerForName(*name);
    return nullptr;
}

void NSKeyValueBindingCreation::bind(
    const std::string& binding, const Ref<NSObject>& observable, const std::string& keyPath, const Value& options)
{
    unbind(binding);
    if (!observable)
        return;
    Binding& entry = m_bindings[binding];
    entry.observable = observable;
    entry.keyPath = keyPath;
    entry.options = options;
    entry.token = NSObserveKeyPath(*observable, keyPath, 0, [this, binding](const KVOChange&) {
        auto it = m_bindings.find(binding);
        if (it != m_bindings.end() && !it->second.propagating)
            apply(binding);
    });
    apply(binding);
}

void NSKeyValueBindingCreation::unbind(const std::string& binding)
{
    auto it = m_bindings.find(binding);
    if (it == m_bindings.end())
        return;
    // Move the token out first: ending it may run code that looks at the table.
    Token token = std::move(it->second.token);
    m_bindings.erase(it);
    token.reset();
}

Value NSKeyValueBindingCreation::infoForBinding(const std::string& binding) const
{
    auto it = m_bindings.find(binding);
    if (it == m_bindings.end())
        return {};
    auto observable = it->second.observable.lock();
    if (!observable)
        return {};
    return Value(Value::Dictionary {
        { NSObservedObjectKey, Value(observable) },
        { NSObservedKeyPathKey, Value(it->second.keyPath) },
        { NSOptionsKey, it->second.options.isNil() ? Value(Value::Dictionary {}) : it->second.options },
    });
}

bool NSKeyValueBindingCreation::apply(const std::string& binding)
{
    auto it = m_bindings.find(binding);
    if (it == m_bindings.end())
        return false;
    auto observable = it->second.observable.lock();
    if (!observable)
        return false;
    Value value = observable->valueForKeyPath(it->second.keyPath);
    if (auto transformer = transformerFromOptions(it->second.options))
        value = transformer->transformedValue(value);
    if (value.isNil() && it->second.options.isDictionary())
        value = it->second.options[NSNullPlaceholderBindingOption];
    setValueForBinding(value, binding);
    return true;
}

void NSKeyValueBindingCreation::propagateValue(const Value& value, const std::string& binding)
{
    auto it = m_bindings.find(binding);
    if (it == m_bindings.end())
        return;
    auto observable = it->second.observable.lock();
    if (!observable)
        return;
    Value stored = value;
    if (auto transformer = transformerFromOptions(it->second.options)) {
        if (transformer->allowsReverseTransformation())
            stored = transformer->reverseTransformedValue(value);
    }
    it->second.propagating = true;
    observable->setValueForKeyPath(stored, it->second.keyPath);
    // The write may have unbound this binding.
    it = m_bindings.find(binding);
    if (it == m_bindings.end())
        return;
    it->second.propagating = false;
    // The model may have kept another value than the one offered (a write
    // that failed, a value it corrected): the control shows what it holds.
    Value held = observable->valueForKeyPath(it->second.keyPath);
    if (held != stored)
        apply(binding);
}

void NSKeyValueBindingCreation::setValueForBinding(const Value& value, const std::string& binding)
{
    if (auto self = dynamic_cast<NSObject*>(this))
        self->setValueForKey(value, binding);
}
