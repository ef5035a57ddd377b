// JSON text to and from Value (NSJSONSerialization's job).
#pragma once

#include "Value.h"

#include <optional>
#include <string>

struct JSONError {
    std::string message;
    size_t line { 0 };
    size_t column { 0 };
};

struct JSONOptions {
    // An object that names a key twice is an error instead of keeping the
    // last value: for files people write, where the first value would be
    // lost without a word.
    bool rejectDuplicateKeys { false };
};

// Parses a complete JSON text. Integers that fit become integers, other
// numbers doubles. On failure returns nothing and fills the error.
std::optional<Value> parseJSON(const std::string& text, JSONError* error = nullptr, JSONOptions options = {});

// Writes a value as JSON. Data, dates and objects have no JSON form and are
// written as null. Keys come out sorted.
std::string serializeJSON(const Value& value, bool pretty = false);
// Appends the value's JSON to out; pretty lines are indented as inside
// this many levels of arrays and objects.
void appendJSON(std::string& out, const Value& value, bool pretty, int indent = 0);
