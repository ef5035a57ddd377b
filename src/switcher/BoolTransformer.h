// NO exactly when the panel's keyboard shortcuts are on ("KeyboardShotcuts")
// and the value is a text that is not empty; YES otherwise. Registered as
// "BoolTransformer".
#pragma once

#include <appkit/NSValueTransformer.h>

class BoolTransformer final : public NSValueTransformer {
public:
    static constexpr const char* kName = "BoolTransformer";
    // Registers it under its name (done at start-up, and by the first
    // number badge bound to it).
    static void registerTransformer();
    std::string transformedValueClass() const override { return "NSString"; }
    bool allowsReverseTransformation() const override { return false; }
    // A value that is not a text (nil, a number) counts as no text.
    Value transformedValue(const Value& value) const override;
};
