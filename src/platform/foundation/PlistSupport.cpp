#include "PlistSupport.h"

#include "NSObject.h"
#include "Unicode.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr char kBinaryMagic[] = "bplist00";
constexpr size_t kBinaryHeaderLength = 8;
constexpr size_t kBinaryTrailerLength = 32;

void setError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

// Calls f with each value of a dictionary node, in the tree's order.
template <class F>
void forEachDictionaryValue(plist_t dict, F&& f)
{
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    while (it) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(dict, it, &key, &item);
        std::free(key);
        if (!item)
            break;
        f(item);
    }
    std::free(it);
}

// Walks the object graph of binary data the way the library will, without
// recursion: every offset and reference in range, no cycles, bounded depth.
class BinaryPlistChecker {
public:
    BinaryPlistChecker(const uint8_t* data, size_t length, uint64_t maxNodes)
        : m_data(data)
        , m_length(length)
        , m_maxNodes(maxNodes)
    {
    }

    bool check(std::string& why)
    {
        if (m_length < kBinaryHeaderLength + 1 + kBinaryTrailerLength) {
            why = "the binary property list is truncated";
            return false;
        }
        const uint8_t* trailer = m_data + m_length - kBinaryTrailerLength;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        m_count = readBigEndian(trailer + 8, 8);
        uint64_t top = readBigEndian(trailer + 16, 8);
        m_tableOffset = readBigEndian(trailer + 24, 8);
        size_t tableLimit = m_length - kBinaryTrailerLength;
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8 || m_count == 0 || top >= m_count
            || m_tableOffset <= kBinaryHeaderLength || m_tableOffset > tableLimit
            || m_count > (tableLimit - m_tableOffset) / m_offsetSize) {
            why = "the binary property list has an invalid trailer or offset table";
            return false;
        }
        m_top = top;
        return walk(top, why);
    }

    // After a successful check and the library's reading of the same data
    // into root: the exact seconds of every date of that tree, found by
    // walking the objects and the tree side by side. A container whose size
    // differs between the two (the library keeps one of two equal keys) is
    // left out.
    void exactDates(plist_t root, PlistExactDates& dates) const
    {
        if (!m_sawDate || !root)
            return;
        std::vector<std::pair<uint64_t, plist_t>> pending { { m_top, root } };
        std::vector<uint64_t> children;
        while (!pending.empty()) {
            auto [object, node] = pending.back();
            pending.pop_back();
            uint64_t offset = readBigEndian(m_data + m_tableOffset + object * m_offsetSize, m_offsetSize);
            uint8_t marker = m_data[offset];
            plist_type type = plist_get_node_type(node);
            if (marker == 0x33 && type == PLIST_DATE) {
                uint64_t bits = readBigEndian(m_data + offset + 1, 8);
                double seconds;
                std::memcpy(&seconds, &bits, sizeof seconds);
                dates[node] = seconds;
                continue;
            }
            bool isContainer = false;
            if ((marker >> 4 != 0xA || type != PLIST_ARRAY) && (marker >> 4 != 0xD || type != PLIST_DICT))
                continue;
            if (!inspect(object, children, isContainer) || !isContainer)
                continue;
            if (type == PLIST_ARRAY) {
                if (children.size() != plist_array_get_size(node))
                    continue;
                for (uint32_t i = 0; i < children.size(); ++i)
                    pending.emplace_back(children[i], plist_array_get_item(node, i));
                continue;
            }
            size_t count = children.size() / 2;
            if (count != plist_dict_get_size(node))
                continue;
            size_t i = 0;
            forEachDictionaryValue(node, [&](plist_t item) { pending.emplace_back(children[count + i++], item); });
        }
    }

