#include "support/SimWorld.h"

#include <animation/CAShapeLayer.h>
#include <animation/CATextLayer.h>
#include <appkit/NSApplication.h>
#include <appkit/NSWindow.h>
#include <graphics/NSBezierPath.h>
#include <graphics/NSGraphicsContext.h>
#include <graphics/NSImage.h>
#include <graphics/NSStringDrawing.h>
#include <toolkit/FBFlatButton.h>

#include <cmath>
#include <functional>

namespace {

Ref<NSImage> squareImage(CGFloat side)
{
    auto image = NSImage::create(CGSizeMake(side, side));
    image->lockFocus();
    NSColor::blackColor()->setFill();
    NSBezierPath::fillRect(CGRectMake(0, 0, side, side));
    image->unlockFocus();
    return image;
}

bool sameColor(const CGColorRef& a, const Ref<NSColor>& b)
{
    return CGColorEqualToColor(a, b ? b->CGColor() : nullptr);
}

CGColorRef colorOf(const CAValue& value)
{
    auto color = std::get_if<CGColorRef>(&value);
    return color ? *color : nullptr;
}

class ActionLog : public NSObject, public NSActionTarget {
public:
    ActionLog()
    {
        setActionHandler("pressed:", [this](const Ref<NSObject>&) { ++count; });
    }
    int count { 0 };
};

// MARK: Layout tables

struct Measures {
    CGFloat W, H, iw, ih, tw, th, s;
};
using Formula = std::function<CGFloat(const Measures&)>;

struct LayoutCase {
    const char* name;
    NSCellImagePosition position;
    bool hug;
    Formula imageX, imageY;
    Formula titleX, titleY;
    bool hasImageLayer { true };
    bool hasTitleLayer { true };
};

std::ostream& operator<<(std::ostream& os, const LayoutCase& c) { return os << c.name; }

Formula zero = [](const Measures&) { return 0.0; };
Formula imageCentreX = [](const Measures& m) { return (m.W - m.iw) / 2; };
Formula imageCentreY = [](const Measures& m) { return (m.H - m.ih) / 2; };
Formula titleCentreX = [](const Measures& m) { return (m.W - m.tw) / 2; };
Formula titleCentreY = [](const Measures& m) { return (m.H - m.th) / 2; };

const LayoutCase kLayoutCases[] = {
    { "NoImage", NSNoImage, false, zero, zero, titleCentreX, titleCentreY, false, true },
    { "ImageOnly", NSImageOnly, false, imageCentreX, imageCentreY, zero, zero, true, false },
    { "Overlaps", NSImageOverlaps, false, imageCentreX, imageCentreY, titleCentreX, titleCentreY },
    { "Left", NSImageLeft, false, [](const Measures& m) { return m.s; }, imageCentreY,
        [](const Measures& m) { return m.W - m.tw - m.s; }, titleCentreY },
    { "LeftHugging", NSImageLeft, true, [](const Measures& m) { return (m.W - m.iw - m.tw) / 2 - m.s; },
        imageCentreY, [](const Measures& m) { return (m.W + m.iw - m.tw) / 2 + m.s; }, titleCentreY },
    { "LeadingHugging", NSImageLeading, true, [](const Measures& m) { return (m.W - m.iw - m.tw) / 2 - m.s; },
        imageCentreY, [](const Measures& m) { return (m.W + m.iw - m.tw) / 2 + m.s; }, titleCentreY },
    { "Right", NSImageRight, false, [](const Measures& m) { return m.W - m.iw - m.s; }, imageCentreY,
        [](const Measures& m) { return m.s; }, titleCentreY },
    { "TrailingHugging", NSImageTrailing, true,
        [](const Measures& m) { return (m.W - m.iw + m.tw) / 2 + m.s; }, imageCentreY,
        [](const Measures& m) { return (m.W - m.iw - m.tw) / 2 - m.s; }, titleCentreY },
    { "Below", NSImageBelow, false, imageCentreX, [](const Measures& m) { return m.H - m.ih - m.s; },
        titleCentreX, [](const Measures& m) { return m.s; } },
    { "BelowHugging", NSImageBelow, true, imageCentreX,
        [](const Measures& m) { return (m.H - m.ih + m.th) / 2 + m.s; }, titleCentreX,
        [](const Measures& m) { return (m.H - m.ih - m.th) / 2 - m.s; } },
    { "Above", NSImageAbove, false, imageCentreX, [](const Measures& m) { return m.s; }, titleCentreX,
        [](const Measures& m) { return m.H - m.th - m.s; } },
    { "AboveHugging", NSImageAbove, true, imageCentreX,
        [](const Measures& m) { return (m.H - m.ih - m.th) / 2 - m.s; }, titleCentreX,
        [](const Measures& m) { return (m.H + m.ih - m.th) / 2 + m.s; } },
    { "UnknownPosition", static_cast<NSCellImagePosition>(9), false, zero, zero, zero, zero },
};

class FlatButtonLayout : public ::testing::TestWithParam<LayoutCase> {
protected:
    SimWorld world { SimWorld::emptyScenario() };
};

}

