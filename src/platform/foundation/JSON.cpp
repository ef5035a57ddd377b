#include "JSON.h"

#include "Unicode.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

class Parser {
public:
    Parser(const std::string& text, JSONOptions options)
        : m_text(text)
        , m_options(options)
    {
    }

    std::optional<Value> parseDocument(JSONError* error)
    {
        skipSpace();
        auto value = parseValue(0);
        if (value) {
            skipSpace();
            if (m_pos != m_text.size()) {
                fail("unexpected text after the value");
                value.reset();
            }
        }
        if (!value && error)
            *error = m_error;
        return value;
    }

private:
    static constexpr int kMaxDepth = 512;

    void fail(const std::string& message)
    {
        if (!m_error.message.empty())
            return;
        size_t line = 1, column = 1;
        for (size_t i = 0; i < m_pos && i < m_text.size(); ++i) {
            if (m_text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        m_error = { message, line, column };
    }

    void skipSpace()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }

    bool literal(const char* word)
    {
        size_t n = std::char_traits<char>::length(word);
        if (m_text.compare(m_pos, n, word) == 0) {
            m_pos += n;
            return true;
        }
        return false;
    }

    std::optional<Value> parseValue(int depth)
    {
        if (depth > kMaxDepth) {
            fail("nesting too deep");
            return std::nullopt;
        }
        if (m_pos >= m_text.size()) {
            fail("unexpected end of text");
            return std::nullopt;
        }
        char c = m_text[m_pos];
        if (c == '{')
            return parseObject(depth);
        if (c == '[')
            return parseArray(depth);
        if (c == '"') {
            auto s = parseString();
            if (!s)
                return std::nullopt;
            return Value(std::move(*s));
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return parseNumber();
        if (literal("true"))
            return Value(true);
        if (literal("false"))
            return Value(false);
        if (literal("null"))
            return Value();
        fail("unexpected character");
        return std::nullopt;
    }

    std::optional<Value> parseObject(int depth)
    {
        ++m_pos;
        Value::Dictionary dict;
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == '}') {
            ++m_pos;
            return Value(std::move(dict));
        }
        for (;;) {
            skipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != '"') {
                fail("expected a string key");
                return std::nullopt;
            }
            size_t keyStart = m_pos;
            auto key = parseString();
            if (!key)
                return std::nullopt;
            if (m_options.rejectDuplicateKeys && dict.count(*key)) {
                m_pos = keyStart;
                fail("duplicate key \"" + *key + "\"");
                return std::nullopt;
            }
            skipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != ':') {
                fail("expected ':'");
                return std::nullopt;
            }
            ++m_pos;
            skipSpace();
            auto value = parseValue(depth + 1);
            if (!value)
                return std::nullopt;
            dict[*key] = std::move(*value);
            skipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() && m_text[m_pos] == '}') {
                ++m_pos;
                return Value(std::move(dict));
            }
            fail("expected ',' or '}'");
            return std::nullopt;
        }
    }

    std::optional<Value> parseArray(int depth)
    {
        ++m_pos;
        Value::Array array;
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == ']') {
            ++m_pos;
            return Value(std::move(array));
        }
        for (;;) {
            skipSpace();
            auto value = parseValue(depth + 1);
            if (!value)
                return std::nullopt;
            array.push_back(std::move(*value));
            skipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() && m_text[m_pos] == ']') {
                ++m_pos;
                return Value(std::move(array));
            }
            fail("expected ',' or ']'");
            return std::nullopt;
        }
    }

    std::optional<uint32_t> hex4()
    {
        if (m_pos + 4 > m_text.size()) {
            fail("bad \\u escape");
            return std::nullopt;
        }
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            char c = m_text[m_pos++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= c - '0';
            else if (c >= 'a' && c <= 'f')
                v |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v |= c - 'A' + 10;
            else {
                fail("bad \\u escape");
                return std::nullopt;
            }
        }
        return v;
    }

    // A \\u escape is one UTF-16 code unit: a run of them is converted
    // together, so that a surrogate pair becomes one character and a
    // surrogate without its partner becomes U+FFFD.
    void flushEscapedUnits(std::string& out)
    {
        out += utf8FromUTF16(m_escapedUnits);
        m_escapedUnits.clear();
    }

    std::optional<std::string> parseString()
    {
        ++m_pos;
        std::string out;
        m_escapedUnits.clear();
        while (m_pos < m_text.size()) {
            if (static_cast<unsigned char>(m_text[m_pos]) >= 0x80) {
                size_t length = utf8SequenceLength(m_text, m_pos);
                if (!length) {
                    fail("invalid UTF-8");
                    return std::nullopt;
                }
                flushEscapedUnits(out);
                out.append(m_text, m_pos, length);
                m_pos += length;
                continue;
            }
            char c = m_text[m_pos++];
            if (c != '\\') flushEscapedUnits(out);
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20) {
                --m_pos;
                fail("control character in string");
                return std::nullopt;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size())
                break;
            char e = m_text[m_pos++];
            if (e != 'u') flushEscapedUnits(out);
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                auto cp = hex4();
                if (!cp)
                    return std::nullopt;
                m_escapedUnits.push_back(static_cast<char16_t>(*cp));
                break;
            }
            default:
                --m_pos;
                fail("bad escape");
                return std::nullopt;
            }
        }
        fail("unterminated string");
        return std::nullopt;
    }

    std::optional<Value> parseNumber()
    {
        size_t start = m_pos;
        if (m_text[m_pos] == '-')
            ++m_pos;
        auto digits = [&] {
            size_t s = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
                ++m_pos;
            return m_pos - s;
        };
        if (digits() == 0) {
            fail("bad number");
            return std::nullopt;
        }
        bool integral = true;
        if (m_pos < m_text.size() && m_text[m_pos] == '.') {
            integral = false;
            ++m_pos;
            if (digits() == 0) {
                fail("bad number");
                return std::nullopt;
            }
        }
        if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
            integral = false;
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-'))
                ++m_pos;
            if (digits() == 0) {
                fail("bad number");
                return std::nullopt;
            }
        }
        const char* first = m_text.data() + start;
        const char* last = m_text.data() + m_pos;
        if (integral) {
            int64_t v = 0;
            if (std::from_chars(first, last, v).ec == std::errc())
                return Value(v);
        }
        double d = 0;
        auto result = std::from_chars(first, last, d);
        if (result.ec == std::errc::result_out_of_range) {
            // Too small to tell from zero reads as zero; too large has no
            // finite value and is refused.
            if (std::string_view(first, last - first).find("e-") != std::string_view::npos
                || std::string_view(first, last - first).find("E-") != std::string_view::npos)
                return Value(0.0);
            m_pos = start;
            fail("number out of range");
            return std::nullopt;
        }
        return Value(d);
    }

    const std::string& m_text;
    JSONOptions m_options;
    size_t m_pos { 0 };
    std::u16string m_escapedUnits;
    JSONError m_error;
};