private:
    static constexpr uint32_t kUnvisited = 0;
    static constexpr uint32_t kOnStack = std::numeric_limits<uint32_t>::max();

    struct Frame {
        uint64_t object;
        std::vector<uint64_t> children;
        size_t next { 0 };
        uint32_t tallestChild { 0 };
        uint64_t expanded { 1 };
    };

    // The count that follows a marker: the marker's low nibble, or an
    // integer object after it when the nibble is 0xF.
    bool readCount(uint8_t marker, uint64_t& pos, uint64_t& count) const
    {
        count = marker & 0x0F;
        if (count != 0x0F)
            return true;
        if (pos >= m_tableOffset || (m_data[pos] >> 4) != 0x1)
            return false;
        unsigned size = 1u << (m_data[pos] & 0x0F);
        ++pos;
        if (size > 8 || size > m_tableOffset - pos)
            return false;
        count = readBigEndian(m_data + pos, size);
        pos += size;
        return true;
    }

    bool fits(uint64_t pos, uint64_t count, uint64_t unit) const
    {
        return pos <= m_tableOffset && count <= (m_tableOffset - pos) / unit;
    }

    // Checks one object and lists its children; false when it is malformed
    // or holds what the library cannot take (a NUL inside a string makes it
    // abort).
    bool inspect(uint64_t object, std::vector<uint64_t>& out, bool& isContainer) const
    {
        out.clear();
        isContainer = false;
        uint64_t offset = readBigEndian(m_data + m_tableOffset + object * m_offsetSize, m_offsetSize);
        if (offset < kBinaryHeaderLength || offset >= m_tableOffset)
            return false;
        uint8_t marker = m_data[offset];
        unsigned type = marker >> 4;
        unsigned info = marker & 0x0F;
        uint64_t pos = offset + 1;
        uint64_t count = 0;
        switch (type) {
        case 0x0:
            return info == 0x0 || info == 0x8 || info == 0x9 || info == 0xF;
        case 0x1:
            return info <= 4 && fits(pos, 1, 1u << info);
        case 0x2:
            return (info == 2 || info == 3) && fits(pos, 1, 1u << info);
        case 0x3:
            m_sawDate = true;
            return info == 3 && fits(pos, 1, 8);
        case 0x4:
            return readCount(marker, pos, count) && fits(pos, count, 1);
        case 0x5:
            if (!readCount(marker, pos, count) || !fits(pos, count, 1))
                return false;
            return std::memchr(m_data + pos, 0, count) == nullptr;
        case 0x6:
            if (!readCount(marker, pos, count) || !fits(pos, count, 2))
                return false;
            for (uint64_t i = 0; i < count; ++i)
                if (m_data[pos + 2 * i] == 0 && m_data[pos + 2 * i + 1] == 0)
                    return false;
            return true;
        case 0x8:
            return fits(pos, 1, info + 1);
        case 0xA:
        case 0xC:
        case 0xD:
            break;
        default:
            return false;
        }
        isContainer = true;
        if (!readCount(marker, pos, count))
            return false;
        uint64_t refs = count;
        if (type == 0xD) {
            if (count > std::numeric_limits<uint64_t>::max() / 2)
                return false;
            refs = count * 2;
        }
        if (!fits(pos, refs, m_refSize))
            return false;
        out.reserve(refs);
        for (uint64_t r = 0; r < refs; ++r) {
            uint64_t index = readBigEndian(m_data + pos + r * m_refSize, m_refSize);
            if (index >= m_count)
                return false;
            out.push_back(index);
        }
        return true;
    }

    bool walk(uint64_t top, std::string& why)
    {
        // Heights of finished objects (1 for a leaf), so that shared
        // sub-graphs are walked once, and the number of nodes each one
        // becomes in the tree the library builds, which copies an object
        // at every reference to it.
        std::vector<uint32_t> height(m_count, kUnvisited);
        std::vector<uint64_t> expanded(m_count, 1);
        std::vector<Frame> stack;
        auto enter = [&](uint64_t object) -> bool {
            Frame frame { object, {}, 0, 0 };
            bool isContainer;
            if (!inspect(object, frame.children, isContainer)) {
                why = "the binary property list has an invalid object";
                return false;
            }
            if (!isContainer) {
                height[object] = 1;
                return true;
            }
            if (stack.size() + 1 > kMaxPropertyListDepth) {
                why = "the property list is nested too deeply";
                return false;
            }
            height[object] = kOnStack;
            stack.push_back(std::move(frame));
            return true;
        };
        if (!enter(top))
            return false;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next < frame.children.size()) {
                uint64_t child = frame.children[frame.next++];
                if (height[child] == kOnStack) {
                    why = "the binary property list refers to itself";
                    return false;
                }
                if (height[child] == kUnvisited) {
                    if (!enter(child))
                        return false;
                    if (height[child] == kOnStack)
                        continue;
                }
                if (stack.size() + height[child] > kMaxPropertyListDepth) {
                    why = "the property list is nested too deeply";
                    return false;
                }
                frame.tallestChild = std::max(frame.tallestChild, height[child]);
                frame.expanded += expanded[child];
                if (frame.expanded > m_maxNodes) {
                    why = "the binary property list expands to more than " + std::to_string(m_maxNodes) + " objects";
                    return false;
                }
                continue;
            }
            uint32_t h = frame.tallestChild + 1;
            uint64_t nodes = frame.expanded;
            height[frame.object] = h;
            expanded[frame.object] = nodes;
            stack.pop_back();
            if (!stack.empty()) {
                stack.back().tallestChild = std::max(stack.back().tallestChild, h);
                stack.back().expanded += nodes;
                if (stack.back().expanded > m_maxNodes) {
                    why = "the binary property list expands to more than " + std::to_string(m_maxNodes) + " objects";
                    return false;
                }
            }
        }
        return true;
    }

    const uint8_t* m_data;
    size_t m_length;
    uint64_t m_maxNodes;
    unsigned m_offsetSize { 0 };
    unsigned m_refSize { 0 };
    uint64_t m_count { 0 };
    uint64_t m_tableOffset { 0 };
    uint64_t m_top { 0 };
    mutable bool m_sawDate { false };
};

