#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <appkit/NSBox.h>
#include <appkit/NSButton.h>
#include <appkit/NSImageView.h>
#include <appkit/NSTextField.h>
#include <animation/CAAnimation.h>
#include <animation/CAShapeLayer.h>
#include <animation/CATextLayer.h>
#include <appkit/NSVisualEffectView.h>
#include <graphics/NSBezierPath.h>

#include <functional>

namespace {

const Pixel kWhite { 255, 255, 255, 255 };

// The columns (from the left) where some pixel of a row band differs from
// the background.
std::pair<int, int> inkColumns(const DesktopImage& image, int top, int bottom, Pixel background)
{
    int first = -1, last = -1;
    for (int x = 0; x < image.width; ++x)
        for (int y = top; y < bottom; ++y)
            if (pixelAt(image, x, y) != background) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return { first, last };
}

Ref<NSImage> solidImage(int w, int h, CGFloat r, CGFloat g, CGFloat b)
{
    auto image = NSImage::create(CGSizeMake(w, h));
    image->lockFocus();
    NSColor::colorWithDeviceRed(r, g, b, 1)->setFill();
    NSBezierPath::fillRect(CGRectMake(0, 0, w, h));
    image->unlockFocus();
    return image;
}

class ActionLog : public NSObject, public NSActionTarget {
public:
    ActionLog()
    {
        setActionHandler("clicked:", [this](const Ref<NSObject>& sender) {
            auto control = std::dynamic_pointer_cast<NSView>(sender);
            senders.push_back(control ? control->tag() : -1);
        });
    }
    std::vector<long> senders;
};

struct ControlFixture : public ::testing::Test {
    SimWorld world { SimWorld::emptyScenario() };
    Ref<NSWindow> window = makeWindow(CGRectMake(100, 100, 300, 200));
    ControlFixture()
    {
        window->setBackgroundColor(NSColor::whiteColor());
        NSApp().activateIgnoringOtherApps(true);
        world.settle();
        window->makeKeyAndOrderFront(nullptr);
    }
    void click(CGPoint screen, CGPoint releaseAt = { -1, -1 })
    {
        NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, screen));
        if (releaseAt.x >= 0)
            NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDragged, releaseAt));
        NSApp().deliverInputEvent(
            NSEvent::mouseEventWithType(NSEventTypeLeftMouseUp, releaseAt.x >= 0 ? releaseAt : screen));
    }
};

}

TEST_F(ControlFixture, LabelsAlignTheirTextAndTakeTheirColour)
{
    auto label = NSTextField::labelWithString("Quorvex");
    EXPECT_FALSE(label->isEditable());
    EXPECT_FALSE(label->drawsBackground());
    EXPECT_GT(label->frame().size.width, 20);
    label->setFrame(CGRectMake(0, 100, 300, 30));
    label->setTextColor(NSColor::redColor());
    window->contentView()->addSubview(label);

    auto image = window->renderedImage();
    // The label's band is image rows 70..99 (unflipped content view).
    auto [left, right] = inkColumns(image, 70, 100, kWhite);
    ASSERT_GE(left, 0);
    EXPECT_LT(left, 10);
    EXPECT_LT(right, 150);
    bool reddish = false;
    for (int x = left; x <= right && !reddish; ++x)
        for (int y = 70; y < 100; ++y) {
            Pixel p = pixelAt(image, x, y);
            if (p.r > 200 && p.g < 80 && p.b < 80)
                reddish = true;
        }
    EXPECT_TRUE(reddish);

    label->setAlignment(NSTextAlignmentRight);
    auto [rightLeft, rightRight] = inkColumns(window->renderedImage(), 70, 100, kWhite);
    EXPECT_GT(rightRight, 290);
    EXPECT_GT(rightLeft, 150);
    label->setAlignment(NSTextAlignmentCenter);
    auto [midLeft, midRight] = inkColumns(window->renderedImage(), 70, 100, kWhite);
    EXPECT_NEAR((midLeft + midRight) / 2.0, 150, 6);
}

