// Bindings: a property of one object (the binding) kept equal to a key path
// of another (the observed object), optionally through a value transformer.
// Changes of the key path flow into the binding at once; a view that changes
// its bound value itself writes it back with propagateValue.
//
// The binding does not keep the observed object alive: its owner must.
#pragma once

#include <foundation/NSObject.h>

#include <map>
#include <string>

class NSValueTransformer;

// Keys of infoForBinding and of the options.
inline const std::string NSObservedObjectKey = "NSObservedObject";
inline const std::string NSObservedKeyPathKey = "NSObservedKeyPath";
inline const std::string NSOptionsKey = "NSOptions";
// An NSValueTransformer object.
inline const std::string NSValueTransformerBindingOption = "NSValueTransformer";
// The registered name of a transformer.
inline const std::string NSValueTransformerNameBindingOption = "NSValueTransformerName";
// What the binding shows while the observed value is nil.
inline const std::string NSNullPlaceholderBindingOption = "NSNullPlaceholder";

// Binding names the platform's views and controllers answer.
inline const std::string NSValueBinding = "value";
inline const std::string NSContentBinding = "content";
inline const std::string NSContentArrayBinding = "contentArray";
inline const std::string NSContentValuesBinding = "contentValues";
inline const std::string NSSelectionIndexesBinding = "selectionIndexes";
inline const std::string NSSelectedIndexBinding = "selectedIndex";
inline const std::string NSTitleBinding = "title";
inline const std::string NSEnabledBinding = "enabled";
inline const std::string NSHiddenBinding = "hidden";

class NSKeyValueBindingCreation {
public:
    virtual ~NSKeyValueBindingCreation() = default;

    // Replaces an earlier binding of the same name. The bound value is set
    // at once from the observed key path.
    virtual void bind(const std::string& binding, const Ref<NSObject>& observable, const std::string& keyPath,
        const Value& options = {});
    virtual void unbind(const std::string& binding);
    // {NSObservedObject, NSObservedKeyPath, NSOptions}, or nil when unbound
    // (or when the observed object is gone).
    Value infoForBinding(const std::string& binding) const;
    bool isBound(const std::string& binding) const { return m_bindings.count(binding) > 0; }

    // Writes a value of the binding back to the observed key path, through
    // the reverse transformation when the binding has a transformer that
    // allows one. Does nothing without the binding.
    void propagateValue(const Value& value, const std::string& binding);

    // The transformer named by binding options (the object first, then the
    // name); null when none.
    static Ref<NSValueTransformer> transformerFromOptions(const Value& options);

protected:
    // Applies a value that came through a binding. The default sets the
    // key of the binding's name on the object.
    virtual void setValueForBinding(const Value& value, const std::string& binding);
    // Reads the bound key path again and applies it; false when the binding
    // is not there or its observed object is gone.
    bool apply(const std::string& binding);

private:

    struct Binding {
        Weak<NSObject> observable;
        std::string keyPath;
        Value options;
        Token token;
        // Set while the bound value is written back, so that the change
        // notice of the write does not come back into the view.
        bool propagating { false };
    };
    std::map<std::string, Binding> m_bindings;
};