bool matchesTag(const uint8_t* data, size_t length, size_t at, const char* name)
{
    size_t n = std::strlen(name);
    if (at + n > length || std::memcmp(data + at, name, n) != 0)
        return false;
    if (at + n == length)
        return true;
    uint8_t next = data[at + n];
    return next == '>' || next == '/' || next == ' ' || next == '\t' || next == '\r' || next == '\n';
}

// The library's XML reader copes with depth, but our conversion and its
// tree release recurse; refuse what nests deeper than we accept anyway.
bool xmlNestingWithinLimit(const uint8_t* data, size_t length)
{
    size_t depth = 0;
    for (size_t i = 0; i < length; ++i) {
        if (data[i] != '<')
            continue;
        bool closing = i + 1 < length && data[i + 1] == '/';
        size_t name = i + 1 + (closing ? 1 : 0);
        if (!matchesTag(data, length, name, "array") && !matchesTag(data, length, name, "dict"))
            continue;
        if (closing) {
            if (depth > 0)
                --depth;
            continue;
        }
        const void* end = std::memchr(data + name, '>', length - name);
        if (!end)
            return true;
        size_t close = static_cast<const uint8_t*>(end) - data;
        if (data[close - 1] == '/')
            continue;
        if (++depth > kMaxPropertyListDepth)
            return false;
    }
    return true;
}

