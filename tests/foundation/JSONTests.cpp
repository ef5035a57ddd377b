#include <foundation/Foundation.h>

#include <gtest/gtest.h>

namespace {

JSONError failure(const std::string& text)
{
    JSONError error;
    EXPECT_FALSE(parseJSON(text, &error).has_value()) << text;
    return error;
}

std::string parsedString(const std::string& jsonText)
{
    auto v = parseJSON(jsonText);
    if (!v || !v->isString()) return "<no string>";
    return *v->string();
}

TEST(JSON, ParsesEveryKindOfValue)
{
    auto v = parseJSON(
        R"( {"a": [1, -2.5, true, false, null, "s"], "b": {"c": 1e2}, "big": 12345678901234567890} )");
    ASSERT_TRUE(v);
    const Value& a = (*v)["a"];
    ASSERT_EQ(a.count(), 6u);
    EXPECT_EQ(a.at(0).type(), Value::Type::Integer);
    EXPECT_EQ(a.at(0), Value(1));
    EXPECT_EQ(a.at(1).type(), Value::Type::Double);
    EXPECT_EQ(a.at(1), Value(-2.5));
    EXPECT_EQ(a.at(2), Value(true));
    EXPECT_EQ(a.at(3), Value(false));
    EXPECT_TRUE(a.at(4).isNil());
    EXPECT_EQ(a.at(5), Value("s"));
    EXPECT_EQ((*v)["b"]["c"].type(), Value::Type::Double);
    EXPECT_EQ((*v)["b"]["c"], Value(100));
    EXPECT_EQ((*v)["big"].type(), Value::Type::Double);
    EXPECT_DOUBLE_EQ((*v)["big"].doubleValue(), 12345678901234567890.0);
}

TEST(JSON, ErrorsCarryLineAndColumn)
{
    auto error = failure("{\n  \"a\": 1,\n  \"b\": tru\n}");
    EXPECT_EQ(error.line, 3u);
    EXPECT_EQ(error.column, 8u);
    EXPECT_FALSE(error.message.empty());

    error = failure("[1, 2");
    EXPECT_EQ(error.line, 1u);
    EXPECT_EQ(error.column, 6u);

    error = failure("");
    EXPECT_EQ(error.line, 1u);
    EXPECT_EQ(error.column, 1u);

    error = failure("{\"a\" 1}");
    EXPECT_EQ(error.column, 6u);

    error = failure("[1]\n  x");
    EXPECT_EQ(error.line, 2u);
    EXPECT_EQ(error.column, 3u);
}

TEST(JSON, RefusesMalformedText)
{
    for (const char* text : { "[1,]", "{\"a\":1,}", "{a:1}", "'s'", "\"unterminated", "[1 2]", "-", "1.",
             ".5", "1e", "\"\\x\"", "\"\\u12G4\"", "\"tab\there\"", "nul", "[] []", "+1" })
        failure(text);
}

TEST(JSON, UnicodeEscapesAndSurrogatePairs)
{
    EXPECT_EQ(parsedString(R"("\u0041\u00e9\u20ac")"), "A\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(parsedString(R"("\ud83d\ude00")"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(parsedString(R"("\"\\\/\b\f\n\r\t")"), "\"\\/\b\f\n\r\t");
    EXPECT_EQ(parsedString("\"caf\xC3\xA9\""), "caf\xC3\xA9");
}

TEST(JSON, LoneSurrogatesBecomeReplacementCharacters)
{
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(parsedString(R"("\ud800")"), fffd);
    EXPECT_EQ(parsedString(R"("\udc00x")"), fffd + "x");
    EXPECT_EQ(parsedString(R"("\ud800x")"), fffd + "x");
    EXPECT_EQ(parsedString(R"("\ud800\n")"), fffd + "\n");
    // A high surrogate followed by another high one that does have its pair.
    EXPECT_EQ(parsedString(R"("\ud800\ud83d\ude00")"), fffd + "\xF0\x9F\x98\x80");
    EXPECT_EQ(parsedString(R"("\ud800\u0041")"), fffd + "A");
}

TEST(JSON, RefusesInvalidUtf8)
{
    for (const char* text : { "\"\xFF\"", "\"\xC3\"", "\"\xC0\xAF\"", "\"\xED\xA0\x80\"",
             "\"\xF4\x90\x80\x80\"", "\"\xE2\x82\"" })
        failure(text);
}

TEST(JSON, DeepNestingIsRefusedWithoutCrashing)
{
    std::string deep(100000, '[');
    auto error = failure(deep);
    EXPECT_FALSE(error.message.empty());
    std::string objects;
    for (int i = 0; i < 100000; ++i)
        objects += "{\"a\":";
    failure(objects);

    std::string fine = std::string(100, '[') + std::string(100, ']');
    EXPECT_TRUE(parseJSON(fine).has_value());
}

TEST(JSON, NumbersAtTheEdges)
{
    EXPECT_EQ(parseJSON("-9223372036854775808")->type(), Value::Type::Integer);
    EXPECT_EQ(parseJSON("-9223372036854775808")->integerValue(), INT64_MIN);
    EXPECT_EQ(parseJSON("9223372036854775808")->type(), Value::Type::Double);
    EXPECT_EQ(*parseJSON("1e-400"), Value(0.0));
    failure("1e400");
    failure("-1e400");
}

TEST(JSON, RoundTrip)
{
    Value original = Value::Dictionary {
        { "name", "quote \" backslash \\ newline \n tab \t bell \x07 euro \xE2\x82\xAC" },
        { "list", Value::Array { 1, -2, 0.1, 1e21, true, false, Value() } },
        { "nested", Value::Dictionary { { "empty", Value::Array {} }, { "obj", Value::Dictionary {} } } },
    };
    for (bool pretty : { false, true }) {
        std::string text = serializeJSON(original, pretty);
        JSONError error;
        auto back = parseJSON(text, &error);
        ASSERT_TRUE(back) << error.message << " in " << text;
        EXPECT_EQ(*back, original) << text;
        EXPECT_EQ(serializeJSON(*back, pretty), text);
    }
}

TEST(JSON, SerializedForm)
{
    Value v = Value::Dictionary { { "b", Value::Array { 1, 2.5 } }, { "a", "x" } };
    EXPECT_EQ(serializeJSON(v), R"({"a":"x","b":[1,2.5]})");
    EXPECT_EQ(serializeJSON(v, true), "{\n  \"a\": \"x\",\n  \"b\": [\n    1,\n    2.5\n  ]\n}");
    EXPECT_EQ(serializeJSON(Value(std::nan(""))), "null");
    EXPECT_EQ(serializeJSON(Value(makeRef<NSObject>())), "null");
    EXPECT_EQ(serializeJSON(Value("\x01")), "\"\\u0001\"");
}

} // namespace

TEST(JSON, DuplicateKeysAreRefusedOnlyWhenAsked)
{
    const std::string text = "{\"a\": 1, \"inner\": {\"b\": 2,\n \"b\": 3}}";
    auto lenient = parseJSON(text);
    ASSERT_TRUE(lenient);
    EXPECT_EQ((*lenient)["inner"]["b"].integerValue(), 3) << "the last value wins";
    JSONError error;
    EXPECT_FALSE(parseJSON(text, &error, JSONOptions { .rejectDuplicateKeys = true }));
    EXPECT_EQ(error.message, "duplicate key \"b\"");
    EXPECT_EQ(error.line, 2u);
    EXPECT_EQ(error.column, 2u);
    // The same key in different objects is no duplicate.
    EXPECT_TRUE(parseJSON("[{\"a\": 1}, {\"a\": 2}]", nullptr, JSONOptions { .rejectDuplicateKeys = true }));
}
