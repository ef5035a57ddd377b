#include <foundation/Unicode.h>

#include <gtest/gtest.h>

namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

std::string replacements(size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += kFFFD;
    return out;
}

TEST(Unicode, WellFormedTextSurvivesBothWays)
{
    // One, two, three and four bytes; the last two code points of the
    // range need a surrogate pair.
    const std::string text = "a\xC3\xA9\xE2\x86\x90\xF0\x9D\x84\x9E\xF4\x8F\xBF\xBF";
    const std::u16string units = u"a\u00E9\u2190\U0001D11E\U0010FFFF";
    EXPECT_EQ(utf16FromUTF8(text), units);
    EXPECT_EQ(utf8FromUTF16(units), text);
    EXPECT_TRUE(isValidUTF8(text));
    EXPECT_EQ(stringByReplacingInvalidUTF8(text), text);
    EXPECT_EQ(utf16Length(text), units.size());
    EXPECT_EQ(utf8OffsetForUTF16(text, 3), 6u);
    // A position inside a pair counts from after it; past the end clamps.
    EXPECT_EQ(utf8OffsetForUTF16(text, 4), 10u);
    EXPECT_EQ(utf8OffsetForUTF16(text, 99), text.size());
    EXPECT_EQ(utf16FromUTF8(""), u"");
    EXPECT_EQ(utf8FromUTF16(u""), "");
}

TEST(Unicode, MalformedInputBecomesReplacementCharacters)
{
    struct Case {
        std::string bytes;
        std::string expected;
    };
    const Case utf8Cases[] = {
        { "\x80", replacements(1) }, // stray continuation byte
        { "\xFF" "a", replacements(1) + "a" }, // never a lead byte
        { "\xE2\x82", replacements(2) }, // truncated at the end
        { "\xE2\x82" "A", replacements(2) + "A" }, // truncated before ASCII
        { "\xF0\x9F\x98", replacements(3) }, // a four-byte sequence cut short
        { "\xC0\xAF", replacements(2) }, // overlong "/"
        { "\xE0\x80\xAF", replacements(3) }, // overlong, three bytes
        { "\xF0\x80\x80\xAF", replacements(4) }, // overlong, four bytes
        { "\xED\xA0\x80", replacements(3) }, // an encoded surrogate
        { "\xF4\x90\x80\x80", replacements(4) }, // past U+10FFFF
        { std::string("a\0b", 3), std::string("a\0b", 3) }, // NUL is a character
    };
    for (const auto& c : utf8Cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(stringByReplacingInvalidUTF8(c.bytes), c.expected);
        EXPECT_EQ(utf8FromUTF16(utf16FromUTF8(c.bytes)), c.expected);
        EXPECT_EQ(isValidUTF8(c.bytes), c.bytes == c.expected);
        // Lengths count what a conversion would give.
        EXPECT_EQ(utf16Length(c.bytes), utf16FromUTF8(c.bytes).size());
    }

    struct UnitsCase {
        std::u16string units;
        std::string expected;
    };
    const UnitsCase utf16Cases[] = {
        { u"\xD834", replacements(1) }, // a high surrogate at the end
        { u"\xD834" u"a", replacements(1) + "a" }, // a high surrogate before a letter
        { u"\xDD1E" u"a", replacements(1) + "a" }, // a low surrogate on its own
        { u"\xDD1E\xD834", replacements(2) }, // a pair in the wrong order
        { u"\xD834\xD834\xDD1E", kFFFD + "\xF0\x9D\x84\x9E" }, // a high one, then a whole pair
    };
    for (const auto& c : utf16Cases) {
        SCOPED_TRACE(testing::PrintToString(c.expected));
        EXPECT_EQ(utf8FromUTF16(c.units), c.expected);
    }

    // A code point that no text may hold is written as U+FFFD.
    std::string written;
    appendUTF8(written, 0xD800);
    appendUTF8(written, 0x110000);
    EXPECT_EQ(written, replacements(2));
}

}
