// The view extensions: the tree, scrolling by fractions, capturing,
// backgrounds, first responders, clicks and drags, and rings.
#include "ImageTestSupport.h"
#include "MouseEventsLater.h"
#include "support/SimWorld.h"

#include <toolkit/NSViewCoreExtensions.h>

#include <appkit/NSApplication.h>
#include <appkit/NSButton.h>
#include <appkit/NSScrollView.h>
#include <appkit/NSTextField.h>
#include <appkit/NSWindow.h>
#include <foundation/Dispatch.h>
#include <foundation/Log.h>

#include <gtest/gtest.h>

using V = NSViewCoreExtensions;

namespace {

class Flipped : public NSView {
public:
    using NSView::NSView;
    bool isFlipped() const override { return true; }
};

// Paints its bounds in four quadrants: red top-left, green top-right, blue
// bottom-left, white bottom-right (as seen on screen).
class Quadrants : public NSView {
public:
    using NSView::NSView;
    void drawRect(CGRect) override
    {
        CGRect b = bounds();
        double w = b.size.width / 2, h = b.size.height / 2;
        auto fill = [&](const Ref<NSColor>& color, double x, double y) {
            color->set();
            NSRectFill(CGRectMake(x, y, w, h));
        };
        fill(NSColor::redColor(), 0, h);
        fill(NSColor::greenColor(), w, h);
        fill(NSColor::blueColor(), 0, 0);
        fill(NSColor::whiteColor(), w, 0);
    }
};

} // namespace

TEST(NSViewExtensions, SearchingAndEditingTheTree)
{
    auto root = makeRef<NSView>(CGRectMake(0, 0, 100, 100));
    auto a = makeRef<Flipped>(CGRectMake(0, 0, 10, 10));
    auto b = makeRef<NSView>(CGRectMake(0, 0, 10, 10));
    auto deep = makeRef<Flipped>(CGRectMake(0, 0, 5, 5));
    auto scroll = makeRef<NSScrollView>(CGRectMake(0, 0, 5, 5));
    root->addSubview(b);
    root->addSubview(a);
    b->addSubview(deep);
    deep->addSubview(scroll);

    EXPECT_EQ(V::findKindOfEnclosingView<Flipped>(*deep), nullptr);  // never the view itself
    EXPECT_EQ(V::findKindOfEnclosingView<NSView>(*deep), b.get());
    // Direct subviews come before deeper ones.
    EXPECT_EQ(V::findKindOfSubview<Flipped>(*root), a);
    EXPECT_EQ(V::subviewsWithClass<Flipped>(*root), (std::vector<Ref<Flipped>> { deep, a }));
    EXPECT_EQ(V::findScrollView(*root), scroll.get());
    EXPECT_TRUE(V::isParentView(*scroll, root.get()));
    EXPECT_FALSE(V::isParentView(*root, root.get()));

    // Adding a view that has another superview does nothing.
    V::add(*a, true, deep);
    EXPECT_EQ(deep->superview(), b.get());
    V::add(*a, false, deep);
    EXPECT_EQ(deep->superview(), nullptr);
    V::add(*a, true, deep);
    EXPECT_EQ(deep->superview(), a.get());
    Ref<NSView> held = deep;
    V::removeOneView(held);
    EXPECT_EQ(held, nullptr);
    EXPECT_TRUE(a->subviews().empty());
    V::removeAllSubviews(*a);

    root->setBoundsSize(CGSizeMake(60, 40));
    b->addSubview(deep);
    V::resizeSubviewsToParentBounds(*root);
    EXPECT_EQ(b->frame(), CGRectMake(0, 0, 60, 40));
    EXPECT_EQ(deep->frame(), CGRectMake(0, 0, 60, 40));
    V::removeAllSubviews(*root);
    EXPECT_TRUE(root->subviews().empty());

    LogCapture log;
    V::debugViews(*scroll, false);
    EXPECT_EQ(log.count("class: "), 3u);  // the scroll view and its two ancestors
}