// Bindings hand a control its value again at every announcement: only a
// value that reads or looks different is drawn again, and an image view
// still draws a picture handed again (it may have been drawn into).
TEST_F(ControlFixture, AControlHandedTheValueItShowsIsNotDrawnAgain)
{
    auto label = NSTextField::labelWithString("Quorvex");
    auto number = NSTextField::labelWithString("");
    auto picture = makeRef<NSImageView>(CGRectMake(0, 0, 40, 40));
    auto image = solidImage(40, 40, 0, 0, 1);
    number->setIntegerValue(1);
    picture->setImage(image);
    for (const auto& view : std::vector<Ref<NSView>> { label, number, picture })
        window->contentView()->addSubview(view);
    auto drawnAgain = [&](const Ref<NSView>& view, const std::function<void()>& change) {
        window->displayIfNeeded();
        change();
        return view->needsDisplay();
    };
    EXPECT_FALSE(drawnAgain(label, [&] { label->setStringValue("Quorvex"); }));
    EXPECT_TRUE(drawnAgain(label, [&] { label->setStringValue("Quorvex 2"); }));
    EXPECT_EQ(label->stringValue(), "Quorvex 2");
    EXPECT_FALSE(drawnAgain(number, [&] { number->setIntegerValue(1); }));
    EXPECT_TRUE(drawnAgain(number, [&] { number->setObjectValue(Value(1.0)); })) << "1.0 reads otherwise";
    // Text with attributes gives way to the plain text of the same letters.
    label->setAttributedStringValue(makeRef<NSAttributedString>("Quorvex 2"));
    EXPECT_TRUE(drawnAgain(label, [&] { label->setStringValue("Quorvex 2"); }));
    EXPECT_FALSE(label->cell()->hasAttributedStringValue());
    EXPECT_TRUE(drawnAgain(picture, [&] { picture->setImage(image); }));
}

// A label keeps the layout of the text it drew for its next draw: after
// every change of what it draws (text, colour, font, ranges with their own
// attributes, those changed in place, width, line breaks) it must look
// exactly like a label given the same steps afresh.
TEST_F(ControlFixture, ALabelDrawnAgainLooksLikeANewLabelAfterEveryChange)
{
    using Step = std::function<void(NSTextField&)>;
    auto blueRun = [](NSTextField& label, NSRange range) {
        auto text = label.attributedStringValue();
        NSStringAttributes blue;
        blue.foregroundColor = NSColor::blueColor();
        blue.underlineStyle = 1;
        text->addAttributes(blue, range);
        label.setAttributedStringValue(text);
    };
    std::vector<Step> steps = {
        [](NSTextField& l) { l.setStringValue("A window title"); },
        [](NSTextField& l) { l.setTextColor(NSColor::redColor()); },
        [](NSTextField& l) { l.setFont(NSFont::boldSystemFontOfSize(18)); },
        [](NSTextField& l) {
            l.setAttributedStringValue(makeRef<NSAttributedString>(
                l.stringValue(), NSStringAttributes { NSFont::systemFontOfSize(16), NSColor::blackColor() }));
        },
        [&](NSTextField& l) { blueRun(l, { 0, 3 }); },
        // The same text object, changed where it is.
        [&](NSTextField& l) { blueRun(l, { 9, 5 }); },
        [](NSTextField& l) {
            l.setLineBreakMode(NSLineBreakByTruncatingTail);
            l.setFrameSize(CGSizeMake(90, 30));
        },
        [](NSTextField& l) { l.setLineBreakMode(NSLineBreakByTruncatingHead); },
    };
    auto newLabel = [] {
        auto label = NSTextField::labelWithString("");
        label->setFrame(CGRectMake(0, 100, 300, 30));
        return label;
    };
    auto kept = newLabel();
    window->contentView()->addSubview(kept);
    for (size_t n = 0; n < steps.size(); ++n) {
        steps[n](*kept);
        auto drawn = window->renderedImage();
        auto fresh = makeWindow(CGRectMake(100, 100, 300, 200));
        fresh->setBackgroundColor(NSColor::whiteColor());
        auto label = newLabel();
        for (size_t i = 0; i <= n; ++i)
            steps[i](*label);
        fresh->contentView()->addSubview(label);
        EXPECT_EQ(drawn.rgba, fresh->renderedImage().rgba) << "after step " << n;
    }
}