TEST_P(FlatButtonLayout, PlacesImageAndTitleByThePositionTables)
{
    const LayoutCase& c = GetParam();
    auto button = makeRef<FBFlatButton>(CGRectMake(0, 0, 121, 45));
    button->setFont(NSFont::systemFontOfSize(13));
    button->setTitle("Switch");
    button->setImageHugsTitle(c.hug);
    button->setImage(squareImage(17));
    button->setSpacing(3);
    button->setImagePosition(c.position);

    NSStringAttributes attributes;
    attributes.font = NSFont::systemFontOfSize(13);
    CGSize text = sizeWithAttributes("Switch", attributes);
    Measures m { 121, 45, 17, 17, text.width, text.height, 3 };

    auto image = button->imageLayer();
    EXPECT_EQ(image->superlayer() == button->layer().get(), c.hasImageLayer);
    if (c.hasImageLayer) {
        EXPECT_EQ(image->frame(), button->bounds());
        ASSERT_TRUE(image->mask());
        CGRect mask = image->mask()->frame();
        EXPECT_DOUBLE_EQ(mask.origin.x, std::round(c.imageX(m)));
        EXPECT_DOUBLE_EQ(mask.origin.y, std::round(c.imageY(m)));
        EXPECT_EQ(mask.size, CGSizeMake(17, 17));
        EXPECT_TRUE(image->mask()->contentsImage()) << "the mask shows the image";
    }
    auto title = button->titleLayer();
    EXPECT_EQ(title->superlayer() == button->layer().get(), c.hasTitleLayer);
    if (c.hasTitleLayer) {
        CGRect frame = title->frame();
        EXPECT_DOUBLE_EQ(frame.origin.x, std::round(c.titleX(m)));
        EXPECT_DOUBLE_EQ(frame.origin.y, std::round(c.titleY(m)));
        EXPECT_DOUBLE_EQ(frame.size.width, std::ceil(text.width));
        EXPECT_DOUBLE_EQ(frame.size.height, std::ceil(text.height));
        EXPECT_EQ(title->string(), "Switch");
        EXPECT_DOUBLE_EQ(title->fontSize(), 13);
    }
}

