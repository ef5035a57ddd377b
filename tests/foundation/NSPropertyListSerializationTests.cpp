#include <foundation/NSObject.h>
#include <foundation/NSPropertyListSerialization.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

Value richPropertyList()
{
    return Value(Value::Dictionary {
        { "bool", Value(true) },
        { "no", Value(false) },
        { "negative", Value(int64_t(-42)) },
        { "min", Value(std::numeric_limits<int64_t>::min()) },
        { "max", Value(std::numeric_limits<int64_t>::max()) },
        { "pi", Value(3.141592653589793) },
        { "tenth", Value(0.1) },
        { "text", Value("caf\xc3\xa9 \xe2\x8c\xa5 <&> \xf0\x9f\x98\x80") },
        { "empty", Value("") },
        { "data", Value(Value::Bytes { 0, 1, 2, 0xFF, 0 }) },
        { "date", Value(NSDate { 788918400.25 }) },
        { "list", Value(Value::Array { Value(1), Value("two"), Value(Value::Array {}), Value(Value::Dictionary {}) }) },
        { "nested", Value(Value::Dictionary { { "inner", Value(Value::Dictionary { { "x", Value(1.5) } }) } }) },
    });
}

Value::Bytes bytesOf(const std::string& s) { return Value::Bytes(s.begin(), s.end()); }

// A binary property list of `depth` arrays, each holding the next (`fanOut`
// times over); written by hand because nothing of ours writes one that deep
// or shares objects.
Value::Bytes nestedBinaryArrays(size_t depth, bool closeTheLoop = false, unsigned fanOut = 1)
{
    Value::Bytes out = bytesOf("bplist00");
    std::vector<uint32_t> offsets;
    for (size_t i = 0; i < depth; ++i) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        bool last = i + 1 == depth;
        if (last && !closeTheLoop) {
            out.push_back(0xA0);
            continue;
        }
        uint32_t next = last ? 0 : static_cast<uint32_t>(i + 1);
        out.push_back(static_cast<uint8_t>(0xA0 | fanOut));
        for (unsigned k = 0; k < fanOut; ++k)
            for (int shift = 24; shift >= 0; shift -= 8)
                out.push_back(static_cast<uint8_t>(next >> shift));
    }
    uint64_t table = out.size();
    for (uint32_t offset : offsets)
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(offset >> shift));
    for (int i = 0; i < 6; ++i)
        out.push_back(0);
    out.push_back(4);
    out.push_back(4);
    auto put64 = [&](uint64_t v) {
        for (int shift = 56; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(v >> shift));
    };
    put64(depth);
    put64(0);
    put64(table);
    return out;
}

// A binary property list of one object, given as its encoded bytes.
Value::Bytes singleObjectBinary(const Value::Bytes& object)
{
    Value::Bytes out = bytesOf("bplist00");
    out.insert(out.end(), object.begin(), object.end());
    uint8_t table = static_cast<uint8_t>(out.size());
    out.push_back(8);
    for (int i = 0; i < 6; ++i)
        out.push_back(0);
    out.push_back(1);
    out.push_back(1);
    for (uint64_t v : { uint64_t(1), uint64_t(0), uint64_t(table) })
        for (int shift = 56; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(v >> shift));
    return out;
}

} // namespace

TEST(NSPropertyListSerialization, RoundTripsEveryTypeInBothFormats)
{
    for (auto format : { NSPropertyListBinaryFormat_v1_0, NSPropertyListXMLFormat_v1_0 }) {
        std::string error;
        auto data = NSPropertyListSerialization::dataWithPropertyList(richPropertyList(), format, &error);
        ASSERT_TRUE(data) << error;
        NSPropertyListFormat readFormat = NSPropertyListOpenStepFormat;
        auto back = NSPropertyListSerialization::propertyListWithData(*data, &readFormat, &error);
        ASSERT_TRUE(back) << error;
        EXPECT_EQ(readFormat, format);
        Value expected = richPropertyList();
        if (format == NSPropertyListXMLFormat_v1_0) {
            // The XML date form has whole seconds.
            auto dict = *expected.dictionary();
            dict["date"] = Value(NSDate { 788918400.0 });
            expected = Value(dict);
        }
        EXPECT_EQ(*back, expected) << back->description();
        EXPECT_EQ((*back)["min"].type(), Value::Type::Integer);
        EXPECT_EQ((*back)["pi"].type(), Value::Type::Double);
        EXPECT_EQ((*back)["bool"].type(), Value::Type::Bool);
    }
}

