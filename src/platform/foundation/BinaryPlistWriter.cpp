// The binary property-list writer. Every object is written once: equal
// scalars share one entry, and so do equal arrays and dictionaries, because
// containers are numbered after their elements and are keyed by the
// references they hold. Numbering and sharing go through hash tables, so
// the time is linear in the size of the tree, whatever it holds.
#include "PlistSupport.h"

#include "Unicode.h"

#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

constexpr char kHeader[] = "bplist00";

// Bytes needed for an unsigned value: 1, 2, 4 or 8.
unsigned widthOf(uint64_t value)
{
    if (value <= 0xFF)
        return 1;
    if (value <= 0xFFFF)
        return 2;
    if (value <= 0xFFFFFFFFu)
        return 4;
    return 8;
}

unsigned log2Of(unsigned width) { return width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3; }

void appendBigEndian(std::string& out, uint64_t value, unsigned width)
{
    for (unsigned i = width; i-- > 0;)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// An integer object. One, two and four byte integers are unsigned in this
// format and eight byte ones signed, so a negative value always takes eight.
void appendInteger(std::string& out, int64_t value)
{
    unsigned width = value < 0 ? 8 : widthOf(static_cast<uint64_t>(value));
    out.push_back(static_cast<char>(0x10 | log2Of(width)));
    appendBigEndian(out, static_cast<uint64_t>(value), width);
}

// A marker with its count: in the low nibble, or as an integer after it.
void appendMarker(std::string& out, uint8_t high, uint64_t count)
{
    if (count < 15) {
        out.push_back(static_cast<char>(high | count));
        return;
    }
    out.push_back(static_cast<char>(high | 0x0F));
    appendInteger(out, static_cast<int64_t>(count));
}

void appendDouble(std::string& out, uint8_t marker, double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    out.push_back(static_cast<char>(marker));
    appendBigEndian(out, bits, 8);
}

bool appendString(std::string& out, const char* text, size_t length)
{
    std::string_view view(text, length);
    bool ascii = true;
    for (unsigned char c : view)
        ascii = ascii && c < 0x80;
    if (ascii) {
        appendMarker(out, 0x50, length);
        out.append(view);
        return true;
    }
    if (!isValidUTF8(view))
        return false;
    std::u16string units = utf16FromUTF8(view);
    appendMarker(out, 0x60, units.size());
    for (char16_t unit : units)
        appendBigEndian(out, unit, 2);
    return true;
}

class Writer {
public:
    explicit Writer(const PlistExactDates* dates)
        : m_dates(dates)
    {
    }

    std::optional<Value::Bytes> write(plist_t root, std::string* error)
    {
        uint64_t top = add(root, 0);
        if (!m_why.empty()) {
            if (error)
                *error = m_why;
            return std::nullopt;
        }
        return finish(top);
    }

private:
    uint64_t fail(const std::string& why)
    {
        if (m_why.empty())
            m_why = why;
        return 0;
    }

    // An object is numbered by its key, kept once in the table: a scalar's
    // finished bytes, or a container's kind (0xA0 array, 0xD0 dictionary,
    // first bytes no scalar has) followed by the eight-byte numbers of what
    // it holds, keys first in a dictionary.
    uint64_t share(std::string key)
    {
        auto [it, added] = m_numbers.try_emplace(std::move(key), m_objects.size());
        if (added)
            m_objects.push_back(&it->first);
        return it->second;
    }

    uint64_t addString(const char* text, size_t length)
    {
        std::string bytes;
        if (!appendString(bytes, text, length))
            return fail("a string of the property list is not UTF-8");
        return share(std::move(bytes));
    }

    uint64_t addContainer(uint8_t kind, const std::vector<uint64_t>& references)
    {
        std::string key(1, static_cast<char>(kind));
        key.reserve(1 + 8 * references.size());
        for (uint64_t reference : references)
            appendBigEndian(key, reference, 8);
        return share(std::move(key));
    }

    uint64_t add(plist_t node, size_t depth)
    {
        if (!m_why.empty())
            return 0;
        if (depth > kMaxPropertyListDepth)
            return fail("the property list is nested too deeply");
        std::string bytes;
        switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return share(std::string(1, value ? '\x09' : '\x08'));
        }
        case PLIST_UINT: {
            // Integers are signed 64-bit values, the way this format reads them back.
            uint64_t value = 0;
            plist_get_uint_val(node, &value);
            appendInteger(bytes, static_cast<int64_t>(value));
            return share(std::move(bytes));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            appendDouble(bytes, 0x23, value);
            return share(std::move(bytes));
        }
        case PLIST_DATE: {
            double seconds = plistDateValue(node);
            if (m_dates)
                if (auto exact = m_dates->find(node); exact != m_dates->end())
                    seconds = exact->second;
            appendDouble(bytes, 0x33, seconds);
            return share(std::move(bytes));
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* data = plist_get_data_ptr(node, &length);
            appendMarker(bytes, 0x40, length);
            bytes.append(data ? data : "", data ? length : 0);
            return share(std::move(bytes));
        }
        case PLIST_STRING: {
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return addString(text ? text : "", text ? length : 0);
        }
        case PLIST_UID: {
            uint64_t value = 0;
            plist_get_uid_val(node, &value);
            unsigned width = widthOf(value);
            bytes.push_back(static_cast<char>(0x80 | (width - 1)));
            appendBigEndian(bytes, value, width);
            return share(std::move(bytes));
        }
        case PLIST_ARRAY: {
            uint32_t count = plist_array_get_size(node);
            std::vector<uint64_t> references;
            references.reserve(count);
            for (uint32_t i = 0; i < count && m_why.empty(); ++i)
                references.push_back(add(plist_array_get_item(node, i), depth + 1));
            return addContainer(0xA0, references);
        }
        case PLIST_DICT: {
            std::vector<uint64_t> keys, values;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            while (it && m_why.empty()) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (!key)
                    break;
                keys.push_back(addString(key, std::strlen(key)));
                std::free(key);
                values.push_back(add(item, depth + 1));
            }
            std::free(it);
            keys.insert(keys.end(), values.begin(), values.end());
            return addContainer(0xD0, keys);
        }
        default:
            return fail("the property list holds a value that has no binary form");
        }
    }

    Value::Bytes finish(uint64_t top)
    {
        unsigned referenceWidth = widthOf(m_objects.size() - 1);
        std::string out(kHeader, sizeof kHeader - 1);
        std::vector<uint64_t> offsets;
        offsets.reserve(m_objects.size());
        for (const std::string* key : m_objects) {
            offsets.push_back(out.size());
            auto kind = static_cast<uint8_t>((*key)[0]);
            if (kind != 0xA0 && kind != 0xD0) {
                out += *key;
                continue;
            }
            size_t references = (key->size() - 1) / 8;
            appendMarker(out, kind, kind == 0xD0 ? references / 2 : references);
            const auto* bytes = reinterpret_cast<const uint8_t*>(key->data()) + 1;
            for (size_t i = 0; i < references; ++i, bytes += 8)
                appendBigEndian(out, readBigEndian(bytes, 8), referenceWidth);
        }
        uint64_t tableOffset = out.size();
        unsigned offsetWidth = widthOf(tableOffset);
        for (uint64_t offset : offsets)
            appendBigEndian(out, offset, offsetWidth);
        out.append(6, '\0');
        out.push_back(static_cast<char>(offsetWidth));
        out.push_back(static_cast<char>(referenceWidth));
        appendBigEndian(out, m_objects.size(), 8);
        appendBigEndian(out, top, 8);
        appendBigEndian(out, tableOffset, 8);
        return Value::Bytes(out.begin(), out.end());
    }

    const PlistExactDates* m_dates;
    std::vector<const std::string*> m_objects;
    std::unordered_map<std::string, uint64_t> m_numbers;
    std::string m_why;
};

} // namespace

std::optional<Value::Bytes> writeBinaryPropertyList(plist_t root, std::string* error, const PlistExactDates* dates)
{
    if (!root) {
        if (error)
            *error = "there is no property list to write";
        return std::nullopt;
    }
    return Writer(dates).write(root, error);
}
