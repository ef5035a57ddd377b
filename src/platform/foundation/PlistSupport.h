// libplist trees, owned and checked: the common ground of property-list
// serialization, keyed archives and the user-defaults file. Internal to the
// foundation layer.
#pragma once

#include "NSPropertyListSerialization.h"
#include "Value.h"

#include <memory>
#include <optional>
#include <plist/plist.h>
#include <string>
#include <unordered_map>

struct PlistDeleter {
    void operator()(void* node) const
    {
        if (node)
            plist_free(static_cast<plist_t>(node));
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Containers nested deeper than this are refused, in data read and values
// written alike, so that no recursion (ours or the library's) can exhaust
// the stack on hostile input.
inline constexpr size_t kMaxPropertyListDepth = 512;

// Binary property lists may refer to one object from many places; the
// tree they are read into holds a copy at each place. Data whose tree would
// hold more nodes than this is refused before it is read, so that a few
// hundred bytes cannot ask for gigabytes.
inline constexpr uint64_t kMaxPropertyListNodes = 1'000'000;

// What the program keeps of its own in property lists (its settings, the
// keyed archives of its shortcuts) is a few dozen objects; data that holds
// more than this is no such file, and taking it would cost every read of a
// setting (a read copies the value: about 1.5 ms at this bound). The files
// are refused before anything is built from them.
inline constexpr uint64_t kMaxSmallPropertyListNodes = 4'096;
inline constexpr size_t kMaxSmallPropertyListBytes = 1 << 20;

// An unsigned number of n bytes, most significant first, as binary
// property lists store their counts, offsets and references.
inline uint64_t readBigEndian(const uint8_t* p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    return v;
}

// The exact seconds of the date nodes of one tree. The library keeps a date
// to the microsecond, and reading the binary form it cuts the stored double
// down to that; a binary file's date read and written again would move. So
// the binary reader and writer, and the conversions to and from values,
// carry the exact seconds beside the tree.
using PlistExactDates = std::unordered_map<plist_t, double>;

// Parses XML or binary property-list data. Binary data is checked for
// consistent offsets, reference cycles and nesting depth before the library
// sees it. Null and an error on failure. With dates, the exact seconds of
// the binary form's dates are added to it.
PlistPtr parsePropertyListData(const uint8_t* bytes, size_t length, NSPropertyListFormat* format, std::string* error,
    PlistExactDates* dates = nullptr, uint64_t maxNodes = kMaxPropertyListNodes);

// The number of nodes of a tree, counting no further than limit + 1.
uint64_t plistNodeCount(plist_t node, uint64_t limit);

// Serializes a tree; nothing and an error when it cannot be written.
std::optional<Value::Bytes> serializePropertyList(
    plist_t node, NSPropertyListFormat format, std::string* error, const PlistExactDates* dates = nullptr);

// The binary form, in time linear in the tree: equal objects, containers
// included, are written once. Refuses a string that is not UTF-8 and
// nesting deeper than kMaxPropertyListDepth. A date found in dates is
// written with those exact seconds.
std::optional<Value::Bytes> writeBinaryPropertyList(
    plist_t root, std::string* error, const PlistExactDates* dates = nullptr);

// Value to tree and back. The conversion refuses what has no property-list
// form. UIDs come back as {"CF$UID": n}, and such a one-entry dictionary
// is written as a UID again, as the XML form of keyed archives has it.
// Either way, dates keeps the exact seconds of the tree's dates.
PlistPtr plistFromValue(const Value& value, std::string* error, PlistExactDates* dates = nullptr);
std::optional<Value> valueFromPlist(plist_t node, std::string* error, const PlistExactDates* dates = nullptr);

// Strings of the tree; the empty string for other node types.
std::string plistStringValue(plist_t node);
// A date node's seconds since the reference date.
double plistDateValue(plist_t node);
// A keyed-archive reference: a UID node, or its XML form {"CF$UID": n}.
bool plistUIDValue(plist_t node, uint64_t* out);
// Integers as signed 64-bit values, the way binary property lists store them.
bool plistIntegerValue(plist_t node, int64_t* out);