bool looksLikeXML(const uint8_t* data, size_t length)
{
    size_t i = 0;
    if (length >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
        i = 3;
    while (i < length && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n'))
        ++i;
    return i < length && data[i] == '<';
}

} // namespace

PlistPtr parsePropertyListData(
    const uint8_t* bytes, size_t length, NSPropertyListFormat* format, std::string* error, PlistExactDates* dates,
    uint64_t maxNodes)
{
    if (!bytes || length == 0) {
        setError(error, "the data is empty");
        return nullptr;
    }
    if (length > std::numeric_limits<uint32_t>::max()) {
        setError(error, "the data is too large to be a property list");
        return nullptr;
    }
    plist_t root = nullptr;
    if (length >= kBinaryHeaderLength && std::memcmp(bytes, kBinaryMagic, kBinaryHeaderLength) == 0) {
        std::string why;
        BinaryPlistChecker checker(bytes, length, maxNodes);
        if (!checker.check(why)) {
            setError(error, why);
            return nullptr;
        }
        plist_from_bin(reinterpret_cast<const char*>(bytes), static_cast<uint32_t>(length), &root);
        if (dates)
            checker.exactDates(root, *dates);
        if (format)
            *format = NSPropertyListBinaryFormat_v1_0;
    } else if (looksLikeXML(bytes, length)) {
        // XML has no NUL character, and the library aborts on one in text.
        if (std::memchr(bytes, 0, length)) {
            setError(error, "the XML property list holds a NUL character");
            return nullptr;
        }
        if (!xmlNestingWithinLimit(bytes, length)) {
            setError(error, "the property list is nested too deeply");
            return nullptr;
        }
        plist_from_xml(reinterpret_cast<const char*>(bytes), static_cast<uint32_t>(length), &root);
        if (format)
            *format = NSPropertyListXMLFormat_v1_0;
    } else {
        setError(error, "the data is not a binary or XML property list");
        return nullptr;
    }
    if (!root) {
        setError(error, "the property list data is corrupt");
        return nullptr;
    }
    // XML shares nothing, so its size bounds its tree; a bound below the
    // general one is checked on the tree itself.
    if (maxNodes < kMaxPropertyListNodes && plistNodeCount(root, maxNodes) > maxNodes) {
        plist_free(root);
        setError(error, "the property list holds more than " + std::to_string(maxNodes) + " objects");
        return nullptr;
    }
    return PlistPtr(root);
}

uint64_t plistNodeCount(plist_t node, uint64_t limit)
{
    uint64_t count = 0;
    std::vector<plist_t> pending { node };
    while (!pending.empty() && count <= limit) {
        plist_t next = pending.back();
        pending.pop_back();
        ++count;
        plist_type type = plist_get_node_type(next);
        if (type == PLIST_ARRAY) {
            for (uint32_t i = 0, n = plist_array_get_size(next); i < n; ++i)
                pending.push_back(plist_array_get_item(next, i));
        } else if (type == PLIST_DICT) {
            forEachDictionaryValue(next, [&](plist_t item) { pending.push_back(item); });
        }
    }
    return count;
}

std::optional<Value::Bytes> serializePropertyList(
    plist_t node, NSPropertyListFormat format, std::string* error, const PlistExactDates* dates)
{
    char* out = nullptr;
    uint32_t length = 0;
    Value::Bytes bytes;
    if (format == NSPropertyListBinaryFormat_v1_0) {
        return writeBinaryPropertyList(node, error, dates);
    } else if (format == NSPropertyListXMLFormat_v1_0) {
        plist_to_xml(node, &out, &length);
        if (out) {
            bytes.assign(out, out + length);
            plist_to_xml_free(out);
        }
    } else {
        setError(error, "property lists are written in the XML or binary format only");
        return std::nullopt;
    }
    if (!out) {
        setError(error, "the property list could not be serialized");
        return std::nullopt;
    }
    return bytes;
}

namespace {

plist_t newDate(double reference, std::string* error)
{
    if (!std::isfinite(reference) || reference < std::numeric_limits<int32_t>::min()
        || reference >= static_cast<double>(std::numeric_limits<int32_t>::max()) + 1.0) {
        setError(error, "a date lies outside the range a property list can hold");
        return nullptr;
    }
    double whole = std::floor(reference);
    auto seconds = static_cast<int64_t>(whole);
    auto micro = static_cast<int64_t>(std::llround((reference - whole) * 1e6));
    if (micro >= 1000000) {
        ++seconds;
        micro -= 1000000;
    }
    if (seconds > std::numeric_limits<int32_t>::max()) {
        setError(error, "a date lies outside the range a property list can hold");
        return nullptr;
    }
    return plist_new_date(static_cast<int32_t>(seconds), static_cast<int32_t>(micro));
}

bool validString(const std::string& s, std::string* error)
{
    if (s.find('\0') != std::string::npos) {
        setError(error, "a string holds a NUL character");
        return false;
    }
    if (!isValidUTF8(s)) {
        setError(error, "a string is not valid UTF-8");
        return false;
    }
    return true;
}

std::optional<uint64_t> plistUIDFromDictionary(const Value& value)
{
    auto dict = value.dictionary();
    if (!dict || dict->size() != 1)
        return std::nullopt;
    const Value& uid = value["CF$UID"];
    if (uid.type() != Value::Type::Integer || uid.integerValue() < 0)
        return std::nullopt;
    return static_cast<uint64_t>(uid.integerValue());
}

plist_t build(const Value& value, size_t depth, std::string* error, PlistExactDates* dates)
{
    if (depth > kMaxPropertyListDepth) {
        setError(error, "the property list is nested too deeply");
        return nullptr;
    }
    switch (value.type()) {
    case Value::Type::Bool:
        return plist_new_bool(value.boolValue() ? 1 : 0);
    case Value::Type::Integer:
        return plist_new_uint(static_cast<uint64_t>(value.integerValue()));
    case Value::Type::Double:
        return plist_new_real(value.doubleValue());
    case Value::Type::String:
        if (!validString(*value.string(), error))
            return nullptr;
        return plist_new_string(value.string()->c_str());
    case Value::Type::Data: {
        const auto& bytes = *value.data();
        return plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    case Value::Type::Date: {
        double seconds = value.date()->timeIntervalSinceReferenceDate;
        plist_t date = newDate(seconds, error);
        if (date && dates)
            (*dates)[date] = seconds;
        return date;
    }
    case Value::Type::Array: {
        PlistPtr array(plist_new_array());
        for (const auto& element : *value.array()) {
            plist_t item = build(element, depth + 1, error, dates);
            if (!item)
                return nullptr;
            plist_array_append_item(array.get(), item);
        }
        return array.release();
    }
    case Value::Type::Dictionary: {
        // The XML form of a keyed-archive reference becomes one again.
        if (auto uid = plistUIDFromDictionary(value))
            return plist_new_uid(*uid);
        PlistPtr dict(plist_new_dict());
        for (const auto& [key, element] : *value.dictionary()) {
            if (!validString(key, error))
                return nullptr;
            plist_t item = build(element, depth + 1, error, dates);
            if (!item)
                return nullptr;
            plist_dict_set_item(dict.get(), key.c_str(), item);
        }
        return dict.release();
    }
    case Value::Type::Nil:
        setError(error, "nil has no property-list form");
        return nullptr;
    case Value::Type::Object:
        setError(error, "an object of class " + value.object()->className() + " has no property-list form");
        return nullptr;
    }
    return nullptr;
}

std::optional<Value> read(plist_t node, size_t depth, std::string* error, const PlistExactDates* dates)
{
    if (depth > kMaxPropertyListDepth) {
        setError(error, "the property list is nested too deeply");
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_UINT: {
        int64_t i = 0;
        plistIntegerValue(node, &i);
        return Value(i);
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return Value(d);
    }
    case PLIST_STRING:
        return Value(plistStringValue(node));
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        Value::Bytes data;
        if (bytes)
            data.assign(bytes, bytes + length);
        std::free(bytes);
        return Value(std::move(data));
    }
    case PLIST_DATE: {
        if (dates)
            if (auto exact = dates->find(node); exact != dates->end())
                return Value(NSDate { exact->second });
        return Value(NSDate { plistDateValue(node) });
    }
    case PLIST_UID: {
        uint64_t uid = 0;
        plist_get_uid_val(node, &uid);
        return Value(Value::Dictionary { { "CF$UID", Value(static_cast<int64_t>(uid)) } });
    }
    case PLIST_ARRAY: {
        Value::Array array;
        uint32_t count = plist_array_get_size(node);
        array.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            auto element = read(plist_array_get_item(node, i), depth + 1, error, dates);
            if (!element)
                return std::nullopt;
            array.push_back(std::move(*element));
        }
        return Value(std::move(array));
    }
    case PLIST_DICT: {
        Value::Dictionary dict;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        bool ok = true;
        while (ok) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (!item) {
                std::free(key);
                break;
            }
            auto element = read(item, depth + 1, error, dates);
            if (element && key)
                dict.emplace(key, std::move(*element));
            else
                ok = false;
            std::free(key);
        }
        std::free(it);
        if (!ok)
            return std::nullopt;
        return Value(std::move(dict));
    }
    default:
        setError(error, "the property list holds an unknown node");
        return std::nullopt;
    }
}

} // namespace

