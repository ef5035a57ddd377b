#include <foundation/Foundation.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(ValueCoercion, StringToBoolFollowsThePlatformRule)
{
    struct Case {
        const char* text;
        bool expected;
    };
    const Case cases[] = {
        { "YES", true },
        { "yes", true },
        { "true", true },
        { "T", true },
        { "1", true },
        { "9", true },
        { "-5", true },
        { "+7", true },
        { "  y", true },
        { "\t\n1", true },
        { "0001", true },
        { "-0002", true },
        { "no", false },
        { "NO", false },
        { "false", false },
        { "0", false },
        { " 0", false },
        { "000", false },
        { "", false },
        { "   ", false },
        { "-", false },
        { "+-1", false },
        { "x1", false },
        { "0x1", false },
        { "nil", false },
        { "0.5", false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Value(c.text).boolValue(), c.expected) << '"' << c.text << '"';
}

TEST(ValueCoercion, NumbersToBool)
{
    EXPECT_TRUE(Value(2).boolValue());
    EXPECT_TRUE(Value(-1).boolValue());
    EXPECT_FALSE(Value(0).boolValue());
    EXPECT_TRUE(Value(0.25).boolValue());
    EXPECT_FALSE(Value(0.0).boolValue());
    EXPECT_FALSE(Value().boolValue());
    EXPECT_FALSE(Value(Value::Array { 1 }).boolValue());
}

TEST(ValueCoercion, StringToNumbers)
{
    EXPECT_EQ(Value("42").integerValue(), 42);
    EXPECT_EQ(Value("  -17xyz").integerValue(), -17);
    EXPECT_EQ(Value("3.9").integerValue(), 3);
    EXPECT_EQ(Value("0x10").integerValue(), 0);
    EXPECT_EQ(Value("abc").integerValue(), 0);
    EXPECT_EQ(Value("99999999999999999999").integerValue(), std::numeric_limits<int64_t>::max());

    EXPECT_DOUBLE_EQ(Value("2.5").doubleValue(), 2.5);
    EXPECT_DOUBLE_EQ(Value(" -1.5e2 px").doubleValue(), -150);
    EXPECT_DOUBLE_EQ(Value("+.5").doubleValue(), 0.5);
    EXPECT_DOUBLE_EQ(Value("7.").doubleValue(), 7);
    EXPECT_DOUBLE_EQ(Value("0x1p3").doubleValue(), 0);
    EXPECT_DOUBLE_EQ(Value("inf").doubleValue(), 0);
    EXPECT_DOUBLE_EQ(Value("nan").doubleValue(), 0);
    EXPECT_DOUBLE_EQ(Value("").doubleValue(), 0);
    EXPECT_DOUBLE_EQ(Value("1e-999").doubleValue(), 0);
    EXPECT_TRUE(std::isinf(Value("1e999").doubleValue()));
    EXPECT_TRUE(std::isinf(Value("-1e999").doubleValue()));
}

TEST(ValueCoercion, DoubleToInteger)
{
    EXPECT_EQ(Value(3.99).integerValue(), 3);
    EXPECT_EQ(Value(-3.99).integerValue(), -3);
    EXPECT_EQ(Value(1e30).integerValue(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(Value(-1e30).integerValue(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(Value(std::nan("")).integerValue(), 0);
    EXPECT_EQ(Value(true).integerValue(), 1);
}

TEST(ValueCoercion, StringValues)
{
    EXPECT_EQ(Value().stringValue(), "");
    EXPECT_EQ(Value(true).stringValue(), "1");
    EXPECT_EQ(Value(-12).stringValue(), "-12");
    EXPECT_EQ(Value(0.1).stringValue(), "0.1");
    EXPECT_EQ(Value(2.0).stringValue(), "2");
    EXPECT_EQ(Value(1.0 / 3).stringValue(), "0.3333333333333333");
    EXPECT_EQ(Value(100.0).stringValue(), "100");
    EXPECT_EQ(Value(-2560.0).stringValue(), "-2560");
    EXPECT_EQ(Value(1234567.0).stringValue(), "1234567");
    EXPECT_EQ(Value(0.0001).stringValue(), "0.0001");
    EXPECT_EQ(Value(0.00001).stringValue(), "1e-05");
    EXPECT_EQ(Value(1.5e-7).stringValue(), "1.5e-07");
    EXPECT_EQ(Value(1e16).stringValue(), "10000000000000000");
    EXPECT_EQ(Value(1e17).stringValue(), "1e+17");
    EXPECT_EQ(Value(1e21).stringValue(), "1e+21");
    EXPECT_EQ(Value(0.0).stringValue(), "0");
    EXPECT_EQ(Value(std::numeric_limits<double>::infinity()).stringValue(), "inf");
}

TEST(ValueEquality, NumbersCompareByValueAcrossTypes)
{
    EXPECT_EQ(Value(1), Value(1.0));
    EXPECT_EQ(Value(true), Value(1));
    EXPECT_EQ(Value(false), Value(0.0));
    EXPECT_NE(Value(1), Value(1.5));
    EXPECT_EQ(Value(static_cast<unsigned char>(200)), Value(200LL));
    EXPECT_NE(Value(1), Value("1"));
    EXPECT_NE(Value(0), Value());
}

TEST(ValueEquality, LargeIntegersAreNotRoundedThroughDouble)
{
    int64_t big = (int64_t(1) << 53) + 1;
    EXPECT_NE(Value(big), Value(static_cast<double>(big)));
    EXPECT_NE(Value(static_cast<double>(big)), Value(big));
    EXPECT_EQ(Value(big - 1), Value(static_cast<double>(big - 1)));
    EXPECT_NE(Value(std::numeric_limits<int64_t>::max()), Value(9.2233720368547758e18));
    EXPECT_NE(Value(0), Value(std::nan("")));
}

TEST(ValueEquality, CollectionsAndObjects)
{
    Value a = Value::Dictionary { { "k", Value::Array { 1, 2.0, "x" } } };
    Value b = Value::Dictionary { { "k", Value::Array { 1.0, 2, "x" } } };
    EXPECT_EQ(a, b);
    EXPECT_NE(a, Value(Value::Dictionary { { "k", Value::Array { 1, 2 } } }));
    auto o = makeRef<NSObject>();
    EXPECT_EQ(Value(o), Value(o));
    EXPECT_NE(Value(o), Value(makeRef<NSObject>()));
    EXPECT_EQ(Value(Ref<NSObject>()), Value());
}

TEST(ValueAccess, TypedAccessAndLookups)
{
    Value d = Value::Dictionary { { "list", Value::Array { "a", "b" } } };
    EXPECT_EQ(d["list"].at(1), Value("b"));
    EXPECT_TRUE(d["missing"].isNil());
    EXPECT_TRUE(d["list"].at(5).isNil());
    EXPECT_TRUE(Value(3)["x"].isNil());
    EXPECT_EQ(d.count(), 1u);
    EXPECT_EQ(d["list"].count(), 2u);
    EXPECT_EQ(Value("abc").count(), 0u);
    EXPECT_EQ(Value(3).string(), nullptr);
    EXPECT_TRUE(Value(static_cast<const char*>(nullptr)).isNil());
}

TEST(ValueDescription, PropertyListTextForm)
{
    Value v = Value::Dictionary { { "name", "two words" }, { "ids", Value::Array { 1000, 1001 } } };
    EXPECT_EQ(
        v.description(), "{\n    ids = (\n        1000,\n        1001\n    );\n    name = \"two words\";\n}");
    EXPECT_EQ(Value(Value::Array {}).description(), "(\n)");
    EXPECT_EQ(Value("bare").description(), "bare");
    EXPECT_EQ(Value().description(), "(null)");
}

} // namespace
