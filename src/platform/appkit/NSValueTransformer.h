// Value transformers: named converters that bindings apply between a model
// value and what a view shows. The registry is process-wide; registering a
// transformer under a taken name replaces the earlier one.
#pragma once

#include <foundation/NSObject.h>

#include <string>
#include <vector>

inline const std::string NSNegateBooleanTransformerName = "NSNegateBoolean";
inline const std::string NSIsNilTransformerName = "NSIsNil";
inline const std::string NSIsNotNilTransformerName = "NSIsNotNil";
inline const std::string NSKeyedUnarchiveFromDataTransformerName = "NSKeyedUnarchiveFromData";

class NSValueTransformer : public NSObject {
public:
    // Null when nothing is registered under the name.
    static Ref<NSValueTransformer> valueTransformerForName(const std::string& name);
    // A null transformer removes the name.
    static void setValueTransformer(const Ref<NSValueTransformer>& transformer, const std::string& name);
    static std::vector<std::string> valueTransformerNames();

    // The class of the values transformedValue gives (informational).
    virtual std::string transformedValueClass() const { return "NSObject"; }
    virtual bool allowsReverseTransformation() const { return false; }
    // The identity unless a subclass says otherwise.
    virtual Value transformedValue(const Value& value) const { return value; }
    // Nil unless reverse transformation is allowed; then the forward
    // transformation unless a subclass says otherwise.
    virtual Value reverseTransformedValue(const Value& value) const;
};

// Archived data to the object it holds, and back (registered as
// NSKeyedUnarchiveFromDataTransformerName).
class NSKeyedUnarchiveFromDataTransformer final : public NSValueTransformer {
public:
    std::string transformedValueClass() const override { return "NSObject"; }
    bool allowsReverseTransformation() const override { return true; }
    // Data gives its unarchived object; anything else, and data that does
    // not unarchive, gives nil with a log line.
    Value transformedValue(const Value& value) const override;
    // An object gives its archive; nil gives nil.
    Value reverseTransformedValue(const Value& value) const override;
};
