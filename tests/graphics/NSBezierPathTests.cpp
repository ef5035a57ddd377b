#include "GraphicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(NSBezierPath, ElementsBoundsAndContainment)
{
    auto path = NSBezierPath::bezierPathWithRect(CGRectMake(1, 2, 3, 4));
    EXPECT_EQ(path->elementCount(), 5);
    CGPoint points[3];
    EXPECT_EQ(path->elementAtIndex(2, points), NSLineToBezierPathElement);
    EXPECT_EQ(points[0], CGPointMake(4, 6));
    EXPECT_EQ(path->elementAtIndex(4), NSClosePathBezierPathElement);
    EXPECT_EQ(path->bounds(), CGRectMake(1, 2, 3, 4));
    EXPECT_TRUE(path->containsPoint(CGPointMake(2, 3)));
    EXPECT_FALSE(path->containsPoint(CGPointMake(0, 3)));
    EXPECT_EQ(NSBezierPath::bezierPath()->bounds(), CGRectZero);

    auto oval = NSBezierPath::bezierPathWithOvalInRect(CGRectMake(0, 0, 10, 20));
    CGRect b = oval->bounds();
    EXPECT_NEAR(b.size.width, 10, 1e-9);
    EXPECT_NEAR(b.size.height, 20, 1e-9);
    EXPECT_FALSE(oval->containsPoint(CGPointMake(0.5, 0.5)));
    EXPECT_TRUE(oval->containsPoint(CGPointMake(5, 10)));
}

TEST(NSBezierPath, ArcsFollowThePlatformGeometry)
{
    // A quarter arc from 0° to 90° about (0, 0), radius 10, counter-clockwise.
    auto path = NSBezierPath::bezierPath();
    path->appendBezierPathWithArcWithCenter(CGPointMake(0, 0), 10, 0, 90);
    EXPECT_EQ(path->elementAtIndex(0), NSMoveToBezierPathElement);
    EXPECT_NEAR(path->currentPoint().x, 0, 1e-9);
    EXPECT_NEAR(path->currentPoint().y, 10, 1e-9);
    CGRect b = path->bounds();
    EXPECT_NEAR(b.origin.x, 0, 1e-9);
    EXPECT_NEAR(b.size.width, 10, 1e-9);

    // Clockwise from 0° to 90° goes the long way round.
    auto longWay = NSBezierPath::bezierPath();
    longWay->appendBezierPathWithArcWithCenter(CGPointMake(0, 0), 10, 0, 90, true);
    EXPECT_NEAR(longWay->bounds().size.width, 20, 1e-6);

    // A tangent arc in the corner of a square: a line to the first tangent
    // point, then an arc ending at the second.
    auto corner = NSBezierPath::bezierPath();
    corner->moveToPoint(CGPointMake(0, 10));
    corner->appendBezierPathWithArcFromPoint(CGPointMake(0, 0), CGPointMake(10, 0), 4);
    CGPoint p[3];
    EXPECT_EQ(corner->elementAtIndex(1, p), NSLineToBezierPathElement);
    EXPECT_NEAR(p[0].x, 0, 1e-9);
    EXPECT_NEAR(p[0].y, 4, 1e-9);
    EXPECT_NEAR(corner->currentPoint().x, 4, 1e-9);
    EXPECT_NEAR(corner->currentPoint().y, 0, 1e-9);
    // Collinear points give a plain line to the corner point.
    auto straight = NSBezierPath::bezierPath();
    straight->moveToPoint(CGPointMake(0, 0));
    straight->appendBezierPathWithArcFromPoint(CGPointMake(5, 0), CGPointMake(10, 0), 3);
    EXPECT_EQ(straight->elementCount(), 2);
    EXPECT_EQ(straight->currentPoint(), CGPointMake(5, 0));
}

TEST(NSBezierPath, FillStrokeClipAndTransform)
{
    auto c = makeRGBAContext(10, 10);
    CurrentContextScope scope(NSGraphicsContext::graphicsContextWithCGContext(c, false));
    NSColor::redColor()->setFill();
    NSColor::blueColor()->setStroke();
    auto path = NSBezierPath::bezierPathWithRect(CGRectMake(2, 2, 4, 4));
    auto move = NSAffineTransform::transform();
    move->translateXBy(2, 0);
    path->transformUsingAffineTransform(*move);
    EXPECT_EQ(path->bounds(), CGRectMake(4, 2, 4, 4));
    {
        NSGraphicsStateSaver saver;
        NSBezierPath::clipRect(CGRectMake(0, 0, 6, 10));
        path->fill();
    }
    EXPECT_EQ(pixelAt(c, 5, 5), (RGBA { 255, 0, 0, 255 }));
    EXPECT_EQ(pixelAt(c, 6, 5)[3], 0);
    path->setLineWidth(2);
    path->stroke();
    EXPECT_EQ(pixelAt(c, 8, 5), (RGBA { 0, 0, 255, 255 }));
    EXPECT_EQ(path->lineWidth(), 2);
    auto rotated = NSAffineTransform::transform();
    rotated->rotateByDegrees(90);
    CGPoint q = rotated->transformPoint(CGPointMake(1, 0));
    EXPECT_NEAR(q.x, 0, 1e-12);
    EXPECT_NEAR(q.y, 1, 1e-12);
}
