#include "NSPropertyListSerialization.h"

#include "PlistSupport.h"

namespace {
bool writable(NSPropertyListFormat format)
{
    return format == NSPropertyListXMLFormat_v1_0 || format == NSPropertyListBinaryFormat_v1_0;
}
}

bool NSPropertyListSerialization::propertyListIsValidForFormat(
    const Value& plist, NSPropertyListFormat format, std::string* reason)
{
    if (!writable(format)) {
        if (reason)
            *reason = "property lists are written in the XML or binary format only";
        return false;
    }
    return plistFromValue(plist, reason) != nullptr;
}

std::optional<Value::Bytes> NSPropertyListSerialization::dataWithPropertyList(
    const Value& plist, NSPropertyListFormat format, std::string* error)
{
    if (!writable(format)) {
        if (error)
            *error = "property lists are written in the XML or binary format only";
        return std::nullopt;
    }
    PlistExactDates dates;
    auto tree = plistFromValue(plist, error, &dates);
    if (!tree)
        return std::nullopt;
    return serializePropertyList(tree.get(), format, error, &dates);
}

std::optional<Value> NSPropertyListSerialization::propertyListWithData(
    const Value::Bytes& data, NSPropertyListFormat* format, std::string* error)
{
    PlistExactDates dates;
    auto tree = parsePropertyListData(data.data(), data.size(), format, error, &dates);
    if (!tree)
        return std::nullopt;
    return valueFromPlist(tree.get(), error, &dates);
}