TEST_F(ControlFixture, TruncationKeepsTheTextInsideAndPicksTheEnd)
{
    const std::string text = "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW..........";
    auto label = NSTextField::labelWithString(text);
    CGFloat natural = label->frame().size.width;
    label->setFrame(CGRectMake(0, 100, 120, 30));
    window->contentView()->addSubview(label);
    ASSERT_GT(natural, 200);
    for (auto mode : { NSLineBreakByTruncatingTail, NSLineBreakByTruncatingMiddle, NSLineBreakByTruncatingHead }) {
        label->setLineBreakMode(mode);
        auto [left, right] = inkColumns(window->renderedImage(), 70, 100, kWhite);
        ASSERT_GE(left, 0) << mode;
        EXPECT_LT(right, 120) << mode;
    }
    // With the head cut, the dots at the end of the text show at the right
    // edge; with the tail cut, the wide letters reach it.
    auto inkInLastColumns = [&](NSLineBreakMode mode) {
        label->setLineBreakMode(mode);
        auto image = window->renderedImage();
        int ink = 0;
        for (int x = 80; x < 118; ++x)
            for (int y = 70; y < 100; ++y)
                if (pixelAt(image, x, y) != kWhite)
                    ink++;
        return ink;
    };
    EXPECT_GT(inkInLastColumns(NSLineBreakByTruncatingTail), 2 * inkInLastColumns(NSLineBreakByTruncatingHead));
}

TEST_F(ControlFixture, AnEditableFieldTakesTypedTextAndWritesItBackOnReturn)
{
    class Model : public NSObject {
    public:
        std::string name { "ab" };
        Value valueForKey(const std::string& key) const override
        {
            return key == "name" ? Value(name) : NSObject::valueForKey(key);
        }
        void setValueForKey(const Value& v, const std::string& key) override
        {
            willChangeValueForKey(key);
            name = v.stringValue();
            didChangeValueForKey(key);
        }
    };
    auto model = makeRef<Model>();
    auto field = NSTextField::textFieldWithString("");
    field->setFrame(CGRectMake(10, 10, 200, 24));
    field->bind(NSValueBinding, model, "name");
    EXPECT_EQ(field->stringValue(), "ab");
    auto log = makeRef<ActionLog>();
    field->setTag(5);
    field->setTarget(log);
    field->setAction("clicked:");
    window->contentView()->addSubview(field);
    ASSERT_TRUE(window->makeFirstResponder(field));
    auto type = [](uint16_t key, NSEventModifierFlags flags = 0) {
        NSApp().deliverInputEvent(NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, key, flags));
    };
    type(8); // c
    type(2, NSEventModifierFlagShift); // D
    type(kVK_Delete);
    type(kVK_UpArrow);
    EXPECT_EQ(field->stringValue(), "abc");
    EXPECT_EQ(model->name, "ab");
    type(kVK_Return);
    EXPECT_EQ(model->name, "abc");
    EXPECT_EQ(log->senders, (std::vector<long> { 5 }));
    // A label does not edit.
    auto label = NSTextField::labelWithString("fixed");
    window->contentView()->addSubview(label);
    EXPECT_FALSE(window->makeFirstResponder(label));
}

TEST_F(ControlFixture, ButtonsClickOnReleaseInsideAndSendTheirTag)
{
    auto log = makeRef<ActionLog>();
    auto button = NSButton::buttonWithTitle("Go", log, "clicked:");
    button->setTag(300);
    button->setFrame(CGRectMake(10, 10, 80, 30));
    window->contentView()->addSubview(button);
    // Screen point inside: window origin (100, 100) + (20, 20).
    click({ 120, 120 });
    EXPECT_EQ(log->senders, (std::vector<long> { 300 }));
    // Dragging out before release cancels.
    click({ 120, 120 }, { 250, 250 });
    EXPECT_EQ(log->senders.size(), 1u);
    EXPECT_FALSE(button->isHighlighted());
    // A disabled button ignores the mouse.
    button->setEnabled(false);
    click({ 120, 120 });
    EXPECT_EQ(log->senders.size(), 1u);
    button->setEnabled(true);
    button->performClick(nullptr);
    EXPECT_EQ(log->senders.size(), 2u);
}