void writeString(std::string& out, const std::string& s)
{
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

void write(std::string& out, const Value& v, bool pretty, int indent)
{
    auto newline = [&](int level) {
        if (pretty) {
            out += '\n';
            out.append(level * 2, ' ');
        }
    };
    switch (v.type()) {
    case Value::Type::Bool:
        out += v.boolValue() ? "true" : "false";
        break;
    case Value::Type::Integer:
        out += std::to_string(v.integerValue());
        break;
    case Value::Type::Double: {
        double d = v.doubleValue();
        out += std::isfinite(d) ? v.stringValue() : "null";
        break;
    }
    case Value::Type::String:
        writeString(out, *v.string());
        break;
    case Value::Type::Array: {
        out += '[';
        bool first = true;
        for (const auto& item : *v.array()) {
            if (!first)
                out += ',';
            first = false;
            newline(indent + 1);
            write(out, item, pretty, indent + 1);
        }
        if (!first)
            newline(indent);
        out += ']';
        break;
    }
    case Value::Type::Dictionary: {
        out += '{';
        bool first = true;
        for (const auto& [k, item] : *v.dictionary()) {
            if (!first)
                out += ',';
            first = false;
            newline(indent + 1);
            writeString(out, k);
            out += pretty ? ": " : ":";
            write(out, item, pretty, indent + 1);
        }
        if (!first)
            newline(indent);
        out += '}';
        break;
    }
    default:
        out += "null";
    }
}

}

std::optional<Value> parseJSON(const std::string& text, JSONError* error, JSONOptions options)
{
    return Parser(text, options).parseDocument(error);
}

std::string serializeJSON(const Value& value, bool pretty)
{
    std::string out;
    write(out, value, pretty, 0);
    return out;
}

void appendJSON(std::string& out, const Value& value, bool pretty, int indent) { write(out, value, pretty, indent); }