TEST(NSPropertyListSerialization, KeepsSpecialDoublesAndNegativeDatesInBinary)
{
    Value plist(Value::Array { Value(std::nan("")), Value(-std::numeric_limits<double>::infinity()),
        Value(NSDate { -100.5 }), Value(1e-300) });
    auto data = NSPropertyListSerialization::dataWithPropertyList(plist, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(data);
    auto back = NSPropertyListSerialization::propertyListWithData(*data);
    ASSERT_TRUE(back);
    EXPECT_TRUE(std::isnan(back->at(0).doubleValue()));
    EXPECT_EQ(back->at(1).doubleValue(), -std::numeric_limits<double>::infinity());
    ASSERT_TRUE(back->at(2).date());
    EXPECT_DOUBLE_EQ(back->at(2).date()->timeIntervalSinceReferenceDate, -100.5);
    EXPECT_EQ(back->at(3).doubleValue(), 1e-300);
}

// A binary date is a double of seconds: read and written again it stays the
// same double, fractions of a microsecond included, at every place it is
// held (in an array, in a dictionary, shared by both).
TEST(NSPropertyListSerialization, BinaryDatesKeepTheirExactSecondsThroughReadAndWrite)
{
    const double seconds[] = { 788918400.123456789, 1.0 / 3, -0.0000015, 700000000.9999996, -100.25, 12345.678901 };
    Value::Array dates;
    for (double s : seconds)
        dates.push_back(Value(NSDate { s }));
    Value plist(Value::Dictionary { { "list", Value(dates) }, { "one", dates[3] }, { "again", dates[3] } });
    auto data = NSPropertyListSerialization::dataWithPropertyList(plist, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(data);
    auto back = NSPropertyListSerialization::propertyListWithData(*data);
    ASSERT_TRUE(back);
    for (size_t i = 0; i < std::size(seconds); ++i)
        EXPECT_EQ((*back)["list"].at(i).date()->timeIntervalSinceReferenceDate, seconds[i]) << i;
    EXPECT_EQ((*back)["again"].date()->timeIntervalSinceReferenceDate, seconds[3]);
    EXPECT_EQ(*back, plist);
    auto rewritten = NSPropertyListSerialization::dataWithPropertyList(*back, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(rewritten);
    EXPECT_EQ(*rewritten, *data);
}

TEST(NSPropertyListSerialization, RefusesWhatHasNoPropertyListForm)
{
    struct Case {
        const char* name;
        Value value;
    };
    auto object = makeRef<NSObject>();
    std::vector<Case> cases {
        { "nil", Value() },
        { "object", Value(object) },
        { "object in array", Value(Value::Array { Value(1), Value(object) }) },
        { "nil in dictionary", Value(Value::Dictionary { { "k", Value() } }) },
        { "invalid UTF-8", Value(std::string("a\xff")) },
        { "overlong UTF-8", Value(std::string("\xc0\xaf")) },
        { "truncated UTF-8", Value(std::string("caf\xc3")) },
        { "NUL in string", Value(std::string("a\0b", 3)) },
        { "NUL in key", Value(Value::Dictionary { { std::string("k\0", 2), Value(1) } }) },
        { "date out of range", Value(NSDate { 1e12 }) },
        { "date NaN", Value(NSDate { std::nan("") }) },
    };
    for (const auto& c : cases) {
        for (auto format : { NSPropertyListBinaryFormat_v1_0, NSPropertyListXMLFormat_v1_0 }) {
            std::string reason;
            EXPECT_FALSE(NSPropertyListSerialization::propertyListIsValidForFormat(c.value, format, &reason)) << c.name;
            EXPECT_FALSE(reason.empty()) << c.name;
            std::string error;
            EXPECT_FALSE(NSPropertyListSerialization::dataWithPropertyList(c.value, format, &error)) << c.name;
            EXPECT_FALSE(error.empty()) << c.name;
        }
    }
    EXPECT_TRUE(NSPropertyListSerialization::propertyListIsValidForFormat(Value(1), NSPropertyListXMLFormat_v1_0));
    std::string error;
    EXPECT_FALSE(NSPropertyListSerialization::dataWithPropertyList(Value(1), NSPropertyListOpenStepFormat, &error));
    EXPECT_FALSE(error.empty());
}

TEST(NSPropertyListSerialization, BadDataGivesNothingAndAnError)
{
    std::vector<std::pair<const char*, Value::Bytes>> cases {
        { "empty", {} },
        { "text", bytesOf("hello, world") },
        { "old text format", bytesOf("{ a = 1; }") },
        { "magic only", bytesOf("bplist00") },
        { "magic and junk", bytesOf("bplist00" + std::string(64, 'x')) },
        { "other binary version", bytesOf("bplist15" + std::string(64, '\0')) },
        { "broken XML", bytesOf("<?xml version=\"1.0\"?><plist><dict><key>a</key>") },
        { "XML not a plist", bytesOf("<html><body>hi</body></html>") },
        { "NUL in XML text", bytesOf(std::string("<?xml version=\"1.0\"?><plist><string>a\0b</string></plist>", 56)) },
    };
    for (const auto& [name, data] : cases) {
        std::string error;
        EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(data, nullptr, &error)) << name;
        EXPECT_FALSE(error.empty()) << name;
    }
}

TEST(NSPropertyListSerialization, ChecksEachBinaryObjectBeforeTheLibrarySeesIt)
{
    auto ascii = NSPropertyListSerialization::propertyListWithData(singleObjectBinary({ 0x53, 'a', 'b', 'c' }));
    ASSERT_TRUE(ascii);
    EXPECT_EQ(*ascii, Value("abc"));
    auto utf16 = NSPropertyListSerialization::propertyListWithData(singleObjectBinary({ 0x62, 0x00, 'h', 0x00, 'i' }));
    ASSERT_TRUE(utf16);
    EXPECT_EQ(*utf16, Value("hi"));

    std::vector<std::pair<const char*, Value::Bytes>> bad {
        { "NUL in ASCII string", { 0x53, 'a', 0x00, 'b' } },
        { "NUL in UTF-16 string", { 0x62, 0x00, 'a', 0x00, 0x00 } },
        { "string longer than the data", { 0x5F, 0x10, 0x7F, 'a' } },
        { "integer wider than 16 bytes", { 0x15, 1, 2, 3 } },
        { "real of odd width", { 0x21, 0, 0 } },
        { "unknown marker", { 0x70 } },
        { "array reference out of range", { 0xA1, 0x05 } },
    };
    for (const auto& [name, object] : bad) {
        std::string error;
        EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(singleObjectBinary(object), nullptr, &error))
            << name;
        EXPECT_FALSE(error.empty()) << name;
    }
}

TEST(NSPropertyListSerialization, EveryTruncationOfBinaryDataIsRefused)
{
    auto data = NSPropertyListSerialization::dataWithPropertyList(richPropertyList(), NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(data);
    for (size_t length = 0; length < data->size(); ++length) {
        Value::Bytes prefix(data->begin(), data->begin() + length);
        std::string error;
        EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(prefix, nullptr, &error)) << length;
        EXPECT_FALSE(error.empty());
    }
}

TEST(NSPropertyListSerialization, CorruptedDataNeverCrashes)
{
    std::mt19937 random(20260101);
    for (auto format : { NSPropertyListBinaryFormat_v1_0, NSPropertyListXMLFormat_v1_0 }) {
        auto data = NSPropertyListSerialization::dataWithPropertyList(richPropertyList(), format);
        ASSERT_TRUE(data);
        size_t accepted = 0;
        constexpr int rounds = 3000;
        for (int round = 0; round < rounds; ++round) {
            Value::Bytes damaged = *data;
            int flips = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < flips; ++i)
                damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
            std::string error;
            auto result = NSPropertyListSerialization::propertyListWithData(damaged, nullptr, &error);
            if (result)
                ++accepted;
            else
                EXPECT_FALSE(error.empty());
        }
        // Flips inside string bytes still parse; most damage must not.
        EXPECT_LT(accepted, static_cast<size_t>(rounds));
    }
}

