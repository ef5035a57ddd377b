// Shapes, shadow presets, context rotation and colour sets.
#include "ImageTestSupport.h"

#include <toolkit/NSBezierPathTKExtensions.h>
#include <toolkit/NSGraphicsContextTKExtensions.h>
#include <toolkit/NSShadowTKExtensions.h>
#include <toolkit/TKColorSet.h>
#include <toolkit/TKImageMaker.h>
#include <toolkit/TKStandardColors.h>

#include <appkit/NSView.h>
#include <appkit/NSWindow.h>
#include <foundation/Log.h>

#include <gtest/gtest.h>

using TK = NSBezierPathTKExtensions;

namespace {

std::vector<NSBezierPathElement> kinds(const NSBezierPath& path)
{
    std::vector<NSBezierPathElement> out;
    for (long i = 0; i < path.elementCount(); ++i)
        out.push_back(path.elementAtIndex(i));
    return out;
}

std::vector<CGPoint> points(const NSBezierPath& path)
{
    std::vector<CGPoint> out;
    for (long i = 0; i < path.elementCount(); ++i) {
        CGPoint p[3];
        if (path.elementAtIndex(i, p) != NSClosePathBezierPathElement)
            out.push_back(p[0]);
    }
    return out;
}

class FlippedView : public NSView {
public:
    using NSView::NSView;
    bool isFlipped() const override { return true; }
};

} // namespace

TEST(TKPaths, ConstructorsCarryTheirPresetsAndRadiiAreCut)
{
    EXPECT_EQ(TK::newPath()->lineWidth(), 1.0);
    EXPECT_EQ(TK::newPath()->flatness(), 0.001);
    EXPECT_EQ(TK::ovalPath(CGRectMake(0, 0, 4, 4))->lineWidth(), 1.5);
    EXPECT_EQ(TK::rectPath(CGRectMake(0, 0, 4, 4))->flatness(), 0.01);

    // A 20 x 10 rect with radius 8 gets radius 5 at every corner: the
    // rounded outline then has no straight left or right edge left.
    auto round = TK::roundRectPath(CGRectMake(0, 0, 20, 10), 8);
    EXPECT_EQ(round->bounds(), CGRectMake(0, 0, 20, 10));
    EXPECT_FALSE(round->containsPoint(CGPointMake(0.3, 0.3)));
    EXPECT_TRUE(round->containsPoint(CGPointMake(0.3, 5)));
    auto fourCorners = TK::roundRectPath(CGRectMake(0, 0, 20, 10), 0, 8, 0, 0);
    EXPECT_TRUE(fourCorners->containsPoint(CGPointMake(0.2, 9.8)));
    EXPECT_FALSE(fourCorners->containsPoint(CGPointMake(19.8, 9.8)));

    // Plates: nothing without height; both flags NO is a rect path.
    auto none = TK::newPath();
    TK::appendBezierPathWithPlateInRect(*none, CGRectMake(0, 0, 30, 0), true, true);
    EXPECT_TRUE(none->isEmpty());
    auto plain = TK::bezierPathWithPlateInRect(CGRectMake(0, 0, 30, 10), false, false);
    EXPECT_EQ(plain->flatness(), 0.01);
    EXPECT_TRUE(plain->containsPoint(CGPointMake(0.2, 0.2)));
    // The right-only plate appended to another path starts a subpath of its
    // own instead of running a line from that path's last point.
    auto both = TK::newPath();
    both->moveToPoint(CGPointMake(100, 100));
    TK::appendBezierPathWithPlateInRect(*both, CGRectMake(0, 0, 30, 10), false, true);
    EXPECT_EQ(both->elementAtIndex(1), NSMoveToBezierPathElement);
    EXPECT_FALSE(both->containsPoint(CGPointMake(29.8, 0.2)));
    EXPECT_TRUE(both->containsPoint(CGPointMake(0.2, 0.2)));
    auto pill = TK::bezierPathWithTopPlateInRect(CGRectMake(0, 0, 10, 30));
    EXPECT_EQ(pill->bounds(), CGRectMake(0, 0, 10, 30));
    EXPECT_FALSE(pill->containsPoint(CGPointMake(0.3, 29.7)));
}