TEST_F(ControlFixture, ToggleButtonsFlipTheirStateAndFeedTheirBinding)
{
    class Flag : public NSObject {
    public:
        bool on { false };
        Value valueForKey(const std::string&) const override { return Value(on); }
        void setValueForKey(const Value& v, const std::string& key) override
        {
            willChangeValueForKey(key);
            on = v.boolValue();
            didChangeValueForKey(key);
        }
    };
    auto flag = makeRef<Flag>();
    auto box = NSButton::checkboxWithTitle("Show hints", nullptr, "");
    box->bind(NSValueBinding, flag, "on");
    EXPECT_EQ(box->state(), NSControlStateValueOff);
    flag->setValueForKey(Value(true), "on");
    EXPECT_EQ(box->state(), NSControlStateValueOn);
    box->performClick(nullptr);
    EXPECT_EQ(box->state(), NSControlStateValueOff);
    EXPECT_FALSE(flag->on);
    // A momentary push button keeps its state.
    auto push = NSButton::buttonWithTitle("Push", nullptr, "");
    push->performClick(nullptr);
    EXPECT_EQ(push->state(), NSControlStateValueOff);
}

TEST_F(ControlFixture, ACheckBoxThatIsOnDrawsATickOnItsSquare)
{
    auto box = NSButton::checkboxWithTitle("", nullptr, "");
    box->setFrame(CGRectMake(10, 100, 20, 20));
    window->contentView()->addSubview(box);
    // The 14-point square sits 1 point in and in the middle: image columns
    // 11..24, rows 83..96 (unflipped content, 200 high). Counted inside its
    // outline.
    auto count = [&](const std::function<bool(Pixel)>& test, int left, int right) {
        auto image = window->renderedImage();
        int n = 0;
        for (int x = left; x <= right; ++x)
            for (int y = 85; y <= 94; ++y)
                n += test(pixelAt(image, x, y));
        return n;
    };
    auto light = [](Pixel p) { return p.r > 200 && p.g > 200 && p.b > 200; };
    auto accent = [](Pixel p) { return p.b > p.r + 60; };
    EXPECT_EQ(count(accent, 13, 22), 0) << "off: an empty square";
    box->setState(NSControlStateValueOn);
    EXPECT_GT(count(accent, 13, 22), 40) << "on: the accent colour";
    // A tick, not a solid square: light strokes in the left and the right
    // half, the short one low, the long one reaching up.
    EXPECT_GE(count(light, 13, 17), 4);
    EXPECT_GE(count(light, 18, 22), 6);
    auto image = window->renderedImage();
    EXPECT_TRUE(light(pixelAt(image, 21, 86)) || light(pixelAt(image, 21, 87))) << "the long stroke's upper end";
    EXPECT_FALSE(light(pixelAt(image, 14, 86))) << "no stroke at the upper left";
}

TEST_F(ControlFixture, ButtonsWithoutTargetReachTheResponderChain)
{
    auto button = NSButton::buttonWithTitle("Close", nullptr, "close:");
    button->setFrame(CGRectMake(10, 10, 80, 30));
    window->contentView()->addSubview(button);
    // The button does not take the first responder, so the chain starts at
    // the window.
    int closes = 0;
    window->setActionHandler("close:", [&](const Ref<NSObject>&) { closes++; });
    click({ 120, 120 });
    EXPECT_EQ(closes, 1);
}