INSTANTIATE_TEST_SUITE_P(AllPositions, FlatButtonLayout, ::testing::ValuesIn(kLayoutCases),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

namespace {

struct FlatButtonTest : public ::testing::Test {
    SimWorld world { SimWorld::emptyScenario() };
};

}

TEST_F(FlatButtonTest, LayersComeAndGoWithTitleImageAndPosition)
{
    auto button = makeRef<FBFlatButton>(CGRectMake(0, 0, 80, 30));
    EXPECT_FALSE(button->titleLayer()->superlayer()) << "no title yet";
    EXPECT_FALSE(button->imageLayer()->superlayer()) << "no image yet";
    button->setTitle("7");
    EXPECT_EQ(button->titleLayer()->superlayer(), button->layer().get());
    button->setTitle("");
    EXPECT_FALSE(button->titleLayer()->superlayer());
    button->setTitle("7");
    button->setImage(squareImage(10));
    button->setImagePosition(NSImageOnly);
    EXPECT_EQ(button->imageLayer()->superlayer(), button->layer().get());
    EXPECT_FALSE(button->titleLayer()->superlayer()) << "image only hides the title";
    button->setImagePosition(NSNoImage);
    EXPECT_FALSE(button->imageLayer()->superlayer());
    EXPECT_EQ(button->titleLayer()->superlayer(), button->layer().get());
    button->setImagePosition(NSImageLeft);
    button->setImage(nullptr);
    EXPECT_FALSE(button->imageLayer()->superlayer());
}

TEST_F(FlatButtonTest, AFrameChangeRecentresOnlyTheTitle)
{
    auto button = makeRef<FBFlatButton>(CGRectMake(0, 0, 80, 30));
    button->setTitle("Go");
    button->setImage(squareImage(10));
    button->setImagePosition(NSImageOverlaps);
    CGRect maskBefore = button->imageLayer()->mask()->frame();
    CGFloat titleBefore = button->titleLayer()->frame().origin.x;
    button->setFrame(CGRectMake(0, 0, 160, 30));
    EXPECT_EQ(button->titleLayer()->frame().origin.x, titleBefore + 40);
    EXPECT_EQ(button->imageLayer()->mask()->frame(), maskBefore) << "the image waits for its own re-layout";
    button->setSpacing(0);
    EXPECT_EQ(button->imageLayer()->mask()->frame().origin.x, maskBefore.origin.x + 40);
}

// MARK: Colours

TEST_F(FlatButtonTest, AnUnstyledButtonIsRedUntilItsFirstColourPass)
{
    auto button = makeRef<FBFlatButton>(CGRectMake(0, 0, 40, 20));
    button->setTitle("3");
    EXPECT_TRUE(sameColor(button->layer()->backgroundColor(), NSColor::redColor()));
    CGColorRef borderBefore = button->layer()->borderColor();
    ASSERT_TRUE(borderBefore) << "the layer's own default border colour";
    ASSERT_TRUE(button->titleLayer()->foregroundColor());

    button->setBackgroundNormalColor(NSColor::blueColor());
    auto layer = button->layer();
    EXPECT_TRUE(sameColor(layer->backgroundColor(), NSColor::blueColor()));
    EXPECT_FALSE(layer->borderColor()) << "the unset border colour replaces the default";
    EXPECT_FALSE(button->titleLayer()->foregroundColor());
    EXPECT_FALSE(button->imageLayer()->backgroundColor());

    auto background = std::dynamic_pointer_cast<CABasicAnimation>(layer->animationForKey("backgroundColor"));
    ASSERT_TRUE(background);
    EXPECT_TRUE(sameColor(colorOf(background->fromValue()), NSColor::redColor()));
    EXPECT_TRUE(sameColor(colorOf(background->toValue()), NSColor::blueColor()));
    EXPECT_FALSE(background->isRemovedOnCompletion());
    EXPECT_EQ(background->duration(), 0) << "durations left at zero";
    auto border = std::dynamic_pointer_cast<CABasicAnimation>(layer->animationForKey("borderColor"));
    ASSERT_TRUE(border);
    EXPECT_TRUE(CGColorEqualToColor(colorOf(border->fromValue()), borderBefore));
    EXPECT_FALSE(colorOf(border->toValue()));
    EXPECT_TRUE(button->titleLayer()->animationForKey("foregroundColor"));
    EXPECT_FALSE(button->imageLayer()->animationForKey("backgroundColor")) << "none to none is no change";
}

TEST_F(FlatButtonTest, AColourAlreadyShownAddsNoAnimation)
{
    auto button = makeRef<FBFlatButton>(CGRectMake(0, 0, 40, 20));
    button->setTitle("3");
    button->setBackgroundNormalColor(NSColor::blueColor());
    button->setTitleNormalColor(NSColor::whiteColor());
    // The pass starts by removing every animation, then adds only changes.
    button->setBackgroundNormalColor(NSColor::colorWithDeviceRed(0, 0, 1, 1));
    EXPECT_TRUE(button->layer()->animationKeys().empty());
    EXPECT_TRUE(button->titleLayer()->animationKeys().empty());
}

TEST_F(FlatButtonTest, TheStatePicksTheColourSetAndItsDuration)
{
    auto button = makeRef<FBFlatButton>(CGRectMake(0, 0, 40, 20));
    button->setTitle("3");
    button->setOnAnimateDuration(0.3);
    button->setOffAnimateDuration(0.1);
    button->setBackgroundNormalColor(NSColor::grayColor());
    button->setBackgroundHighlightColor(NSColor::greenColor());
    button->setTitleNormalColor(NSColor::blackColor());
    button->setTitleHighlightColor(NSColor::whiteColor());

    button->setState(NSControlStateValueOn);
    EXPECT_TRUE(sameColor(button->layer()->backgroundColor(), NSColor::greenColor()));
    EXPECT_TRUE(sameColor(button->titleLayer()->foregroundColor(), NSColor::whiteColor()));
    EXPECT_DOUBLE_EQ(button->layer()->animationForKey("backgroundColor")->duration(), 0.3);

    button->setState(NSControlStateValueMixed);
    EXPECT_TRUE(sameColor(button->layer()->backgroundColor(), NSColor::grayColor()))
        << "mixed shows the normal set";
    EXPECT_DOUBLE_EQ(button->layer()->animationForKey("backgroundColor")->duration(), 0.1);

    button->setBorderWidth(2);
    button->setCornerRadius(6);
    EXPECT_EQ(button->layer()->borderWidth(), 2);
    EXPECT_EQ(button->layer()->cornerRadius(), 6);
    EXPECT_FALSE(button->layer()->animationForKey("borderWidth"));
}

// The badge of the ultra-dark theme: a white ring of width 2, styled just
// before the panel's first frame.
TEST_F(FlatButtonTest, AZeroDurationShowsTheNewColoursOnTheFirstFrameAndALongerOneAnimates)
{
    auto button = makeRef<FBFlatButton>(CGRectMake(0, 0, 25, 25));
    button->setTitle("3");
    button->setBorderWidth(2);
    button->setBorderNormalColor(NSColor::whiteColor());
    button->setBackgroundNormalColor(NSColor::darkGrayColor());
    auto shown = button->layer()->presentationLayer();
    EXPECT_TRUE(sameColor(shown->borderColor(), NSColor::whiteColor()));
    EXPECT_TRUE(sameColor(shown->backgroundColor(), NSColor::darkGrayColor()));
    auto added = button->layer()->animationForKey("backgroundColor");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->duration(), 0) << "still added, of no length";

    button->setOffAnimateDuration(1);
    button->setBackgroundNormalColor(NSColor::blackColor());
    world.advance(0.5);
    CGFloat r, g, b, alpha;
    NSColor::colorWithCGColor(button->layer()->presentationLayer()->backgroundColor())->getRed(&r, &g, &b, &alpha);
    CGFloat darkGray, unused;
    NSColor::darkGrayColor()->getRed(&darkGray, &unused, &unused, &unused);
    EXPECT_GT(r, 0.01) << "half way from dark grey to black";
    EXPECT_LT(r, darkGray - 0.01);
    world.advance(1);
    EXPECT_TRUE(sameColor(button->layer()->presentationLayer()->backgroundColor(), NSColor::blackColor()));
}