TEST(TKPaths, TrianglesChevronsArrowsAndCaps)
{
    CGRect r = CGRectMake(10, 20, 8, 6);
    EXPECT_EQ(points(*TK::trianglePath(r, TKTriangleUp, false)),
        (std::vector<CGPoint> { { 10, 20 }, { 14, 26 }, { 18, 20 } }));
    EXPECT_EQ(points(*TK::trianglePath(r, TKTriangleUp, true)), points(*TK::trianglePath(r, TKTriangleDown, false)));
    EXPECT_EQ(points(*TK::trianglePath(r, TKTriangleLeft, true)),
        (std::vector<CGPoint> { { 18, 20 }, { 18, 26 }, { 10, 23 } }));
    EXPECT_EQ(kinds(*TK::trianglePath(r, 4, false)), std::vector<NSBezierPathElement> { NSClosePathBezierPathElement });

    EXPECT_EQ(points(*TK::chevronPath(CGRectMake(0, 0, 10, 10), true)),
        (std::vector<CGPoint> { { 0, 0 }, { 3, 0 }, { 10, 5 }, { 3, 10 }, { 0, 10 }, { 7, 5 }, { 0, 0 } }));
    EXPECT_EQ(points(*TK::chevronPath(CGRectMake(0, 0, 10, 10), false)).at(2), CGPointMake(0, 5));

    // The unit arrow grows by the width on both axes, from the rect's origin.
    auto arrow = TK::downArrowPath(CGRectMake(5, 5, 20, 99));
    EXPECT_EQ(arrow->bounds(), CGRectMake(5, 5, 20, 20));
    EXPECT_EQ(points(*arrow).at(1), CGPointMake(15, 5));

    auto capped = TK::endcappedBezierPathForRect(CGRectMake(10, 0, 20, 9), 4);
    CGRect bounds = capped->bounds();
    EXPECT_NEAR(bounds.origin.x, 7, 0.01);  // bulges 3/4 of the cap width
    EXPECT_NEAR(CGRectGetMaxX(bounds), 33, 0.01);
}

TEST(TKPaths, ClosingAndConversionKeepThePathAsItIs)
{
    EXPECT_FALSE(TK::isClosed(TK::newPath()));
    auto line = TK::newPath();
    line->moveToPoint(CGPointMake(0, 0));
    line->lineToPoint(CGPointMake(10, 0));
    EXPECT_FALSE(TK::isClosed(line));
    auto closed = TK::closedPath(line);
    EXPECT_NE(closed, line);
    EXPECT_TRUE(TK::isClosed(closed));
    EXPECT_EQ(TK::closedPath(closed), closed);

    EXPECT_EQ(TK::CGPath(TK::newPath()), nullptr);
    // An open line stays open: stroking it draws no closing edge.
    auto cg = TK::CGPath(line);
    ASSERT_TRUE(cg);
    std::vector<CGPathElementType> types;
    CGPathApply(cg, [&](const CGPathElement& e) { types.push_back(e.type); });
    EXPECT_EQ(types, (std::vector<CGPathElementType> { kCGPathElementMoveToPoint, kCGPathElementAddLineToPoint }));
    types.clear();
    CGPathApply(TK::CGPath(TK::roundRectPath(CGRectMake(0, 0, 10, 10), 2)), [&](const CGPathElement& e) { types.push_back(e.type); });
    EXPECT_EQ(types.back(), kCGPathElementCloseSubpath);
    EXPECT_EQ(std::count(types.begin(), types.end(), kCGPathElementAddCurveToPoint), 4);

    // A view's path maps into its bounds, turned over for a flipped view.
    FlippedView flipped(CGRectMake(0, 0, 50, 40));
    auto mark = TK::newPath();
    mark->moveToPoint(CGPointMake(1, 2));
    TK::transformPathForView(*mark, &flipped, CGRectMake(5, 6, 50, 40));
    EXPECT_EQ(points(*mark).at(0), CGPointMake(6, 44));
    NSView plain(CGRectMake(0, 0, 50, 40));
    mark = TK::newPath();
    mark->moveToPoint(CGPointMake(1, 2));
    TK::transformPathForView(*mark, &plain, CGRectMake(5, 6, 50, 40));
    EXPECT_EQ(points(*mark).at(0), CGPointMake(6, 8));
}

