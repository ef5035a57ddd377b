#include "ImageTestSupport.h"

#include <toolkit/VTValueTransformers.h>

#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSTextField.h>
#include <foundation/Log.h>
#include <foundation/NSPathUtilities.h>
#include <support/TemporaryDirectory.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

namespace {

// One observable value under the key "value".
class Model : public NSObject {
public:
    Value value;
    Value valueForKey(const std::string& key) const override
    {
        return key == "value" ? value : NSObject::valueForKey(key);
    }
    void setValueForKey(const Value& v, const std::string& key) override
    {
        willChangeValueForKey(key);
        value = v;
        didChangeValueForKey(key);
    }
};

double number(const Value& v) { return v.doubleValue(); }

} // namespace

TEST(VTValueTransformers, TextFieldsBindThroughEveryTransformer)
{
    VTValueTransformers::registerNamedTransformers();
    auto model = makeRef<Model>();
    auto field = NSTextField::textFieldWithString("");
    auto byName = [&](const std::string& name, const Value& value) {
        model->setValueForKey(value, "value");
        field->bind(NSValueBinding, model, "value", Value::Dictionary { { NSValueTransformerNameBindingOption, name } });
        return field->objectValue();
    };
    auto byObject = [&](const Ref<NSValueTransformer>& transformer, const Value& value) {
        model->setValueForKey(value, "value");
        field->bind(NSValueBinding, model, "value", Value::Dictionary { { NSValueTransformerBindingOption, transformer } });
        return field->objectValue();
    };

    EXPECT_EQ(number(byName("VTInvertNumberTransformer", 2.5)), -2.5);
    EXPECT_EQ(number(byName("VTBandedValueTransformer", 3)), 1.0);
    EXPECT_EQ(byName("VTCapitalizer", "élan vital").stringValue(), "Élan vital");
    EXPECT_EQ(byName("VTDOSFilenameTransformer", "/tmp/notes/Readme.txt").stringValue(), "README.TXT");
    EXPECT_EQ(byName("VTDisplayNameTransformer", "/tmp/notes/Readme.txt").stringValue(), "Readme.txt");
    auto resized = byName("VTImageSizeTransformer", Value(solidImage(4, 4, kRed))).objectAs<NSImage>();
    ASSERT_TRUE(resized);
    EXPECT_EQ(resized->size(), CGSizeMake(200, 200));

    // Typing into the field writes the reverse transformation back.
    byName("VTInvertNumberTransformer", 1);
    field->propagateValue(Value(-4.0), NSValueBinding);
    EXPECT_EQ(number(model->value), 4.0);

    auto formatter = makeRef<NSDateFormatter>();
    formatter->setDateFormat("yyyy-MM-dd 'at' HH:mm");
    auto dates = makeRef<VTDateTransformer>(formatter);
    EXPECT_EQ(byObject(dates, NSDate { 0 }).stringValue(), "2001-01-01 at 00:00");
    field->propagateValue(Value("2026-12-09 at 04:30"), NSValueBinding);
    ASSERT_TRUE(model->value.date());
    EXPECT_EQ(dates->transformedValue(model->value).stringValue(), "2026-12-09 at 04:30");

    EXPECT_EQ(number(byObject(makeRef<VTRollingAverageTransformer>(4), 10)), 10);
    EXPECT_EQ(byObject(makeRef<VTArraySizeTransformer>(1, 3), Value::Array { 1, 2 }).boolValue(), true);
    auto paths = makeRef<VTDisplayPathTransformer>(" > ", "…", 2);
    paths->setUsesFilesystemDisplayPath(false);
    EXPECT_EQ(byObject(paths, "/Users/ann/Documents/a.txt").stringValue(), "…Documents > a.txt");
}

TEST(VTValueTransformers, NumbersAverageBandsAndCounts)
{
    VTRollingAverageTransformer average(4);
    Value first(int64_t(10));
    EXPECT_EQ(average.transformedValue(first), first);
    EXPECT_FLOAT_EQ(float(number(average.transformedValue(20))), 12.5f);
    EXPECT_FLOAT_EQ(float(number(average.transformedValue(20))), 14.375f);
    // A window of 0 keeps the latest value instead of dividing by zero.
    VTRollingAverageTransformer none(0);
    none.transformedValue(10);
    EXPECT_EQ(number(none.transformedValue(30)), 30);

    VTArraySizeTransformer sizes(1, 3);
    EXPECT_FALSE(sizes.transformedValue(Value::Array {}).boolValue());
    EXPECT_FALSE(sizes.transformedValue(Value()).boolValue());
    EXPECT_TRUE(sizes.transformedValue(Value::Array { 1, 2, 3 }).boolValue());
    EXPECT_FALSE(sizes.transformedValue(Value::Array { 1, 2, 3, 4 }).boolValue());

    VTInvertNumberTransformer invert;
    EXPECT_EQ(number(invert.transformedValue(2.5)), -2.5);
    EXPECT_EQ(number(invert.reverseTransformedValue(-2.5)), 2.5);
    EXPECT_EQ(number(invert.transformedValue(Value())), 0);

    VTBandedValueTransformer banded({ 0, 10, 100 });
    EXPECT_DOUBLE_EQ(number(banded.transformedValue(5)), 0.25);
    EXPECT_DOUBLE_EQ(number(banded.transformedValue(10)), 0.5);
    EXPECT_DOUBLE_EQ(number(banded.transformedValue(55)), 0.75);
    EXPECT_DOUBLE_EQ(number(banded.transformedValue(-1)), 0.0);
    EXPECT_DOUBLE_EQ(number(banded.transformedValue(100)), 1.0);
    EXPECT_DOUBLE_EQ(number(banded.reverseTransformedValue(0.75)), 55);
    VTBandedValueTransformer standard;
    EXPECT_EQ(number(standard.transformedValue(0)), 0.0);
    EXPECT_EQ(number(standard.transformedValue(0.1)), 1.0);
}

