#include "GraphicsTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

// The bounding box of pixels with any ink, in rows from the top.
struct Ink {
    long minX { 1 << 30 }, minY { 1 << 30 }, maxX { -1 }, maxY { -1 };
    bool any() const { return maxX >= 0; }
};

static Ink inkOf(const CGContextRef& c)
{
    Ink ink;
    for (size_t y = 0; y < CGBitmapContextGetHeight(c); ++y)
        for (size_t x = 0; x < CGBitmapContextGetWidth(c); ++x)
            if (pixelAt(c, x, y)[3] > 0) {
                ink.minX = std::min(ink.minX, long(x));
                ink.maxX = std::max(ink.maxX, long(x));
                ink.minY = std::min(ink.minY, long(y));
                ink.maxY = std::max(ink.maxY, long(y));
            }
    return ink;
}

TEST(NSFont, NamesSizesAndStyles)
{
    auto bold = NSFont::fontWithName("Helvetica-Bold", 12);
    ASSERT_TRUE(bold);
    EXPECT_EQ(bold->familyName(), "Helvetica");
    EXPECT_TRUE(bold->isBold());
    EXPECT_EQ(bold->pointSize(), 12);
    EXPECT_FALSE(NSFont::fontWithName("Helvetica", 12)->isBold());
    EXPECT_TRUE(NSFont::fontWithName("Helvetica-Oblique", 12)->isItalic());
    EXPECT_FALSE(NSFont::fontWithName("", 12));
    EXPECT_FALSE(NSFont::fontWithName("Helvetica", 0));
    auto system = NSFont::systemFontOfSize(12.6);
    EXPECT_EQ(system->pointSize(), 12.6);
    EXPECT_TRUE(NSFont::boldSystemFontOfSize(12)->isBold());
    EXPECT_GT(system->ascender(), 5);
    EXPECT_LT(system->descender(), 0);
    EXPECT_TRUE(NSFont::systemFontOfSize(12)->isEqual(NSFont::systemFontOfSize(12)));
}

// Advance widths of Helvetica and Helvetica Bold, in thousandths of the
// size; single glyphs and digits, which no kerning pair moves.
TEST(NSFont, HelveticaAndTheSystemFontMeasureWithHelveticasWidths)
{
    struct Case {
        Ref<NSFont> font;
        const char* text;
        double thousandths;
    };
    const Case cases[] = {
        { NSFont::fontWithName("Helvetica", 100), "W", 944 },
        { NSFont::fontWithName("Helvetica", 100), "m", 833 },
        { NSFont::fontWithName("Helvetica", 100), "i", 222 },
        { NSFont::fontWithName("Helvetica-Bold", 100), "b", 611 },
        { NSFont::systemFontOfSize(100), "W", 944 },
        { NSFont::systemFontOfSize(100), "10", 2 * 556 },
        { NSFont::boldSystemFontOfSize(100), "x", 556 },
        { NSFont::fontWithName("SystemFont-Bold", 100), "x", 556 },
    };
    for (const auto& c : cases) {
        NSStringAttributes attributes { c.font, nullptr, 0 };
        EXPECT_NEAR(sizeWithAttributes(c.text, attributes).width, c.thousandths / 10, 1.0)
            << c.font->fontName() << " \"" << c.text << "\"";
    }
}

TEST(NSStringDrawing, MeasuringFollowsTheTextAndFont)
{
    NSStringAttributes small { NSFont::systemFontOfSize(12), nullptr, 0 };
    NSStringAttributes large { NSFont::systemFontOfSize(24), nullptr, 0 };
    CGSize i = sizeWithAttributes("i", small);
    CGSize www = sizeWithAttributes("WWW", small);
    EXPECT_GT(www.width, 3 * i.width);
    EXPECT_GE(i.height, 12);
    EXPECT_LT(i.height, 20);
    CGSize big = sizeWithAttributes("WWW", large);
    EXPECT_NEAR(big.width, 2 * www.width, 1.0);
    EXPECT_EQ(sizeWithAttributes("", small).width, 0);
    EXPECT_GT(sizeWithAttributes("", small).height, 0);
    // Helvetica's capital W is as wide in bold as in the regular weight;
    // its lower-case letters are not.
    NSStringAttributes bold { NSFont::boldSystemFontOfSize(12), nullptr, 0 };
    EXPECT_GT(sizeWithAttributes("box", bold).width, sizeWithAttributes("box", small).width);

    TextLayout layout("a fairly long window title that will not fit", small);
    layout.setMaximumWidth(80, NSLineBreakByTruncatingMiddle);
    EXPECT_LE(layout.size().width, 80);
    EXPECT_NEAR(layout.size().height, i.height, 0.5);
}