TEST_F(FlatButtonTest, TheAlphaIsFixedByTheEnabledStateAtSetUp)
{
    auto enabled = makeRef<FBFlatButton>(CGRectMake(0, 0, 40, 20));
    EXPECT_EQ(enabled->alphaValue(), 1.0);
    enabled->setEnabled(false);
    EXPECT_EQ(enabled->alphaValue(), 1.0);
    auto disabled = makeRef<FBFlatButton>(CGRectMake(0, 0, 40, 20));
    disabled->setEnabled(false);
    disabled->setup();
    EXPECT_EQ(disabled->alphaValue(), 0.5);
    disabled->setEnabled(true);
    EXPECT_EQ(disabled->alphaValue(), 0.5);
}

// MARK: Presses

namespace {

struct FlatButtonPressTest : public ::testing::Test {
    SimWorld world { SimWorld::emptyScenario() };
    Ref<NSWindow> window = makeRef<NSWindow>(CGRectMake(100, 100, 300, 200), NSWindowStyleMaskTitled);
    Ref<ActionLog> log = makeRef<ActionLog>();
    // The button spans screen x 120..220, y 120..160.
    CGPoint inside { 170, 140 };
    CGPoint outside { 300, 250 };

    FlatButtonPressTest()
    {
        NSApp().activateIgnoringOtherApps(true);
        world.settle();
        window->makeKeyAndOrderFront(nullptr);
    }

    Ref<FBFlatButton> addButton(bool fromInterfaceFile)
    {
        auto button = makeRef<FBFlatButton>(CGRectMake(20, 20, 100, 40));
        button->setTitle("1");
        button->setTarget(log);
        button->setAction("pressed:");
        window->contentView()->addSubview(button);
        if (fromInterfaceFile) button->awakeFromNib();
        return button;
    }
    void send(NSEventType type, CGPoint at)
    {
        NSApp().deliverInputEvent(NSEvent::mouseEventWithType(type, at));
    }
};

}