TEST_F(ControlFixture, ImageViewsScaleByTheirMode)
{
    auto view = makeRef<NSImageView>(CGRectMake(0, 0, 100, 50));
    view->setImage(solidImage(40, 40, 0, 0, 1));
    view->setImageScaling(NSImageScaleProportionallyDown);
    EXPECT_EQ(view->imageRect(), CGRectMake(30, 5, 40, 40));
    view->setImageScaling(NSImageScaleProportionallyUpOrDown);
    EXPECT_EQ(view->imageRect(), CGRectMake(25, 0, 50, 50));
    view->setImageScaling(NSImageScaleAxesIndependently);
    EXPECT_EQ(view->imageRect(), CGRectMake(0, 0, 100, 50));
    view->setImageScaling(NSImageScaleNone);
    view->setImageAlignment(NSImageAlignTopLeft);
    EXPECT_EQ(view->imageRect(), CGRectMake(0, 10, 40, 40));
    // Too big for the view: shrunk when shrinking is allowed.
    view->setImage(solidImage(200, 100, 0, 0, 1));
    view->setImageScaling(NSImageScaleProportionallyDown);
    view->setImageAlignment(NSImageAlignCenter);
    EXPECT_EQ(view->imageRect(), CGRectMake(0, 0, 100, 50));

    window->contentView()->addSubview(view);
    view->setImage(solidImage(40, 40, 0, 0, 1));
    auto image = window->renderedImage();
    // The view sits at the bottom of the window: rows 150..199.
    EXPECT_EQ(pixelAt(image, 50, 175), (Pixel { 0, 0, 255, 255 }));
    EXPECT_EQ(pixelAt(image, 10, 175), kWhite);
}

TEST_F(ControlFixture, AVisualEffectViewIsATintedRoundedBackdrop)
{
    window->setBackgroundColor(NSColor::clearColor());
    auto effect = makeRef<NSVisualEffectView>(CGRectMake(0, 0, 300, 200));
    // Blending within the window it is the tint alone (behind the window it
    // also shows what lies beneath: see BehindWindowFixture).
    effect->setBlendingMode(NSVisualEffectBlendingModeWithinWindow);
    effect->setMaterial(NSVisualEffectMaterialDark);
    effect->setState(NSVisualEffectStateActive);
    effect->setWantsLayer(true);
    effect->layer()->setCornerRadius(16);
    effect->layer()->setMasksToBounds(true);
    window->contentView()->addSubview(effect);
    auto image = window->renderedImage();
    Pixel middle = pixelAt(image, 150, 100);
    EXPECT_GT(middle.a, 180);
    EXPECT_LT(middle.a, 255);
    EXPECT_LT(middle.r, 60);
    EXPECT_EQ(pixelAt(image, 0, 0).a, 0);
    EXPECT_EQ(pixelAt(image, 299, 199).a, 0);
    EXPECT_GT(pixelAt(image, 16, 0).a, 0);
    // Another material changes the tint.
    effect->setMaterial(NSVisualEffectMaterialLight);
    // Premultiplied: a light tint at alpha 0.8 is about 196.
    EXPECT_GT(pixelAt(window->renderedImage(), 150, 100).r, 150);
}

TEST_F(ControlFixture, LayerBackedViewsDrawTheirLayerAndFollowItsChanges)
{
    auto view = makeRef<ColorView>(CGRectMake(50, 50, 100, 100), nullptr);
    view->setWantsLayer(true);
    ASSERT_TRUE(view->layer());
    view->layer()->setBackgroundColor(CGColorCreateGenericRGB(0, 1, 0, 1));
    view->layer()->setBorderWidth(4);
    view->layer()->setBorderColor(CGColorCreateGenericRGB(0, 0, 1, 1));
    auto sub = CALayer::layer();
    sub->setFrame(CGRectMake(10, 10, 20, 20));
    sub->setBackgroundColor(CGColorCreateGenericRGB(1, 0, 0, 1));
    view->layer()->addSublayer(sub);
    window->contentView()->addSubview(view);
    auto image = window->renderedImage();
    // The view covers image columns 50..149 and rows 50..149.
    EXPECT_EQ(pixelAt(image, 100, 100), (Pixel { 0, 255, 0, 255 }));
    EXPECT_EQ(pixelAt(image, 51, 100), (Pixel { 0, 0, 255, 255 }));
    // The sublayer at (10, 10) from the layer's bottom-left corner.
    EXPECT_EQ(pixelAt(image, 65, 135), (Pixel { 255, 0, 0, 255 }));
    // A change of the layer alone shows at the next look.
    int draws = view->drawCount;
    view->layer()->setBackgroundColor(CGColorCreateGenericRGB(1, 1, 0, 1));
    EXPECT_EQ(pixelAt(window->renderedImage(), 100, 100), (Pixel { 255, 255, 0, 255 }));
    EXPECT_EQ(view->drawCount, draws + 1);
    // Unchanged layers cost no painting.
    window->renderedImage();
    EXPECT_EQ(view->drawCount, draws + 1);
}