TEST(TKPaths, DrawingFillsFramesAndErases)
{
    // The frame colour stays current after fillOval, not after fillRoundRect.
    auto image = drawn(CGSizeMake(20, 10), [] {
        NSColor::blueColor()->set();
        TK::fillRoundRect(CGRectMake(0, 0, 10, 10), 2, NSColor::redColor(), 2);
        NSBezierPath::fillRect(CGRectMake(12, 0, 2, 2));
        NSColor::greenColor()->set();
        TK::fillOval(CGRectMake(14, 4, 6, 6), NSColor::redColor());
        NSBezierPath::fillRect(CGRectMake(16, 0, 2, 2));
    });
    EXPECT_EQ(pixelOf(image, 5, 5), kBlue);
    EXPECT_EQ(pixelOf(image, 5, 0), kRed);  // the inner half of the frame
    EXPECT_EQ(pixelOf(image, 12, 9), kBlue);
    EXPECT_EQ(pixelOf(image, 16, 9), kRed);

    auto erased = drawn(CGSizeMake(10, 10), [] {
        NSColor::blueColor()->set();
        NSBezierPath::fillRect(CGRectMake(0, 0, 10, 10));
        TK::erasePath(TK::rectPath(CGRectMake(0, 0, 5, 10)));
        TK::eraseRect(CGRectMake(8, 0, 2, 10));
    });
    EXPECT_EQ(pixelOf(erased, 2, 2), kClear);
    EXPECT_EQ(pixelOf(erased, 6, 2), kBlue);
    EXPECT_EQ(pixelOf(erased, 9, 2), kClear);

    // Rotating by 0 degrees leaves the context untouched; 90 turns about
    // the rect's centre, whatever its origin.
    drawn(CGSizeMake(40, 40), [] {
        auto cg = NSGraphicsContext::currentContext()->CGContext();
        NSGraphicsContextTKExtensions::rotateContext(0, CGRectMake(10, 10, 20, 20));
        EXPECT_TRUE(CGAffineTransformIsIdentity(CGContextGetCTM(cg)));
        NSGraphicsContextTKExtensions::rotateContext(90, CGRectMake(10, 10, 20, 20));
        CGPoint centre = CGPointApplyAffineTransform(CGPointMake(20, 20), CGContextGetCTM(cg));
        EXPECT_NEAR(centre.x, 20, 1e-9);
        EXPECT_NEAR(centre.y, 20, 1e-9);
        CGPoint right = CGPointApplyAffineTransform(CGPointMake(30, 20), CGContextGetCTM(cg));
        EXPECT_NEAR(right.y, 10, 1e-9);  // clockwise in y-up space
    });
    EXPECT_DOUBLE_EQ(NSGraphicsContextTKExtensions::degrees(NSGraphicsContextTKExtensions::radians(30)), 30);
}

TEST(TKPaths, ImagesDrawTheirShapesInTheCanvas)
{
    auto down = TK::downArrowImage(CGRectMake(30, 30, 20, 20));
    EXPECT_TRUE(down->isTemplate());
    EXPECT_EQ(pixelOf(down, 10, 17)[3], 230);  // "TKCS_blackImage": alpha 0.9
    EXPECT_EQ(pixelOf(down, 10, 3)[3], 230);
    EXPECT_EQ(pixelOf(down, 1, 3)[3], 0);
    auto up = TK::upArrowImage(CGRectMake(0, 0, 20, 20));
    EXPECT_EQ(pixelOf(up, 10, 2)[3], 230);
    EXPECT_EQ(pixelOf(up, 1, 16)[3], 0);
    // Away from the origin the triangle is still in the canvas.
    auto triangle = TK::downTriangleImage(CGRectMake(40, 40, 10, 10), false);
    EXPECT_EQ(pixelOf(triangle, 5, 1)[3], 230);
    EXPECT_EQ(pixelOf(triangle, 1, 8)[3], 0);
    EXPECT_EQ(pixelOf(TK::rightTriangleImage(CGRectMake(0, 0, 10, 10)), 1, 1)[3], 230);
    EXPECT_EQ(pixelOf(TK::leftTriangleImage(CGRectMake(0, 0, 10, 10)), 1, 1)[3], 0);

    // A path away from the origin, with fractional bounds, fits its image.
    auto oval = TK::ovalPath(CGRectMake(50.5, 60.5, 10, 10));
    auto image = TK::convertToImage(oval, NSColor::redColor(), nullptr, false);
    EXPECT_EQ(image->size(), CGSizeMake(11, 11));
    EXPECT_EQ(pixelOf(image, 5, 5), kRed);
    EXPECT_EQ(pixelOf(image, 0, 0)[3], 0);

    auto grid = TK::gridImage(CGRectMake(0, 0, 8, 8));
    EXPECT_EQ(pixelOf(grid, 0, 1), (RGBA { 255, 255, 255, 255 }));
    EXPECT_EQ(pixelOf(grid, 1, 1)[3], 0);
    EXPECT_EQ(pixelOf(grid, 1, 7)[3], 255);
    auto faint = drawn(CGSizeMake(8, 8), [] { TK::drawGridEffect(CGRectMake(0, 0, 8, 8), false); });
    EXPECT_NEAR(pixelOf(faint, 0, 1)[3], 13, 1);  // 5 %
}