TEST_F(FlatButtonPressTest, AToggleButtonKeepsItsNewStateAndSendsOnce)
{
    auto button = addButton(true);
    send(NSEventTypeMouseMoved, inside);
    send(NSEventTypeLeftMouseDown, inside);
    EXPECT_TRUE(button->isMouseDown());
    EXPECT_EQ(button->state(), NSControlStateValueOn) << "the press toggles at once";
    send(NSEventTypeLeftMouseUp, inside);
    EXPECT_FALSE(button->isMouseDown());
    EXPECT_EQ(button->state(), NSControlStateValueOn);
    EXPECT_EQ(log->count, 1);
}

TEST_F(FlatButtonPressTest, AMomentaryButtonEndsWhereItBegan)
{
    auto button = addButton(true);
    button->setMomentary(true);
    button->setBackgroundNormalColor(NSColor::grayColor());
    button->setBackgroundHighlightColor(NSColor::greenColor());
    send(NSEventTypeMouseMoved, inside);
    send(NSEventTypeLeftMouseDown, inside);
    EXPECT_TRUE(sameColor(button->layer()->backgroundColor(), NSColor::greenColor()))
        << "on colours while pressed";
    send(NSEventTypeLeftMouseUp, inside);
    EXPECT_EQ(button->state(), NSControlStateValueOff);
    EXPECT_TRUE(sameColor(button->layer()->backgroundColor(), NSColor::grayColor()));
    EXPECT_EQ(log->count, 1);
}

TEST_F(FlatButtonPressTest, LeavingCancelsThePressEvenWhenTheMouseComesBack)
{
    auto button = addButton(true);
    ASSERT_EQ(button->trackingAreas().size(), 1u);
    EXPECT_EQ(button->trackingAreas().front()->options(), 0x281u);
    send(NSEventTypeMouseMoved, inside);
    send(NSEventTypeLeftMouseDown, inside);
    // What the button's tracking area reports as the mouse leaves and comes
    // back during the press.
    auto area = button->trackingAreas().front();
    button->mouseExited(NSEvent::enterExitEvent(NSEventTypeMouseExited, nullptr, area));
    EXPECT_FALSE(button->isMouseDown());
    EXPECT_EQ(button->state(), NSControlStateValueOff) << "leaving restores the state";
    button->mouseEntered(NSEvent::enterExitEvent(NSEventTypeMouseEntered, nullptr, area));
    EXPECT_EQ(button->state(), NSControlStateValueOff) << "re-entering changes nothing";
    send(NSEventTypeLeftMouseUp, inside);
    EXPECT_EQ(log->count, 0);
    EXPECT_EQ(button->state(), NSControlStateValueOff);
}

TEST_F(FlatButtonPressTest, AReleaseOutsideAButtonWithoutTrackingSendsNothing)
{
    auto button = addButton(false);
    EXPECT_TRUE(button->trackingAreas().empty());
    send(NSEventTypeMouseMoved, inside);
    send(NSEventTypeLeftMouseDown, inside);
    send(NSEventTypeLeftMouseDragged, outside);
    EXPECT_TRUE(button->isMouseDown()) << "without an area the button never hears the mouse leave";
    send(NSEventTypeLeftMouseUp, outside);
    EXPECT_EQ(log->count, 0);
    EXPECT_EQ(button->state(), NSControlStateValueOff);
    EXPECT_FALSE(button->isMouseDown());
}

TEST_F(FlatButtonPressTest, ADisabledButtonIgnoresPressesAndLetsClicksThrough)
{
    auto button = addButton(true);
    button->setEnabled(false);
    EXPECT_FALSE(button->hitTest(CGPointMake(30, 30)));
    button->mouseDown(nullptr);
    EXPECT_FALSE(button->isMouseDown());
    send(NSEventTypeMouseMoved, inside);
    send(NSEventTypeLeftMouseDown, inside);
    send(NSEventTypeLeftMouseUp, inside);
    EXPECT_EQ(log->count, 0);
    EXPECT_EQ(button->state(), NSControlStateValueOff);
    button->setEnabled(true);
    EXPECT_EQ(button->hitTest(CGPointMake(30, 30)), button);
}