TEST(NSStringDrawing, AKeptMeasureIsAlwaysTheSameTextInTheSameFonts)
{
    // Measured once in each font, then again in the other order, from
    // another thread and after thousands of other texts: always what a
    // fresh layout measures.
    const std::vector<NSStringAttributes> fonts = { { NSFont::systemFontOfSize(12), nullptr, 0 },
        { NSFont::systemFontOfSize(13), nullptr, 0 }, { NSFont::boldSystemFontOfSize(12), nullptr, 0 },
        { NSFont::fontWithName("Helvetica", 12), nullptr, 1 } };
    auto fresh = [](const std::string& text, const NSStringAttributes& a) { return TextLayout(text, a).size(); };
    auto expectFresh = [&](const char* when) {
        for (size_t i = fonts.size(); i-- > 0;)
            for (const char* text : { "Mail", "42", "" }) {
                CGSize kept = sizeWithAttributes(text, fonts[i]);
                EXPECT_TRUE(CGSizeEqualToSize(kept, fresh(text, fonts[i]))) << when << " font " << i << " \"" << text << "\"";
            }
    };
    for (const auto& font : fonts)
        sizeWithAttributes("Mail", font);
    expectFresh("again");
    std::thread([&] { expectFresh("on another thread"); }).join();
    for (int i = 0; i < 5000; ++i)
        sizeWithAttributes(std::to_string(i), fonts[size_t(i) % fonts.size()]);
    expectFresh("after many others");
}

TEST(NSStringDrawing, DrawsAtTheOriginInBothSpaces)
{
    NSStringAttributes attributes { NSFont::systemFontOfSize(12), NSColor::redColor(), 0 };
    CGSize s = sizeWithAttributes("Hg", attributes);
    // Unflipped: the point is the text's bottom-left corner.
    auto c = makeRGBAContext(60, 40);
    {
        CurrentContextScope scope(NSGraphicsContext::graphicsContextWithCGContext(c, false));
        drawAtPoint("Hg", CGPointMake(10, 5), attributes);
    }
    Ink ink = inkOf(c);
    ASSERT_TRUE(ink.any());
    EXPECT_GE(ink.minX, 10);
    EXPECT_LE(ink.maxX, 10 + long(s.width) + 1);
    EXPECT_LE(ink.maxY, 40 - 5);
    EXPECT_GE(ink.minY, 40 - 5 - long(s.height) - 1);
    RGBA sample = pixelAt(c, size_t(ink.minX + 1), size_t((ink.minY + ink.maxY) / 2));
    EXPECT_EQ(sample[1], 0);

    // Flipped: the point is the top-left corner.
    auto d = makeRGBAContext(60, 40);
    CGContextTranslateCTM(d, 0, 40);
    CGContextScaleCTM(d, 1, -1);
    {
        CurrentContextScope scope(NSGraphicsContext::graphicsContextWithCGContext(d, true));
        drawAtPoint("Hg", CGPointMake(10, 5), attributes);
    }
    Ink flipped = inkOf(d);
    EXPECT_GE(flipped.minY, 5);
    EXPECT_LE(flipped.maxY, 5 + long(s.height) + 1);
    // The same glyphs, upright in both.
    EXPECT_EQ(flipped.maxX - flipped.minX, ink.maxX - ink.minX);
    EXPECT_EQ(flipped.maxY - flipped.minY, ink.maxY - ink.minY);
}

TEST(NSStringDrawing, RangesAreUTF16Units)
{
    // "←" is one UTF-16 unit in three bytes; "𝄞" is two units in four bytes.
    std::string text = "a←𝄞b";
    EXPECT_EQ(utf16Length(text), 5u);
    EXPECT_EQ(utf8OffsetForUTF16(text, 1), 1u);
    EXPECT_EQ(utf8OffsetForUTF16(text, 2), 4u);
    EXPECT_EQ(utf8OffsetForUTF16(text, 4), 8u);
    EXPECT_EQ(utf8OffsetForUTF16(text, 99), text.size());

    NSStringAttributes base { NSFont::systemFontOfSize(12), NSColor::blackColor(), 0 };
    TextLayout layout("Tab Quit", base);
    CGSize before = layout.size();
    layout.addAttributes({ 0, 1 }, { nullptr, nullptr, 1 });
    layout.addAttributes({ 4, 4 }, { NSFont::boldSystemFontOfSize(12), NSColor::whiteColor(), 0 });
    EXPECT_GT(layout.size().width, before.width);
}