TEST(NSViewExtensions, ScrollingByFractions)
{
    auto scroll = makeRef<NSScrollView>(CGRectMake(0, 0, 100, 100));
    auto document = makeRef<Flipped>(CGRectMake(0, 0, 300, 400));
    scroll->setDocumentView(document);
    EXPECT_EQ(V::scrollPositionAsPercentage(*document), CGPointMake(0, 0));
    EXPECT_FLOAT_EQ(V::fraction(*document), 0);

    V::setScrollPositionAsPercentage(*document, CGPointMake(7, 7));  // clamped to (1, 1)
    EXPECT_EQ(scroll->documentVisibleRect(), CGRectMake(200, 300, 100, 100));
    EXPECT_EQ(V::scrollPositionAsPercentage(*document), CGPointMake(1, 1));
    V::setScrollPositionAsPercentage(*document, CGPointMake(0.5, 1.0 / 3));
    EXPECT_EQ(scroll->documentVisibleRect(), CGRectMake(100, 100, 100, 100));
    V::setFraction(*document, 0.25f);
    EXPECT_EQ(scroll->documentVisibleRect().origin.y, 75);
    EXPECT_FLOAT_EQ(V::fraction(*document), 0.25f);
    V::scrollToEnd(*document);
    EXPECT_EQ(scroll->documentVisibleRect().origin.y, 300);
    V::scrollToTop(*document);
    scroll->setVerticalLineScroll(12);
    V::scrollDownByLines(*document, 2);
    EXPECT_EQ(scroll->documentVisibleRect().origin.y, 24);
    scroll->setVerticalPageScroll(10);
    V::scrollDownByPages(*document, 1);
    EXPECT_EQ(scroll->documentVisibleRect().origin.y, 114);

    // Content that fits: nothing to scroll on that axis.
    auto small = makeRef<NSScrollView>(CGRectMake(0, 0, 100, 100));
    auto fits = makeRef<Flipped>(CGRectMake(0, 0, 100, 50));
    small->setDocumentView(fits);
    V::setFraction(*fits, 1);
    V::setScrollPositionAsPercentage(*fits, CGPointMake(1, 1));
    EXPECT_EQ(small->documentVisibleRect().origin, CGPointMake(0, 0));
    EXPECT_EQ(V::scrollPositionAsPercentage(*fits), CGPointMake(0, 0));

    // Without a scroll view the position is the start, not a fraction of
    // nothing, and setting it changes nothing.
    NSView loose(CGRectMake(0, 0, 50, 500));
    EXPECT_EQ(V::scrollPositionAsPercentage(loose), CGPointMake(0, 0));
    V::setScrollPositionAsPercentage(loose, CGPointMake(1, 1));
    EXPECT_EQ(loose.bounds(), CGRectMake(0, 0, 50, 500));
}

TEST(NSViewExtensions, CapturedImagesAndBackgrounds)
{
    Quadrants view(CGRectMake(0, 0, 20, 20));
    auto whole = V::viewImage(view, CGRectZero);
    EXPECT_EQ(whole->size(), CGSizeMake(20, 20));
    EXPECT_EQ(pixelOf(whole, 2, 2), kRed);
    EXPECT_EQ(pixelOf(whole, 17, 17), (RGBA { 255, 255, 255, 255 }));
    // A part: its corner at the image's corner, not shifted by its origin.
    auto part = V::viewImage(view, CGRectMake(10, 0, 10, 10));
    EXPECT_EQ(part->size(), CGSizeMake(10, 10));
    EXPECT_EQ(pixelOf(part, 0, 0), (RGBA { 255, 255, 255, 255 }));
    EXPECT_EQ(pixelOf(part, 9, 9), (RGBA { 255, 255, 255, 255 }));

    NSView holder(CGRectMake(0, 0, 200, 100));
    auto plain = NSTextField::labelWithString("plain");
    auto painted = NSTextField::labelWithString("painted");
    painted->setDrawsBackground(true);
    painted->setBackgroundColor(NSColor::redColor());
    auto check = NSButton::checkboxWithTitle("check", nullptr, "");
    auto push = NSButton::buttonWithTitle("push", nullptr, "");
    for (const Ref<NSView>& v : std::vector<Ref<NSView>> { plain, painted, check, push })
        holder.addSubview(v);
    V::setBackgroundColorOnSubviews(holder, NSColor::greenColor());
    EXPECT_TRUE(plain->drawsBackground());
    EXPECT_EQ(plain->backgroundColor(), NSColor::greenColor());
    EXPECT_EQ(painted->backgroundColor(), NSColor::redColor());
    EXPECT_TRUE(NSButtonTKExtensions::isSwitchButton(*check));
    EXPECT_FALSE(NSButtonTKExtensions::isSwitchButton(*push));
    EXPECT_EQ(check->attributedTitle()->attributesAtIndex(2).backgroundColor, NSColor::greenColor());
    EXPECT_EQ(check->attributedTitle()->string(), "check");
    EXPECT_FALSE(push->attributedTitle()->attributesAtIndex(2).backgroundColor);
}