TEST_F(ControlFixture, EveryKindOfLayerValueCountsAsAChange)
{
    auto view = makeRef<ColorView>(CGRectMake(50, 50, 100, 100), nullptr);
    view->setWantsLayer(true);
    auto sub = CALayer::layer();
    sub->setFrame(CGRectMake(10, 10, 20, 20));
    view->layer()->addSublayer(sub);
    window->contentView()->addSubview(view);
    window->renderedImage();
    // Numbers, points, sizes, rectangles, transforms and colours, on the
    // view's layer and on a sublayer; small steps count too.
    const std::pair<const char*, std::function<void()>> changes[] = {
        { "corner radius", [&] { view->layer()->setCornerRadius(3); } },
        { "opacity", [&] { sub->setOpacity(0.9999999); } },
        { "position", [&] { sub->setPosition(CGPointMake(20.25, 20)); } },
        { "anchor point", [&] { sub->setAnchorPoint(CGPointMake(0.5, 0.25)); } },
        { "bounds", [&] { sub->setBounds(CGRectMake(0, 0, 20, 21)); } },
        { "transform", [&] { sub->setTransform(CATransform3DMakeScale(1, 1.5, 1)); } },
        { "border colour", [&] { view->layer()->setBorderColor(CGColorCreateGenericRGB(0, 0, 0.999, 1)); } },
        { "border colour again", [&] { view->layer()->setBorderColor(CGColorCreateGenericRGB(0, 0, 1, 1)); } },
        { "background colour", [&] { sub->setBackgroundColor(CGColorCreateGenericRGB(1, 0, 0, 1)); } },
    };
    for (const auto& [name, change] : changes) {
        int draws = view->drawCount;
        change();
        window->renderedImage();
        EXPECT_EQ(view->drawCount, draws + 1) << name;
    }
    // The same colour in another object is no change.
    int draws = view->drawCount;
    sub->setBackgroundColor(CGColorCreateGenericRGB(1, 0, 0, 1));
    window->renderedImage();
    EXPECT_EQ(view->drawCount, draws);
}

// A layer change damages its view at once, as setNeedsDisplay does, so the
// run loop's next paint shows it without anyone looking at the pixels; only
// the layer trees of views count.
TEST_F(ControlFixture, ALayerChangeMarksItsViewForDisplayAtOnce)
{
    auto view = makeRef<ColorView>(CGRectMake(50, 50, 100, 100), nullptr);
    view->setWantsLayer(true);
    auto sub = CAShapeLayer::layer();
    sub->setFrame(CGRectMake(10, 10, 20, 20));
    view->layer()->addSublayer(sub);
    auto mask = CALayer::layer();
    mask->setFrame(CGRectMake(0, 0, 100, 100));
    view->layer()->setMask(mask);
    window->contentView()->addSubview(view);
    world.settle();
    ASSERT_FALSE(window->viewsNeedDisplay());

    const std::pair<const char*, std::function<void()>> changes[] = {
        { "shadow of a sublayer", [&] { sub->setShadowOpacity(0.5); } },
        { "line width of a shape", [&] { sub->setLineWidth(3); } },
        { "contents gravity", [&] { view->layer()->setContentsGravity(kCAGravityCenter); } },
        { "the mask's colour", [&] { mask->setBackgroundColor(CGColorCreateGenericRGB(0, 0, 0, 0.5)); } },
        { "a sublayer hidden", [&] { sub->setHidden(true); } },
        { "a sublayer added", [&] { sub->addSublayer(CALayer::layer()); } },
        { "a sublayer needing display", [&] { sub->setNeedsDisplay(); } },
        { "a sublayer removed", [&] { sub->removeFromSuperlayer(); } },
    };
    for (const auto& [name, change] : changes) {
        int draws = view->drawCount;
        change();
        EXPECT_TRUE(window->viewsNeedDisplay()) << name;
        EXPECT_TRUE(CGRectContainsRect(window->dirtyRect(), CGRectMake(50, 50, 100, 100))) << name;
        world.settle();
        EXPECT_EQ(view->drawCount, draws + 1) << name << ": painted by the run loop";
        EXPECT_FALSE(window->viewsNeedDisplay()) << name;
    }
    // The removed sublayer is no longer the view's business, and a value set
    // again is no change.
    sub->setOpacity(0.25);
    view->layer()->setContentsGravity(kCAGravityCenter);
    EXPECT_FALSE(window->viewsNeedDisplay());
}

