#include <foundation/Foundation.h>

#include <gtest/gtest.h>

#include <climits>
#include <thread>

namespace {

class Named : public NSObject {
public:
    std::string description() const override { return "<Named>"; }
};

TEST(Format, ObjectsValuesAndNil)
{
    auto named = makeRef<Named>();
    Ref<Named> none;
    EXPECT_EQ(stringWithFormat("%@ and %@", named, none), "<Named> and (null)");
    EXPECT_EQ(stringWithFormat("%@", static_cast<const NSObject*>(nullptr)), "(null)");
    EXPECT_EQ(stringWithFormat("%@", nullptr), "(null)");
    EXPECT_EQ(stringWithFormat("%@", Value()), "(null)");
    EXPECT_EQ(stringWithFormat("%@|%@|%@", Value(3), Value(0.5), Value(true)), "3|0.5|1");
    EXPECT_EQ(stringWithFormat("%@", Value(Value::Array { 1, 2 })), "(\n    1,\n    2\n)");
    EXPECT_EQ(stringWithFormat("%@ %s", std::string("text"), "chars"), "text chars");
    EXPECT_EQ(stringWithFormat("%s", static_cast<const char*>(nullptr)), "(null)");
}

TEST(Format, Pointers)
{
    int x = 0;
    char expected[32];
    std::snprintf(expected, sizeof expected, "%p", static_cast<void*>(&x));
    EXPECT_EQ(stringWithFormat("%p", static_cast<const void*>(&x)), expected);
    EXPECT_EQ(stringWithFormat("%p", static_cast<const void*>(nullptr)), "0x0");
    EXPECT_EQ(stringWithFormat("%p", nullptr), "0x0");
}

TEST(Format, Integers)
{
    EXPECT_EQ(stringWithFormat("%d %i %ld %lld %qd %zd", 1, -2, 3L, -4LL, 5LL, size_t(6)), "1 -2 3 -4 5 6");
    EXPECT_EQ(stringWithFormat("%lu", ULONG_MAX), "18446744073709551615");
    EXPECT_EQ(stringWithFormat("%u", 42u), "42");
    EXPECT_EQ(stringWithFormat("%5d|%-5d|%05d", 42, 42, 42), "   42|42   |00042");
    EXPECT_EQ(stringWithFormat("%x %X %o %#x", 255, 255, 8, 255), "ff FF 10 0xff");
    EXPECT_EQ(stringWithFormat("%ld", LONG_MIN), "-9223372036854775808");
    EXPECT_EQ(stringWithFormat("%c%c", 'o', 'k'), "ok");
}

TEST(Format, NegativeNumbersWithUnsignedConversionsWrapAtTheirOwnWidth)
{
    EXPECT_EQ(stringWithFormat("%u", -1), "4294967295");
    EXPECT_EQ(stringWithFormat("%x", -1), "ffffffff");
    EXPECT_EQ(stringWithFormat("%lx", -1L), "ffffffffffffffff");
    EXPECT_EQ(stringWithFormat("%hx", -1), "ffff");
    EXPECT_EQ(stringWithFormat("%hhu", 300), "44");
    EXPECT_EQ(stringWithFormat("%hd", 70000), "4464");
    EXPECT_EQ(stringWithFormat("%lu", static_cast<unsigned long>(-1)), "18446744073709551615");
}

TEST(Format, Floats)
{
    EXPECT_EQ(stringWithFormat("%.1f", 2.25), "2.2");
    EXPECT_EQ(stringWithFormat("%.1f", 0.96), "1.0");
    EXPECT_EQ(stringWithFormat("%5.2f|", 3.14159), " 3.14|");
    EXPECT_EQ(stringWithFormat("%f", 1.5f), "1.500000");
    EXPECT_EQ(stringWithFormat("%g", 100000.0), "100000");
    EXPECT_EQ(stringWithFormat("%.2f", 3), "3.00");
    EXPECT_EQ(stringWithFormat("%e", 1500.0), "1.500000e+03");
}

TEST(Format, StarWidthAndPrecision)
{
    EXPECT_EQ(stringWithFormat("%*d|", 4, 7), "   7|");
    EXPECT_EQ(stringWithFormat("%-*d|", 4, 7), "7   |");
    EXPECT_EQ(stringWithFormat("%.*f", 2, 3.14159), "3.14");
    EXPECT_EQ(stringWithFormat("%.*s", 3, "abcdef"), "abc");
    EXPECT_EQ(stringWithFormat("%.*f", -1, 0.5), "0.500000");
}

TEST(Format, PercentAndStrayText)
{
    EXPECT_EQ(stringWithFormat("100%%"), "100%");
    EXPECT_EQ(stringWithFormat("%d%%", 50), "50%");
    EXPECT_EQ(stringWithFormat("ends with %"), "ends with %");
    EXPECT_EQ(stringWithFormat("%y %d", 5), "%y 5");
    EXPECT_EQ(stringWithFormat("%n%d", 5), "%n5");
}

TEST(Format, MissingArgumentsReadAsNil)
{
    EXPECT_EQ(stringWithFormat("%@ %d %s %.1f %p|%c|", 1), "1 0 (null) 0.0 0x0||");
    EXPECT_EQ(stringWithFormat("%d"), "0");
}

TEST(Format, LongTextIsNotCut)
{
    std::string longText(2000, 'x');
    EXPECT_EQ(stringWithFormat("%-10@|", longText), longText + "|");
    EXPECT_EQ(stringWithFormat("%2000d", 1).size(), 2000u);
    EXPECT_EQ(stringWithFormat("%.600f", 1.0).size(), 602u);
    EXPECT_EQ(stringWithFormat("%@", longText), longText);
}

TEST(Format, PaddedObjects)
{
    EXPECT_EQ(stringWithFormat("[%10@]", std::string("abc")), "[       abc]");
    EXPECT_EQ(stringWithFormat("[%-6s]", "ab"), "[ab    ]");
}

TEST(Log, CaptureCollectsFormattedLines)
{
    LogCapture capture;
    NSLog("value %d of %@", 3, std::string("seven"));
    NSLog("other");
    EXPECT_EQ(capture.lines(), (std::vector<std::string> { "value 3 of seven", "other" }));
    EXPECT_TRUE(capture.contains("of seven"));
    EXPECT_EQ(capture.count("o"), 2u);
    capture.clear();
    EXPECT_TRUE(capture.lines().empty());
}

TEST(Log, NestedCapturesShareLinesAndLinesFromThreadsAreKept)
{
    LogCapture outer;
    {
        LogCapture inner;
        NSLog("inner");
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([i] {
            for (int j = 0; j < 50; ++j)
                NSLog("thread %d line %d", i, j);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_TRUE(outer.contains("inner"));
    EXPECT_EQ(outer.count("thread"), 200u);
}

} // namespace
