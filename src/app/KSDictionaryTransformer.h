// Shortcuts to and from a plain dictionary {"keyCode": integer,
// "modifierFlags": unsigned integer}. Bindings name it by its class name,
// "KSDictionaryTransformer".
#pragma once

#include "KSShortcut.h"

#include <appkit/NSValueTransformer.h>

class KSDictionaryTransformer : public NSValueTransformer {
public:
    static const std::string kName;
    // Registers a transformer under kName, once.
    static void registerTransformer();

    bool allowsReverseTransformation() const override { return true; }
    // A dictionary whose "keyCode" and "modifierFlags" are integers (numbers,
    // or text that is a whole integer) gives the shortcut; anything else nil.
    Value transformedValue(const Value& value) const override;
    // A shortcut gives its dictionary; anything else an empty dictionary.
    Value reverseTransformedValue(const Value& value) const override;
};