TEST(NSPropertyListSerialization, RefusesNestingDeeperThanTheLimit)
{
    auto shallow = NSPropertyListSerialization::propertyListWithData(nestedBinaryArrays(100));
    ASSERT_TRUE(shallow);
    EXPECT_EQ(shallow->count(), 1u);

    // Deep enough to overflow the stack of a recursive reader.
    std::string error;
    EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(nestedBinaryArrays(400000), nullptr, &error));
    EXPECT_NE(error.find("deeply"), std::string::npos) << error;

    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 5000; ++i)
        xml += "<array>";
    for (int i = 0; i < 5000; ++i)
        xml += "</array>";
    xml += "</plist>";
    EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(bytesOf(xml), nullptr, &error));

    // Self-closing empty containers do not count as nesting.
    std::string flat = "<?xml version=\"1.0\"?><plist version=\"1.0\"><array>";
    for (int i = 0; i < 5000; ++i)
        flat += "<array/><dict/>";
    flat += "</array></plist>";
    auto parsed = NSPropertyListSerialization::propertyListWithData(bytesOf(flat), nullptr, &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->count(), 10000u);
}

TEST(NSPropertyListSerialization, RefusesBinaryDataThatRefersToItself)
{
    std::string error;
    EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(nestedBinaryArrays(1, true), nullptr, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(nestedBinaryArrays(3, true), nullptr, &error));
}

