// Property lists, XML and binary: whatever reads writes back in both forms.
// The binary form reads back equal; the XML form keeps dates to the second,
// so it reads back to a value that writes the same XML again.
#include "FuzzTarget.h"

#include <foundation/NSPropertyListSerialization.h>

namespace {

// The XML the value writes comes to at least this many bytes (each object
// on a line of its own, indented by its depth, with its text); counting
// stops past the limit.
size_t xmlBytesUpTo(const Value& value, size_t depth, size_t limit)
{
    size_t bytes = depth + 16;
    if (auto text = value.string())
        bytes += text->size();
    else if (auto data = value.data())
        bytes += data->size() * 4 / 3;
    else if (auto array = value.array()) {
        for (const auto& item : *array) {
            if (bytes > limit)
                break;
            bytes += xmlBytesUpTo(item, depth + 1, limit - bytes);
        }
    } else if (auto dictionary = value.dictionary()) {
        for (const auto& [key, item] : *dictionary) {
            if (bytes > limit)
                break;
            bytes += depth + 12 + key.size();
            bytes += xmlBytesUpTo(item, depth + 1, limit - std::min(bytes, limit));
        }
    }
    return bytes;
}

// The library's XML writer grows its buffer a page at a time, so where
// realloc copies (always, under the sanitizers) writing n bytes copies about
// n * n / 8 KB: the tree of a few hundred bytes of binary data that share
// their objects, near the reader's bound, writes some 60 MB of XML and one
// round trip took minutes, past the fuzzer's time-out. The program itself
// writes only binary property lists; XML round trips are checked up to a
// size that still holds every kind of object many times over.
constexpr size_t kMostXMLBytes = size_t(1) << 20;

}

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
    if (xmlBytesUpTo(*value, 0, kMostXMLBytes) > kMostXMLBytes)
        return;
    if (auto xml = NSPropertyListSerialization::dataWithPropertyList(*value, NSPropertyListXMLFormat_v1_0, &error)) {
        auto again = NSPropertyListSerialization::propertyListWithData(*xml);
        fuzzRequire(again.has_value(), "a written XML property list reads again");
        auto rewritten = NSPropertyListSerialization::dataWithPropertyList(*again, NSPropertyListXMLFormat_v1_0, &error);
        fuzzRequire(rewritten && *rewritten == *xml, "XML read back writes the same XML");
    }
}