TEST(VTValueTransformers, BandedStaysInsideItsThresholds)
{
    // More than 32 thresholds: all of them count.
    std::vector<double> many;
    for (int i = 0; i <= 40; ++i)
        many.push_back(i * 10.0);
    VTBandedValueTransformer wide(many);
    EXPECT_DOUBLE_EQ(number(wide.transformedValue(395)), 39.5 / 40);
    EXPECT_DOUBLE_EQ(number(wide.reverseTransformedValue(39.5 / 40)), 395);

    VTBandedValueTransformer three({ 0, 10, 100 });
    double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(number(three.transformedValue(nan)), 0.0);
    EXPECT_EQ(number(three.reverseTransformedValue(nan)), 0.0);
    // Just below 1 the band index must not run past the last band.
    double nearlyOne = std::nextafter(1.0, 0.0);
    EXPECT_NEAR(number(three.reverseTransformedValue(nearlyOne)), 100, 1e-9);
    // Equal neighbours make a band without width.
    VTBandedValueTransformer flat({ 0, 5, 5, 10 });
    EXPECT_DOUBLE_EQ(number(flat.transformedValue(7.5)), 2.5 / 3);
    // One threshold has no bands to go back through.
    VTBandedValueTransformer one({ 3 });
    EXPECT_EQ(number(one.reverseTransformedValue(0.5)), 3);
    VTBandedValueTransformer empty(std::vector<double> {});
    EXPECT_EQ(empty.thresholds(), std::vector<double> { 0.0 });
}

TEST(VTValueTransformers, TextPathsAndImages)
{
    VTCapitalizer capitalizer;
    EXPECT_EQ(capitalizer.transformedValue("hello WORLD").stringValue(), "Hello WORLD");
    EXPECT_EQ(capitalizer.transformedValue("").stringValue(), "");
    EXPECT_TRUE(capitalizer.transformedValue(Value()).isNil());

    VTDOSFilenameTransformer dos;
    EXPECT_EQ(dos.transformedValue("/a/b/LongFileName.extension").stringValue(), "LONGFILENAME.EXTENSION");
    EXPECT_TRUE(dos.transformedValue(Value()).isNil());

    VTDisplayPathTransformer all("/", 0);
    all.setUsesFilesystemDisplayPath(false);
    EXPECT_EQ(all.transformedValue("/a/b/c").stringValue(), "a/b/c");
    EXPECT_EQ(all.transformedValue("/").stringValue(), "");
    VTDisplayPathTransformer cut(" ", "...", 1);
    EXPECT_EQ(cut.transformedValue("/no/such/place").stringValue(), "...place");
    // With the file system's names: only for a path that exists.
    TemporaryDirectory dir;
    std::ofstream(dir.file("file.txt")) << "x";
    VTDisplayPathTransformer real("|", 2);
    EXPECT_EQ(real.transformedValue(dir.file("file.txt")).stringValue(),
        NSStringLastPathComponent(dir.path()) + "|file.txt");

    VTImageSizeTransformer sizer(CGSizeMake(0, 50));
    EXPECT_EQ(sizer.size(), CGSizeMake(200, 200));
    VTImageSizeTransformer thumbs(CGSizeMake(32, 16));
    auto image = solidImage(8, 8, kBlue);
    LogCapture log;
    auto sized = thumbs.transformedValue(Value(image)).objectAs<NSImage>();
    ASSERT_TRUE(sized);
    EXPECT_NE(sized, image);
    EXPECT_EQ(sized->size(), CGSizeMake(32, 16));
    EXPECT_EQ(image->size(), CGSizeMake(8, 8));
    EXPECT_TRUE(log.contains("32.000000"));
    EXPECT_TRUE(thumbs.transformedValue(Value()).isNil());
}

TEST(NSDateFormatter, PatternsRoundTripAndRejectWhatDoesNotMatch)
{
    NSDateFormatter formatter;
    formatter.setDateFormat("dd.MM.yy HH:mm:ss");
    NSDate date { 787'228'496 };  // 2025-12-12 10:34:56 UTC
    EXPECT_EQ(formatter.stringFromDate(date), "12.12.25 10:34:56");
    EXPECT_EQ(formatter.dateFromString("12.12.25 10:34:56"), date);
    formatter.setSecondsFromGMT(3600);
    EXPECT_EQ(formatter.stringFromDate(date), "12.12.25 11:34:56");
    EXPECT_FALSE(formatter.dateFromString("31.02.25 10:34:56"));
    EXPECT_FALSE(formatter.dateFromString("12.12.25 10:34"));
    EXPECT_FALSE(formatter.dateFromString("12.12.25 10:34:56 extra"));
}
