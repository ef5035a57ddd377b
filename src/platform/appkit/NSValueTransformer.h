// Value transformers: conversions that bindings apply between a bound
// value and the value shown, and a process-wide registry of them by name.
#pragma once

#include <foundation/NSObject.h>

#include <string>
#include <vector>

class NSValueTransformer : public NSObject {
public:
    // Registers the transformer under the name; null removes the name.
    static void setValueTransformer(const Ref<NSValueTransformer>& transformer, const std::string& name);
    // Null when no transformer has the name.
    static Ref<NSValueTransformer> valueTransformerForName(const std::string& name);
    static std::vector<std::string> valueTransformerNames();

    // Whether reverseTransformedValue works (a class operation on the
    // platform; NO unless a subclass says otherwise).
    virtual bool allowsReverseTransformation() const { return false; }
    // The value unchanged, unless a subclass says otherwise.
    virtual Value transformedValue(const Value& value) const { return value; }
    // For a transformer that allows it, the forward transformation unless a
    // subclass says otherwise; for others a logged refusal and nil.
    virtual Value reverseTransformedValue(const Value& value) const;
};

// Archived data to the object it holds, and back.
class NSKeyedUnarchiveFromDataTransformer final : public NSValueTransformer {
public:
    bool allowsReverseTransformation() const override { return true; }
    // Data gives its unarchived object; anything else, and data that does
    // not unarchive, gives nil with a log line.
    Value transformedValue(const Value& value) const override;
    // An object gives its archive; nil gives nil.
    Value reverseTransformedValue(const Value& value) const override;
};

// Registered names of the platform's own transformers.
extern const std::string NSKeyedUnarchiveFromDataTransformerName; // "NSKeyedUnarchiveFromData"

// Binding options that name a transformer or give one.
extern const std::string NSValueTransformerNameBindingOption; // "NSValueTransformerName"
extern const std::string NSValueTransformerBindingOption; // "NSValueTransformer"