TEST(TKShadows, PresetsAreOnePointDownWithoutBlur)
{
    auto black = NSShadowTKExtensions::defaultBlackShadow();
    EXPECT_EQ(black->shadowOffset(), CGSizeMake(0, -1));
    EXPECT_EQ(black->shadowBlurRadius(), 0);
    EXPECT_DOUBLE_EQ(black->shadowColor()->alphaComponent(), 0.8);
    EXPECT_DOUBLE_EQ(NSShadowTKExtensions::defaultLightWhiteShadow()->shadowColor()->whiteComponent(), 1.0);
    EXPECT_DOUBLE_EQ(NSShadowTKExtensions::defaultLightGrayShadow()->shadowColor()->alphaComponent(), 0.2);
    EXPECT_EQ(NSShadowTKExtensions::shadowWithColor(nullptr, CGSizeMake(2, 3), 4)->shadowColor(), nullptr);
}

TEST(TKColorSets, StandardSetsAreFreshAndMissingKeysAreLogged)
{
    auto a = TKColorSet::standardSet();
    auto b = TKColorSet::standardSet();
    EXPECT_NE(a, b);
    a->setColor(NSColor::redColor(), "TKCS_text");
    EXPECT_DOUBLE_EQ(b->colorForKey("TKCS_text")->alphaComponent(), 0.8);
    EXPECT_DOUBLE_EQ(a->colorForKey("kNTCS_disabledText")->whiteComponent(), 0.3);
    EXPECT_EQ(a->frameColor(false), TKStandardColors::frameColor(false));
    EXPECT_DOUBLE_EQ(a->blackAccentColor(true)->whiteComponent(), 0.55);
    LogCapture log;
    EXPECT_EQ(a->colorForKey("TKCS_disabledText"), nullptr);
    EXPECT_EQ(log.lines(), std::vector<std::string> { "-[TKColorSet colorForKey:] nil:TKCS_disabledText" });

    EXPECT_EQ(TKStandardColors::frameColor(true), TKStandardColors::frameColor(true));
    EXPECT_NE(TKStandardColors::frameColor(true), TKStandardColors::frameColor(false));
    EXPECT_DOUBLE_EQ(TKStandardColors::sourceListBackgroundColor(false)->blueComponent(), 0.886);
}

TEST(TKColorSets, ControlColoursFollowTheFirstResponder)
{
    auto window = makeRef<NSWindow>(CGRectMake(0, 0, 100, 100), NSWindowStyleMaskTitled);
    auto view = makeRef<NSView>(CGRectMake(0, 0, 10, 10));
    window->contentView()->addSubview(view);
    // Not first responder: the secondary colours when it is required.
    EXPECT_EQ(TKStandardColors::highlightColorForControl(view.get(), true), NSColor::secondarySelectedControlColor());
    EXPECT_EQ(TKStandardColors::textColorForControl(view.get(), true, true), NSColor::disabledControlTextColor());
    EXPECT_EQ(TKStandardColors::textColorForControl(nullptr, false, false),
        NSColor::alternateSelectedControlTextColor());
}