TEST(NSViewExtensions, RingsAndErasing)
{
    auto image = drawn(CGSizeMake(40, 20), [] {
        NSColor::blackColor()->set();
        NSRectFill(CGRectMake(0, 0, 40, 20));
        V::eraseRect(CGRectMake(30, 0, 10, 20));
        V::drawHighlightRing(CGRectMake(0, 0, 20, 20), true);
    });
    EXPECT_EQ(pixelOf(image, 35, 10), kClear);
    EXPECT_EQ(pixelOf(image, 10, 0), (RGBA { 255, 255, 255, 255 }));  // the frame, white when selected
    RGBA inside = pixelOf(image, 10, 10);                                 // 10 % blue over black
    EXPECT_EQ(inside[2], 25);

    Flipped view(CGRectMake(0, 0, 20, 20));
    auto ring = drawn(CGSizeMake(20, 20), [&] { V::drawFocusRing(view); });
    EXPECT_GT(pixelOf(ring, 10, 0)[3], 0);
    EXPECT_GT(pixelOf(ring, 10, 0)[2], pixelOf(ring, 10, 0)[0]);
    EXPECT_EQ(pixelOf(ring, 10, 10)[3], 0);
    // The ring style ends with the drawing: a later fill is plain.
    auto after = drawn(CGSizeMake(20, 20), [&] {
        V::drawFocusRing(view);
        NSColor::redColor()->set();
        NSRectFill(CGRectMake(5, 5, 10, 10));
    });
    EXPECT_EQ(pixelOf(after, 10, 10), kRed);
    EXPECT_FALSE(V::drawingInMetallicWindow());
}

namespace {

class ClickFixture : public ::testing::Test {
protected:
    ClickFixture()
    {
        window->contentView()->addSubview(view);
        window->contentView()->addSubview(field);
        NSApp().activateIgnoringOtherApps(true);
        window->makeKeyAndOrderFront(nullptr);
        world.settle();
        world.desktop().setPressedMouseButtons(1);
        press = NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, { 150, 150 });
        press->setWindow(window);
    }

    void later(double delay, std::vector<std::pair<NSEventType, CGPoint>> events)
    {
        deliverMouseEventsLater(delay, std::move(events));
    }

    SimWorld world { SimWorld::emptyScenario() };
    Ref<NSWindow> window = makeRef<NSWindow>(CGRectMake(100, 100, 300, 200), NSWindowStyleMaskTitled);
    Ref<NSView> view = makeRef<NSView>(CGRectMake(0, 0, 300, 100));
    Ref<NSTextField> field = NSTextField::textFieldWithString("typed");
    Ref<NSEvent> press;
};

} // namespace

TEST_F(ClickFixture, APressIsAClickUntilItLeavesTheSlop)
{
    auto right = NSEvent::mouseEventWithType(NSEventTypeRightMouseDown, { 150, 150 });
    EXPECT_EQ(V::trackMouseDown(*view, right, 4), nullptr);

    later(0.1, { { NSEventTypeLeftMouseDragged, { 151, 152 } }, { NSEventTypeLeftMouseUp, { 151, 152 } } });
    auto click = V::trackMouseDown(*view, press, 4);
    ASSERT_TRUE(click);
    EXPECT_EQ(click->type(), NSEventTypeLeftMouseUp);

    later(0.1, { { NSEventTypeLeftMouseDragged, { 160, 150 } }, { NSEventTypeLeftMouseUp, { 160, 150 } } });
    EXPECT_EQ(V::trackMouseDown(*view, press, 4), nullptr);
    world.settle();

    later(0.1, { { NSEventTypeLeftMouseDragged, { 170, 150 } } });
    EXPECT_TRUE(V::isDragEvent(*view, press, 4));
}

TEST_F(ClickFixture, FirstRespondersAndVisibility)
{
    ASSERT_TRUE(window->makeFirstResponder(field));
    EXPECT_TRUE(V::isFirstResponder(*field));
    EXPECT_FALSE(V::isFirstResponder(*view));
    EXPECT_TRUE(V::containsFirstResponder(*window->contentView()));
    EXPECT_FALSE(V::containsFirstResponder(*view));
    window->setInitialFirstResponder(view);
    EXPECT_TRUE(V::isInitialFirstResponder(*view));
    EXPECT_EQ(V::contentWindow(*view), window.get());
    EXPECT_TRUE(V::isVisible(*view));
    view->setHidden(true);
    EXPECT_FALSE(V::isVisible(*view));
    NSView loose(CGRectMake(0, 0, 5, 5));
    EXPECT_FALSE(V::isVisible(loose));
}
