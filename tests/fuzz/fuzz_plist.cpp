// Property lists, XML and binary: whatever reads writes back in both forms
// and reads back equal.
#include "FuzzTarget.h"

#include <foundation/NSPropertyListSerialization.h>

QV_FUZZ_TARGET(plist)
{
    Value::Bytes bytes(data, data + size);
    std::string error;
    auto value = NSPropertyListSerialization::propertyListWithData(bytes, nullptr, &error);
    if (!value)
        return;
    for (auto format : { NSPropertyListBinaryFormat_v1_0, NSPropertyListXMLFormat_v1_0 }) {
        auto written = NSPropertyListSerialization::dataWithPropertyList(*value, format, &error);
        if (!written)
            continue;
        auto again = NSPropertyListSerialization::propertyListWithData(*written);
        fuzzRequire(again.has_value(), "a written property list reads again");
        fuzzRequire(*again == *value, "a written property list reads back equal");
    }
}
