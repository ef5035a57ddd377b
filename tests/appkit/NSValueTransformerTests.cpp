#include "support/SimWorld.h"

#include <appkit/NSValueTransformer.h>
#include <foundation/Log.h>
#include <foundation/NSKeyedArchiver.h>

namespace {

class Doubler final : public NSValueTransformer {
public:
    Value transformedValue(const Value& value) const override { return Value(value.integerValue() * 2); }
};

}

TEST(NSValueTransformer, RegistersTransformersByName)
{
    EXPECT_TRUE(NSValueTransformer::valueTransformerForName(NSKeyedUnarchiveFromDataTransformerName));
    EXPECT_FALSE(NSValueTransformer::valueTransformerForName("Doubler"));
    auto doubler = makeRef<Doubler>();
    NSValueTransformer::setValueTransformer(doubler, "Doubler");
    EXPECT_EQ(NSValueTransformer::valueTransformerForName("Doubler"), doubler);
    EXPECT_EQ(doubler->transformedValue(Value(21)), Value(42));

    EXPECT_TRUE(doubler->reverseTransformedValue(Value(42)).isNil()) << "a one-way transformer refuses the reverse";

    NSValueTransformer::setValueTransformer(nullptr, "Doubler");
    EXPECT_FALSE(NSValueTransformer::valueTransformerForName("Doubler"));
}

TEST(NSValueTransformer, UnarchivesDataAndArchivesObjects)
{
    auto transformer = NSValueTransformer::valueTransformerForName(NSKeyedUnarchiveFromDataTransformerName);
    ASSERT_TRUE(transformer);
    EXPECT_TRUE(transformer->allowsReverseTransformation());
    Value value(Value::Array { Value(1), Value("two") });
    Value data = transformer->reverseTransformedValue(value);
    ASSERT_TRUE(data.isData());
    EXPECT_EQ(transformer->transformedValue(data), value);
    EXPECT_TRUE(transformer->reverseTransformedValue(Value()).isNil());
    LogCapture log;
    EXPECT_TRUE(transformer->transformedValue(Value("text")).isNil());
    EXPECT_TRUE(log.contains("not data"));
    EXPECT_TRUE(transformer->transformedValue(Value(Value::Bytes { 'b', 'p', 'l', 'i', 's', 't' })).isNil());
    EXPECT_TRUE(log.contains("could not decode"));
}
