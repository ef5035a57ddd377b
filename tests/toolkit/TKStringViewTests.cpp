#include <support/Pixels.h>
#include <support/SimWorld.h>

#include <appkit/NSApplication.h>
#include <appkit/NSWindow.h>
#include <graphics/NSColor.h>
#include <graphics/NSGraphicsContext.h>
#include <toolkit/NSViewCoreExtensions.h>
#include <toolkit/NSWindowUtilities.h>
#include <toolkit/TKStringView.h>

#include <algorithm>

namespace {

// A view that logs the clicks it gets.
class ClickLog : public NSView {
public:
    using NSView::NSView;
    void mouseDown(const Ref<NSEvent>&) override { clicks++; }
    int clicks { 0 };
};

// An ancestor that paints the background behind its subviews in one colour.
class PaintingView : public NSView, public TKBackgroundDrawing {
public:
    using NSView::NSView;
    void drawBackgroundInSubview(NSView& subview, CGRect inRect) override
    {
        asked.push_back(&subview);
        auto cg = NSGraphicsContext::currentContext()->CGContext();
        CGContextSetFillColorWithColor(cg, NSColor::blueColor()->CGColor());
        CGContextFillRect(cg, inRect);
    }
    std::vector<NSView*> asked;
};

struct Ink {
    int darkest { 255 };
    int inkedColumns { 0 };
};

// How dark the darkest pixel of a region is, and how many of its columns
// hold a pixel darker than mid-grey, on a white window.
Ink inkIn(const DesktopImage& image, int x0, int y0, int x1, int y1)
{
    Ink ink;
    for (int x = x0; x < x1; ++x) {
        bool inked = false;
        for (int y = y0; y < y1; ++y) {
            RGBA p = pixelAt(image, x, y);
            int level = (p.r + p.g + p.b) / 3;
            ink.darkest = std::min(ink.darkest, level);
            inked = inked || level < 128;
        }
        ink.inkedColumns += inked;
    }
    return ink;
}

struct LabelFixture : public ::testing::Test {
    SimWorld world { SimWorld::emptyScenario() };
    Ref<NSWindow> window = makeRef<NSWindow>(CGRectMake(100, 100, 300, 100), NSWindowStyleMaskTitled);

    LabelFixture()
    {
        window->setBackgroundColor(NSColor::whiteColor());
        NSApp().activateIgnoringOtherApps(true);
        world.settle();
    }
};

}

TEST(TKStringView, AMadeLabelIsAPlainMiddleTruncatingLabelButOneFromAnInterfaceFileKeepsItsSettings)
{
    SimWorld world { SimWorld::emptyScenario() };
    auto label = TKStringView::stringView(NSBackgroundStyleEmphasized);
    EXPECT_EQ(label->frame(), CGRectMake(0, 0, 10, 10));
    EXPECT_EQ(label->cellBackgroundStyle(), NSBackgroundStyleEmphasized);
    EXPECT_FALSE(label->isEditable());
    EXPECT_FALSE(label->isSelectable());
    EXPECT_FALSE(label->acceptsFirstResponder());
    EXPECT_FALSE(label->drawsBackground());
    EXPECT_EQ(label->backgroundColor(), nullptr);
    EXPECT_FALSE(label->isBordered());
    EXPECT_FALSE(label->isBezeled());
    EXPECT_EQ(label->lineBreakMode(), NSLineBreakByTruncatingMiddle);
    EXPECT_EQ(label->cachedMinSizeToFit(), CGSizeZero);

    auto fromFile = makeRef<TKStringView>(CGRectMake(0, 0, 80, 20), TKStringView::InterfaceFile {});
    EXPECT_TRUE(fromFile->isEditable());
    EXPECT_EQ(fromFile->lineBreakMode(), NSTextField().lineBreakMode());
    EXPECT_EQ(fromFile->cellBackgroundStyle(), NSBackgroundStyleNormal);
}

