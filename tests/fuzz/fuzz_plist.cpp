// Property lists, XML and binary: whatever reads writes back in both forms.
// The binary form reads back equal; the XML form keeps dates to the second,
// so it reads back to a value that writes the same XML again.
#include "FuzzTarget.h"

#include <foundation/NSPropertyListSerialization.h>

QV_FUZZ_TARGET(plist)
{
    Value::Bytes bytes(data, data + size);
    std::string error;
    auto value = NSPropertyListSerialization::propertyListWithData(bytes, nullptr, &error);
    if (!value)
        return;
    if (auto binary = NSPropertyListSerialization::dataWithPropertyList(*value, NSPropertyListBinaryFormat_v1_0, &error)) {
        auto again = NSPropertyListSerialization::propertyListWithData(*binary);
        fuzzRequire(again.has_value(), "a written binary property list reads again");
        fuzzRequire(*again == *value, "a written binary property list reads back equal");
    }
    if (auto xml = NSPropertyListSerialization::dataWithPropertyList(*value, NSPropertyListXMLFormat_v1_0, &error)) {
        auto again = NSPropertyListSerialization::propertyListWithData(*xml);
        fuzzRequire(again.has_value(), "a written XML property list reads again");
        auto rewritten = NSPropertyListSerialization::dataWithPropertyList(*again, NSPropertyListXMLFormat_v1_0, &error);
        fuzzRequire(rewritten && *rewritten == *xml, "XML read back writes the same XML");
    }
}
