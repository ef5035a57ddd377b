// Property lists to and from data, in the XML and binary formats.
#pragma once

#include "Value.h"

#include <optional>
#include <string>

enum NSPropertyListFormat : unsigned {
    NSPropertyListOpenStepFormat = 1,
    NSPropertyListXMLFormat_v1_0 = 100,
    NSPropertyListBinaryFormat_v1_0 = 200,
};

class NSPropertyListSerialization {
public:
    // Property lists hold booleans, integers, doubles, strings (valid UTF-8
    // without NUL characters), data, dates, arrays and dictionaries of them.
    // Nil and objects have no property-list form. The old text format is
    // read by nothing here and written by nothing.
    static bool propertyListIsValidForFormat(
        const Value& plist, NSPropertyListFormat format, std::string* reason = nullptr);

    // Nothing, with the reason in error, when the value is no property list.
    static std::optional<Value::Bytes> dataWithPropertyList(
        const Value& plist, NSPropertyListFormat format, std::string* error = nullptr);

    // Reads XML or binary data and tells which it was. Bad, truncated or
    // over-deep data gives nothing and an error. Keyed-archive references
    // (UIDs) read as dictionaries {"CF$UID": n}, as the XML form writes them,
    // and such a dictionary is written back as a reference.
    static std::optional<Value> propertyListWithData(
        const Value::Bytes& data, NSPropertyListFormat* format = nullptr, std::string* error = nullptr);
};