TEST_F(LabelFixture, AClickOnTheLabelGoesToTheViewBeneath)
{
    auto beneath = makeRef<ClickLog>(CGRectMake(0, 0, 300, 100));
    auto label = makeRef<TKStringView>(CGRectMake(20, 20, 200, 40));
    label->setStringValue("Inbox");
    window->contentView()->addSubview(beneath);
    window->contentView()->addSubview(label);
    window->makeKeyAndOrderFront(nullptr);
    world.settle();

    EXPECT_EQ(label->hitTest(CGPointMake(50, 30)), nullptr);
    EXPECT_EQ(label->hitTest(CGPointMake(1000, 1000)), nullptr);
    EXPECT_EQ(window->contentView()->hitTest(CGPointMake(50, 30)), beneath);
    // A click in the middle of the label, screen (150, 140).
    EXPECT_TRUE(
        NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, { 150, 140 })));
    EXPECT_EQ(beneath->clicks, 1);
    EXPECT_NE(window->firstResponder(), label);
}

TEST_F(LabelFixture, TheMinimumSizeIsTheTextsSizeWithAMarginAndIsMeasuredAgainAfterEveryChange)
{
    auto label = makeRef<TKStringView>(CGRectMake(0, 0, 100, 20));
    // The empty string: the margin alone, with the empty string's height.
    CGSize empty = label->attributedStringValue()->size();
    EXPECT_EQ(label->minSizeToFit(), CGSizeMake(6.0, empty.height));
    EXPECT_EQ(label->cachedMinSizeToFit(), CGSizeMake(6.0, empty.height));

    label->setStringValue("Quorvex window");
    EXPECT_EQ(label->cachedMinSizeToFit(), CGSizeZero);
    CGSize text = label->attributedStringValue()->size();
    ASSERT_GT(text.width, 20);
    EXPECT_EQ(label->minSizeToFit(), CGSizeMake(text.width + 6.0, text.height));

    // A size in the cache is returned as it is, until the text is set again,
    // even to the same text, by any of the three setters.
    const CGSize marker = CGSizeMake(1, 2);
    label->setCachedMinSizeToFit(marker);
    EXPECT_EQ(label->minSizeToFit(), marker);
    label->setStringValue("Quorvex window");
    EXPECT_EQ(label->minSizeToFit(), CGSizeMake(text.width + 6.0, text.height));

    label->setCachedMinSizeToFit(marker);
    label->setNeedsDisplay(false);
    label->setObjectValue(Value("Quorvex window"));
    EXPECT_EQ(label->minSizeToFit(), CGSizeMake(text.width + 6.0, text.height));
    EXPECT_FALSE(label->needsDisplay()) << "the same text is not drawn again";
    label->setObjectValue(Value("Quorvex"));
    EXPECT_TRUE(label->needsDisplay());
    label->setObjectValue(Value("Quorvex window"));

    label->setCachedMinSizeToFit(marker);
    NSStringAttributes big;
    big.font = NSFont::systemFontOfSize(30);
    label->setAttributedStringValue(makeRef<NSAttributedString>("Quorvex window", big));
    CGSize bigText = label->attributedStringValue()->size();
    EXPECT_GT(bigText.height, text.height);
    EXPECT_EQ(label->minSizeToFit(), CGSizeMake(bigText.width + 6.0, bigText.height));
}

TEST_F(LabelFixture, DrawingDimsTheCellOnlyWhenTheWindowsControlsDim)
{
    auto label = makeRef<TKStringView>(CGRectMake(10, 10, 280, 40));
    label->setStringValue("MMMMMMMM");
    label->setFont(NSFont::systemFontOfSize(24));
    label->setCellBackgroundStyle(NSBackgroundStyleLowered);
    window->contentView()->addSubview(label);
    window->makeKeyAndOrderFront(nullptr);
    world.settle();

    // The main window: undimmed, the label's background style given.
    ASSERT_FALSE(NSWindowUtilities::dimControls(*window));
    auto undimmed = window->renderedImage();
    EXPECT_TRUE(label->cell()->isEnabled());
    EXPECT_EQ(label->cell()->backgroundStyle(), NSBackgroundStyleLowered);

    // Another window becomes main: the label draws with a disabled cell and
    // its background style is left alone.
    auto other = makeRef<NSWindow>(CGRectMake(600, 100, 100, 100), NSWindowStyleMaskTitled);
    other->makeKeyAndOrderFront(nullptr);
    world.settle();
    ASSERT_TRUE(NSWindowUtilities::dimControls(*window));
    label->cell()->setBackgroundStyle(NSBackgroundStyleRaised);
    auto dimmed = window->renderedImage();
    EXPECT_FALSE(label->cell()->isEnabled());
    EXPECT_EQ(label->cell()->backgroundStyle(), NSBackgroundStyleRaised);

    // The text is there both times, lighter when dimmed.
    // The label spans window rows 50..90 from the top.
    Ink plain = inkIn(undimmed, 10, 50, 290, 90);
    Ink faint = inkIn(dimmed, 10, 50, 290, 90);
    EXPECT_LT(plain.darkest, 80);
    EXPECT_LT(faint.darkest, 250);
    EXPECT_GT(faint.darkest, plain.darkest + 40);

    // A floating window never dims, main or not.
    NSWindowUtilities::setFloating(*window, true);
    label->setNeedsDisplay(true);
    window->renderedImage();
    EXPECT_TRUE(label->cell()->isEnabled());
    EXPECT_EQ(label->cell()->backgroundStyle(), NSBackgroundStyleLowered);

    // Outside any window nothing dims.
    auto loose = makeRef<TKStringView>(CGRectMake(0, 0, 50, 20));
    loose->cell()->setEnabled(false);
    loose->drawRect(loose->bounds());
    EXPECT_TRUE(loose->cell()->isEnabled());
}