TEST(NSPropertyListSerialization, SharedObjectsReadOnlyWhileTheirCopiesStayBounded)
{
    // Each array holds the next one twice: 15 levels read as 2^15 - 1 arrays,
    // 60 levels (a few hundred bytes) would be 2^60 and are refused at once.
    auto small = NSPropertyListSerialization::propertyListWithData(nestedBinaryArrays(15, false, 2));
    ASSERT_TRUE(small);
    size_t leaves = 0;
    std::vector<const Value*> pending { &*small };
    while (!pending.empty()) {
        const Value* v = pending.back();
        pending.pop_back();
        if (v->count() == 0)
            ++leaves;
        for (size_t i = 0; i < v->count(); ++i)
            pending.push_back(&v->at(i));
    }
    EXPECT_EQ(leaves, 1u << 14);

    std::string error;
    auto bomb = nestedBinaryArrays(60, false, 2);
    EXPECT_LT(bomb.size(), 1024u);
    EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(bomb, nullptr, &error));
    EXPECT_NE(error.find("expands"), std::string::npos) << error;
}

TEST(NSPropertyListSerialization, BinaryWritingKeepsSharedObjectsSharedAndLongItemsWhole)
{
    // What was read shared is written shared: 2^15 - 1 arrays as 15 objects.
    auto expanded = NSPropertyListSerialization::propertyListWithData(nestedBinaryArrays(15, false, 2));
    ASSERT_TRUE(expanded);
    auto written = NSPropertyListSerialization::dataWithPropertyList(*expanded, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(written);
    EXPECT_LT(written->size(), 512u);
    auto again = NSPropertyListSerialization::propertyListWithData(*written);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *expanded);

    // Counts past the marker's nibble, integers of every width, text that
    // needs two UTF-16 units a character, and a thousand equal strings.
    Value::Array items;
    for (int64_t number : { int64_t(200), int64_t(70000), int64_t(5000000000), int64_t(-1) })
        items.push_back(Value(number));
    items.push_back(Value(std::string(40, 'a')));
    items.push_back(Value(std::string("ð").append(std::string(20, 'b'))));
    items.push_back(Value(Value::Bytes(300, 0x5A)));
    for (int i = 0; i < 1000; ++i)
        items.push_back(Value("the same text every time"));
    Value list(items);
    auto data = NSPropertyListSerialization::dataWithPropertyList(list, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(data);
    EXPECT_LT(data->size(), 4000u);
    auto back = NSPropertyListSerialization::propertyListWithData(*data);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, list);
}

TEST(NSPropertyListSerialization, ArchiveReferencesReadAsCFUIDDictionariesAndWriteBack)
{
    Value withReference(Value::Dictionary { { "root", Value(Value::Dictionary { { "CF$UID", Value(7) } }) } });
    auto binary = NSPropertyListSerialization::dataWithPropertyList(withReference, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(binary);
    // A UID object in binary form is marker 0x8n.
    bool hasUIDMarker = false;
    for (size_t i = 8; i + 1 < binary->size(); ++i)
        if ((*binary)[i] == 0x80 && (*binary)[i + 1] == 7)
            hasUIDMarker = true;
    EXPECT_TRUE(hasUIDMarker);
    auto back = NSPropertyListSerialization::propertyListWithData(*binary);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, withReference);

    // A dictionary that merely contains the key stays a dictionary.
    Value notReference(Value::Dictionary { { "CF$UID", Value(1) }, { "other", Value(2) } });
    auto plain = NSPropertyListSerialization::dataWithPropertyList(notReference, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*NSPropertyListSerialization::propertyListWithData(*plain), notReference);
}