PlistPtr plistFromValue(const Value& value, std::string* error, PlistExactDates* dates)
{
    return PlistPtr(build(value, 0, error, dates));
}

std::optional<Value> valueFromPlist(plist_t node, std::string* error, const PlistExactDates* dates)
{
    if (!node) {
        setError(error, "there is no property list");
        return std::nullopt;
    }
    return read(node, 0, error, dates);
}

std::string plistStringValue(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return {};
    char* s = nullptr;
    plist_get_string_val(node, &s);
    std::string result = s ? s : "";
    std::free(s);
    return result;
}

double plistDateValue(plist_t node)
{
    int32_t seconds = 0, micro = 0;
    plist_get_date_val(node, &seconds, &micro);
    // The library hands out whole seconds rounded toward zero and the
    // fraction's magnitude.
    double fraction = micro / 1e6;
    return seconds < 0 ? seconds - fraction : seconds + fraction;
}

bool plistUIDValue(plist_t node, uint64_t* out)
{
    if (!node)
        return false;
    if (plist_get_node_type(node) == PLIST_UID) {
        plist_get_uid_val(node, out);
        return true;
    }
    if (plist_get_node_type(node) != PLIST_DICT || plist_dict_get_size(node) != 1)
        return false;
    int64_t value = 0;
    if (!plistIntegerValue(plist_dict_get_item(node, "CF$UID"), &value) || value < 0)
        return false;
    *out = static_cast<uint64_t>(value);
    return true;
}

bool plistIntegerValue(plist_t node, int64_t* out)
{
    if (!node || plist_get_node_type(node) != PLIST_UINT)
        return false;
    uint64_t raw = 0;
    plist_get_uint_val(node, &raw);
    *out = static_cast<int64_t>(raw);
    return true;
}