TEST_F(ControlFixture, AnimatingLayersArePaintedFrameByFrameOnTheClock)
{
    auto view = makeRef<ColorView>(CGRectMake(50, 50, 100, 100), nullptr);
    view->setWantsLayer(true);
    view->layer()->setBackgroundColor(CGColorCreateGenericRGB(0, 0, 0, 1));
    window->contentView()->addSubview(view);
    world.settle();
    int draws = view->drawCount;

    auto fade = CABasicAnimation::animationWithKeyPath("backgroundColor");
    fade->setFromValue(CGColorCreateGenericRGB(0, 0, 0, 1));
    fade->setToValue(CGColorCreateGenericRGB(1, 1, 1, 1));
    fade->setDuration(0.5);
    // Kept after its end, as buttons that animate their colours do.
    fade->setRemovedOnCompletion(false);
    view->layer()->addAnimation(fade, "backgroundColor");
    view->layer()->setBackgroundColor(CGColorCreateGenericRGB(1, 1, 1, 1));
    // The change shows at the next look; from there the run loop goes idle
    // between frames instead of repainting forever.
    window->renderedImage();
    world.settle();
    EXPECT_LE(view->drawCount, draws + 2);
    world.advance(0.25);
    int middle = pixelAt(window->renderedImage(), 100, 100).r;
    EXPECT_GT(middle, 60);
    EXPECT_LT(middle, 200);
    EXPECT_GT(view->drawCount, draws + 5) << "about one paint per frame";
    world.advance(0.5);
    EXPECT_EQ(pixelAt(window->renderedImage(), 100, 100), (Pixel { 255, 255, 255, 255 })) << "the last frame";
    int settled = view->drawCount;
    world.advance(1);
    EXPECT_EQ(view->drawCount, settled) << "an ended animation kept on the layer paints nothing more";
}

TEST_F(ControlFixture, TextSublayersOfAViewShowAndFollowTheirString)
{
    auto view = makeRef<NSView>(CGRectMake(0, 0, 300, 200));
    view->setWantsLayer(true);
    auto text = CATextLayer::layer();
    text->setFrame(CGRectMake(10, 10, 280, 40));
    text->setFontSize(24);
    text->setForegroundColor(CGColorCreateGenericRGB(0, 0, 0, 1));
    view->layer()->addSublayer(text);
    window->contentView()->addSubview(view);
    auto inkIn = [](const DesktopImage& image) {
        int ink = 0;
        // The text layer covers image rows 150..189.
        for (int y = 150; y < 190; ++y)
            for (int x = 0; x < 300; ++x)
                if (pixelAt(image, x, y) != kWhite)
                    ink++;
        return ink;
    };
    EXPECT_EQ(inkIn(window->renderedImage()), 0);
    text->setString("Hello");
    int shortInk = inkIn(window->renderedImage());
    EXPECT_GT(shortInk, 0);
    text->setString("Hello, world of windows");
    EXPECT_GT(inkIn(window->renderedImage()), shortInk);
}

TEST_F(ControlFixture, BoxesFillAndFrameTheirContent)
{
    auto box = makeRef<NSBox>(CGRectMake(0, 0, 100, 100));
    box->setBoxType(NSBoxCustom);
    box->setFillColor(NSColor::blackColor());
    box->setBorderWidth(0);
    window->contentView()->addSubview(box);
    EXPECT_EQ(pixelAt(window->renderedImage(), 50, 150), (Pixel { 0, 0, 0, 255 }));
    box->setTransparent(true);
    EXPECT_EQ(pixelAt(window->renderedImage(), 50, 150), kWhite);
}
