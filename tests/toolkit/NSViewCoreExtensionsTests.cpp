#include <support/SimWorld.h>

#include <appkit/NSException.h>
#include <appkit/NSWindow.h>
#include <foundation/Log.h>
#include <graphics/NSGraphicsContext.h>
#include <toolkit/NSViewCoreExtensions.h>

namespace {

// An ancestor that paints backgrounds and records what it was asked.
class PaintingView : public NSView, public TKBackgroundDrawing {
public:
    using NSView::NSView;
    std::vector<CGRect> rects;
    std::vector<NSView*> subviewsAsked;
    bool raise { false };
    bool raiseOther { false };
    void drawBackgroundInSubview(NSView& subview, CGRect inRect) override
    {
        subviewsAsked.push_back(&subview);
        rects.push_back(inRect);
        // Changes the graphics state, which the caller must restore.
        NSGraphicsContext::setCurrentContext(nullptr);
        if (raise)
            throw NSException("NSInternalInconsistencyException", "background failed");
        if (raiseOther)
            throw std::logic_error("not the platform's");
    }
};

class PaintingDelegate : public NSObject, public TKBackgroundDrawing {
public:
    int calls { 0 };
    CGRect rect;
    void drawBackgroundInSubview(NSView&, CGRect inRect) override
    {
        calls++;
        rect = inRect;
    }
};

Ref<NSGraphicsContext> someContext()
{
    auto cg = CGBitmapContextCreate(nullptr, 10, 10, 8, 0, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    return NSGraphicsContext::graphicsContextWithCGContext(cg, false);
}

}

TEST(AncestorDrawnBackgrounds, TheNearestWillingAncestorGetsItsBoundsInTheViewsCoordinates)
{
    auto painter = makeRef<PaintingView>(CGRectMake(0, 0, 200, 100));
    auto middle = makeRef<NSView>(CGRectMake(20, 10, 150, 80));
    auto label = makeRef<NSView>(CGRectMake(5, 5, 50, 20));
    painter->addSubview(middle);
    middle->addSubview(label);
    EXPECT_EQ(NSViewCoreExtensions::parentWhichRespondsToSelector(*label, kDrawBackgroundInSubviewSelector), painter);

    auto context = someContext();
    NSGraphicsContext::setCurrentContext(context);
    NSViewCoreExtensions::askParentToDrawBackground(*label);
    ASSERT_EQ(painter->rects.size(), 1u);
    EXPECT_EQ(painter->subviewsAsked[0], label.get());
    // The painter's whole bounds, seen from the label at (25, 15) in it.
    EXPECT_EQ(painter->rects[0], CGRectMake(-25, -15, 200, 100));
    // The graphics state the painter changed is back.
    EXPECT_EQ(NSGraphicsContext::currentContext(), context);
    NSGraphicsContext::setCurrentContext(nullptr);
}

TEST(AncestorDrawnBackgrounds, WithoutAWillingAncestorNothingIsSaved)
{
    SimWorld world;
    auto window = makeRef<NSWindow>(CGRectMake(0, 0, 100, 100), NSWindowStyleMaskTitled);
    auto label = makeRef<NSView>(CGRectMake(0, 0, 10, 10));
    window->contentView()->addSubview(label);
    window->setDelegate(makeRef<NSObject>());
    EXPECT_EQ(NSViewCoreExtensions::parentWhichRespondsToSelector(*label, kDrawBackgroundInSubviewSelector), nullptr);
    LogCapture log;
    NSViewCoreExtensions::askParentToDrawBackground(*label);
    // Had a state been saved, this restore would find it.
    NSGraphicsContext::restoreGraphicsState();
    EXPECT_TRUE(log.contains("without a saved graphics state"));

    // A view without a window and without a willing ancestor: nil.
    auto loose = makeRef<NSView>(CGRectMake(0, 0, 10, 10));
    EXPECT_EQ(NSViewCoreExtensions::parentWhichRespondsToSelector(*loose, kDrawBackgroundInSubviewSelector), nullptr);
}

TEST(AncestorDrawnBackgrounds, TheWindowDelegateIsTheLastResort)
{
    SimWorld world;
    auto window = makeRef<NSWindow>(CGRectMake(0, 0, 100, 100), NSWindowStyleMaskTitled);
    auto delegate = makeRef<PaintingDelegate>();
    window->setDelegate(delegate);
    auto label = makeRef<NSView>(CGRectMake(3, 4, 10, 10));
    window->contentView()->addSubview(label);
    EXPECT_EQ(NSViewCoreExtensions::parentWhichRespondsToSelector(*label, kDrawBackgroundInSubviewSelector), delegate);
    NSViewCoreExtensions::askParentToDrawBackground(*label);
    EXPECT_EQ(delegate->calls, 1);
    // A delegate has no bounds of its own: it gets the view's.
    EXPECT_EQ(delegate->rect, CGRectMake(0, 0, 10, 10));

    // A nearer willing ancestor wins over the delegate.
    auto painter = makeRef<PaintingView>(CGRectMake(0, 0, 50, 50));
    window->contentView()->addSubview(painter);
    painter->addSubview(label);
    NSViewCoreExtensions::askParentToDrawBackground(*label);
    EXPECT_EQ(delegate->calls, 1);
    EXPECT_EQ(painter->rects.size(), 1u);
}

TEST(AncestorDrawnBackgrounds, PlatformExceptionsAreLoggedOthersPassAndTheStateIsRestored)
{
    auto painter = makeRef<PaintingView>(CGRectMake(0, 0, 100, 100));
    auto label = makeRef<NSView>(CGRectMake(0, 0, 10, 10));
    painter->addSubview(label);
    auto context = someContext();
    NSGraphicsContext::setCurrentContext(context);

    painter->raise = true;
    LogCapture log;
    EXPECT_NO_THROW(NSViewCoreExtensions::askParentToDrawBackground(*label));
    EXPECT_TRUE(log.contains("background failed"));
    EXPECT_EQ(NSGraphicsContext::currentContext(), context);

    painter->raise = false;
    painter->raiseOther = true;
    EXPECT_THROW(NSViewCoreExtensions::askParentToDrawBackground(*label), std::logic_error);
    EXPECT_EQ(NSGraphicsContext::currentContext(), context);
    NSGraphicsContext::setCurrentContext(nullptr);
}