TEST_F(LabelFixture, ALabelFromAnInterfaceFileGivesItsCellStyleZeroUnlessToldOtherwise)
{
    auto label = makeRef<TKStringView>(CGRectMake(10, 10, 100, 20), TKStringView::InterfaceFile {});
    label->cell()->setBackgroundStyle(NSBackgroundStyleEmphasized);
    window->contentView()->addSubview(label);
    window->makeKeyAndOrderFront(nullptr);
    world.settle();
    window->renderedImage();
    EXPECT_EQ(label->cell()->backgroundStyle(), NSBackgroundStyleNormal);
    label->setCellBackgroundStyle(NSBackgroundStyleEmphasized);
    label->setNeedsDisplay(true);
    window->renderedImage();
    EXPECT_EQ(label->cell()->backgroundStyle(), NSBackgroundStyleEmphasized);
}

TEST_F(LabelFixture, TheNearestWillingAncestorPaintsTheBackgroundFirst)
{
    auto painter = makeRef<PaintingView>(CGRectMake(0, 0, 300, 100));
    auto label = makeRef<TKStringView>(CGRectMake(20, 20, 200, 40));
    label->setStringValue("MMMM");
    painter->addSubview(label);
    window->contentView()->addSubview(painter);
    window->makeKeyAndOrderFront(nullptr);
    world.settle();
    auto image = window->renderedImage();
    ASSERT_EQ(painter->asked.size(), 1u);
    EXPECT_EQ(painter->asked[0], label.get());
    // The painter filled the label's area with blue (inside the label only:
    // the painter's own bounds, clipped to the label), and the text is drawn
    // over it.
    RGBA inside = pixelAt(image, 215, 100 - 25);
    EXPECT_EQ(inside.r, 0);
    EXPECT_EQ(inside.b, 255);
    RGBA outside = pixelAt(image, 5, 100 - 5);
    EXPECT_EQ(outside.b, 255);
    EXPECT_EQ(outside.r, 255);
}

TEST_F(LabelFixture, LongTextLosesItsMiddleAndKeepsBothEnds)
{
    // Both ends are tall letters and the middle is blank: when the middle is
    // cut out, ink reaches both edges of the label.
    std::string text = std::string(12, 'M') + std::string(80, ' ') + std::string(12, 'M');
    auto label = makeRef<TKStringView>(CGRectMake(0, 20, 300, 40));
    label->setFont(NSFont::systemFontOfSize(20));
    label->setStringValue(text);
    window->contentView()->addSubview(label);
    window->makeKeyAndOrderFront(nullptr);
    world.settle();
    auto image = window->renderedImage();
    // The label spans window rows 40..80 from the top.
    EXPECT_GT(inkIn(image, 0, 40, 30, 80).inkedColumns, 10);
    EXPECT_GT(inkIn(image, 270, 40, 300, 80).inkedColumns, 10);

    // A plain label clips instead: the end of its line is blank.
    label->removeFromSuperview();
    auto plain = NSTextField::labelWithString(text);
    plain->setFont(NSFont::systemFontOfSize(20));
    plain->setFrame(CGRectMake(0, 20, 300, 40));
    window->contentView()->addSubview(plain);
    image = window->renderedImage();
    EXPECT_GT(inkIn(image, 0, 40, 30, 80).inkedColumns, 10);
    EXPECT_EQ(inkIn(image, 270, 40, 300, 80).inkedColumns, 0);
}
