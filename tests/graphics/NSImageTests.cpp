#include "GraphicsTestSupport.h"

#include <foundation/Log.h>

#include <gtest/gtest.h>

#include <thread>

static Ref<NSBitmapImageRep> makeRGBARep(long w, long h)
{
    return NSBitmapImageRep::create(nullptr, w, h, 8, 4, true, false, NSCalibratedRGBColorSpace, 0, 0, 0);
}

static Ref<NSImage> solidImage(CGSize size, long pw, long ph, RGBA colour)
{
    auto cg = makeImage(size_t(pw), size_t(ph), kCGImageAlphaPremultipliedLast, [&](size_t, size_t) { return colour; });
    return NSImage::imageWithCGImage(cg, size);
}

TEST(NSBitmapImageRep, LayoutsAndValidation)
{
    auto rep = makeRGBARep(3, 2);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->bytesPerRow(), 12);
    EXPECT_EQ(rep->bitsPerPixel(), 32);
    EXPECT_EQ(rep->samplesPerPixel(), 4);
    EXPECT_EQ(rep->size(), CGSizeMake(3, 2));
    unsigned char* data = rep->bitmapData();
    ASSERT_TRUE(data);
    EXPECT_EQ(std::count(data, data + 24, 0), 24);

    EXPECT_FALSE(NSBitmapImageRep::create(nullptr, 0, 2, 8, 4, true, false, NSCalibratedRGBColorSpace, 0, 0, 0));
    EXPECT_FALSE(NSBitmapImageRep::create(nullptr, 2, 2, 16, 4, true, false, NSCalibratedRGBColorSpace, 0, 0, 0));
    EXPECT_FALSE(NSBitmapImageRep::create(nullptr, 2, 2, 8, 4, false, false, NSCalibratedRGBColorSpace, 0, 0, 0));
    EXPECT_FALSE(NSBitmapImageRep::create(nullptr, 2, 2, 8, 4, true, true, NSCalibratedRGBColorSpace, 0, 0, 0));
    EXPECT_FALSE(NSBitmapImageRep::create(nullptr, 2, 2, 8, 4, true, false, "NSNamedColorSpace", 0, 0, 0));
    auto grayAlpha = NSBitmapImageRep::create(nullptr, 2, 2, 8, 2, true, false, NSCalibratedWhiteColorSpace, 0, 0, 0);
    ASSERT_TRUE(grayAlpha);
    EXPECT_EQ(grayAlpha->bytesPerRow(), 4);
    EXPECT_EQ(grayAlpha->bitsPerPixel(), 16);
}

TEST(NSBitmapImageRep, DrawingThroughAContextReachesTheRGBABytes)
{
    auto rep = makeRGBARep(2, 2);
    auto context = NSGraphicsContext::graphicsContextWithBitmapImageRep(rep);
    ASSERT_TRUE(context);
    {
        CurrentContextScope scope(context);
        NSColor::colorWithCalibratedRed(0, 0, 1, 0.5)->set();
        NSBezierPath::fillRect(CGRectMake(0, 1, 1, 1));
    }
    const unsigned char* data = rep->bitmapData();
    // Top-left pixel, premultiplied RGBA.
    EXPECT_EQ(data[0], 0);
    EXPECT_NEAR(data[2], 128, 1);
    EXPECT_NEAR(data[3], 128, 1);
    auto colour = rep->colorAtX(0, 0);
    ASSERT_TRUE(colour);
    EXPECT_NEAR(colour->blueComponent(), 1.0, 0.01);
    EXPECT_NEAR(colour->alphaComponent(), 0.5, 0.01);
    EXPECT_FALSE(rep->colorAtX(2, 0));

    // Bytes written by hand show in the next CGImage.
    rep->bitmapData()[4 * 3 + 1] = 255;
    rep->bitmapData()[4 * 3 + 3] = 255;
    auto cg = rep->CGImage();
    EXPECT_EQ(pixelAt(cg, 1, 1), (RGBA { 0, 255, 0, 255 }));
    EXPECT_EQ(CGImageGetAlphaInfo(cg), kCGImageAlphaPremultipliedLast);
}

TEST(NSBitmapImageRep, FromCGImageKeepsTheImageUntilTheBytesAreNeeded)
{
    auto cg = makeImage(2, 1, kCGImageAlphaLast, [](size_t x, size_t) { return RGBA { 200, 0, 0, x ? 255 : 0 }; });
    auto rep = NSBitmapImageRep::createWithCGImage(cg);
    EXPECT_EQ(rep->CGImage(), cg);
    EXPECT_EQ(rep->bitmapFormat(), NSBitmapFormatAlphaNonpremultiplied);
    EXPECT_EQ(rep->bitmapData()[4], 200);
    // A native-order image becomes RGBA.
    auto native = CGImageCreate(1, 1, 8, 32, 4, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, CGDataProviderCreateWithBytes({ 3, 2, 1, 255 }));
    auto nativeRep = NSBitmapImageRep::createWithCGImage(native);
    const unsigned char* bytes = nativeRep->bitmapData();
    EXPECT_EQ((RGBA { bytes[0], bytes[1], bytes[2], bytes[3] }), (RGBA { 1, 2, 3, 255 }));
    auto png = nativeRep->representationUsingType(NSBitmapImageFileTypePNG);
    ASSERT_TRUE(png);
    auto back = NSBitmapImageRep::imageRepWithData(*png);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bitmapData()[2], 3);
    EXPECT_FALSE(NSBitmapImageRep::imageRepWithData({ 1, 2, 3 }));
}

TEST(NSGraphicsContext, CurrentContextAndStateStackArePerThread)
{
    auto rep = makeRGBARep(1, 1);
    auto context = NSGraphicsContext::graphicsContextWithBitmapImageRep(rep);
    EXPECT_FALSE(NSGraphicsContext::currentContext());
    NSGraphicsContext::saveGraphicsState();
    NSGraphicsContext::setCurrentContext(context);
    context->setImageInterpolation(NSImageInterpolationHigh);
    context->setCompositingOperation(NSCompositingOperationCopy);

    Ref<NSGraphicsContext> seenOnOtherThread = context;
    std::thread([&] { seenOnOtherThread = NSGraphicsContext::currentContext(); }).join();
    EXPECT_FALSE(seenOnOtherThread);

    NSGraphicsContext::saveGraphicsState();
    context->setImageInterpolation(NSImageInterpolationNone);
    NSGraphicsContext::restoreGraphicsState();
    EXPECT_EQ(context->imageInterpolation(), NSImageInterpolationHigh);
    EXPECT_EQ(context->compositingOperation(), NSCompositingOperationCopy);
    NSGraphicsContext::restoreGraphicsState();
    EXPECT_FALSE(NSGraphicsContext::currentContext());

    LogCapture log;
    NSGraphicsContext::restoreGraphicsState();
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST(NSImage, SizeIsInPointsAndDrawingScalesThePixels)
{
    // A 4 × 4 pixel image shown at 2 × 2 points.
    auto cg = makeImage(4, 4, kCGImageAlphaPremultipliedLast,
        [](size_t x, size_t) { return x < 2 ? RGBA { 255, 0, 0, 255 } : RGBA { 0, 255, 0, 255 }; });
    auto image = NSImage::imageWithCGImage(cg, CGSizeMake(2, 2));
    EXPECT_EQ(image->size(), CGSizeMake(2, 2));
    EXPECT_EQ(image->representations().front()->pixelsWide(), 4);
    EXPECT_EQ(NSImage::imageWithCGImage(cg, CGSizeZero)->size(), CGSizeMake(4, 4));
    EXPECT_FALSE(NSImage::imageWithCGImage(nullptr, CGSizeZero));

    auto rep = makeRGBARep(4, 2);
    auto context = NSGraphicsContext::graphicsContextWithBitmapImageRep(rep);
    CurrentContextScope scope(context);
    context->setImageInterpolation(NSImageInterpolationNone);
    // The right half of the image (one point) into a 2 × 2 square at x 2.
    image->drawInRect(CGRectMake(2, 0, 2, 2), CGRectMake(1, 0, 1, 2), NSCompositingOperationSourceOver, 1);
    image->drawAtPoint(CGPointMake(0, 0), CGRectZero, NSCompositingOperationSourceOver, 1);
    auto color = [&](long x) { return rep->colorAtX(x, 0); };
    EXPECT_EQ(color(0)->redComponent(), 1.0);
    EXPECT_EQ(color(1)->greenComponent(), 1.0);
    EXPECT_EQ(color(2)->greenComponent(), 1.0);
    EXPECT_EQ(color(3)->greenComponent(), 1.0);
    EXPECT_EQ(color(3)->redComponent(), 0.0);
}

TEST(NSImage, OperationsAndFractionsOfDrawing)
{
    auto rep = makeRGBARep(3, 1);
    auto context = NSGraphicsContext::graphicsContextWithBitmapImageRep(rep);
    CurrentContextScope scope(context);
    NSColor::blueColor()->set();
    NSRectFill(CGRectMake(0, 0, 3, 1));
    auto red = solidImage(CGSizeMake(1, 1), 1, 1, { 255, 0, 0, 255 });
    red->drawInRect(CGRectMake(0, 0, 1, 1), CGRectZero, NSCompositingOperationSourceOver, 0.5);
    red->drawInRect(CGRectMake(1, 0, 1, 1), CGRectZero, NSCompositingOperationCopy, 0.5);
    auto clear = solidImage(CGSizeMake(1, 1), 1, 1, { 0, 0, 0, 0 });
    clear->drawInRect(CGRectMake(2, 0, 1, 1), CGRectZero, NSCompositingOperationDestinationIn, 1);
    auto over = rep->colorAtX(0, 0), copy = rep->colorAtX(1, 0), in = rep->colorAtX(2, 0);
    EXPECT_NEAR(over->redComponent(), 0.5, 0.01);
    EXPECT_NEAR(over->alphaComponent(), 1.0, 0.01);
    EXPECT_NEAR(copy->redComponent(), 1.0, 0.01);
    EXPECT_NEAR(copy->blueComponent(), 0.0, 0.01);
    EXPECT_NEAR(copy->alphaComponent(), 0.5, 0.01);
    EXPECT_EQ(in->alphaComponent(), 0.0);
    // The context's own state is left as it was.
    EXPECT_EQ(context->compositingOperation(), NSCompositingOperationSourceOver);
}

TEST(NSImage, CompositeToPointIgnoresScaleAndDrawsUprightInFlippedSpace)
{
    auto image = NSImage::imageWithCGImage(makeImage(1, 2, kCGImageAlphaPremultipliedLast, [](size_t, size_t y) {
        return y == 0 ? RGBA { 255, 0, 0, 255 } : RGBA { 0, 0, 255, 255 };
    }),
        CGSizeZero);
    auto c = makeRGBAContext(2, 4);
    // A flipped space, as a flipped view sets up: (0, 0) is the top left.
    CGContextTranslateCTM(c, 0, 4);
    CGContextScaleCTM(c, 1, -1);
    auto context = NSGraphicsContext::graphicsContextWithCGContext(c, true);
    CurrentContextScope scope(context);
    // In flipped space the point is the image's bottom-left corner.
    image->compositeToPoint(CGPointMake(0, 2), NSCompositingOperationSourceOver);
    EXPECT_EQ(pixelAt(c, 0, 0), (RGBA { 255, 0, 0, 255 }));
    EXPECT_EQ(pixelAt(c, 0, 1), (RGBA { 0, 0, 255, 255 }));
    EXPECT_EQ(pixelAt(c, 0, 2)[3], 0);
    // drawInRect follows the flipped space and so shows it upside down.
    image->drawInRect(CGRectMake(1, 0, 1, 2));
    EXPECT_EQ(pixelAt(c, 1, 0), (RGBA { 0, 0, 255, 255 }));
}

TEST(NSImage, LockFocusDrawsOnTopAndNests)
{
    auto image = solidImage(CGSizeMake(2, 2), 2, 2, { 0, 0, 255, 255 });
    auto outer = NSImage::create(CGSizeMake(1, 1));
    EXPECT_FALSE(NSGraphicsContext::currentContext());
    outer->lockFocus();
    auto outerContext = NSGraphicsContext::currentContext();
    ASSERT_TRUE(outerContext);
    image->lockFocus();
    NSColor::redColor()->set();
    NSRectFill(CGRectMake(0, 0, 1, 1));
    image->unlockFocus();
    EXPECT_EQ(NSGraphicsContext::currentContext(), outerContext);
    outer->unlockFocus();
    EXPECT_FALSE(NSGraphicsContext::currentContext());

    ASSERT_EQ(image->representations().size(), 1u);
    auto cached = dynamicRef<NSCachedImageRep>(image->representations().front());
    ASSERT_TRUE(cached);
    auto bitmap = cached->bitmap();
    EXPECT_EQ(bitmap->colorAtX(0, 1)->redComponent(), 1.0);
    EXPECT_EQ(bitmap->colorAtX(1, 0)->blueComponent(), 1.0);

    // Reading pixels through the image's own focus.
    image->lockFocus();
    auto red = NSReadPixel(CGPointMake(0.5, 0.5));
    auto blue = NSReadPixel(CGPointMake(1.5, 1.5));
    EXPECT_FALSE(NSReadPixel(CGPointMake(2, 0)));
    image->unlockFocus();
    ASSERT_TRUE(red && blue);
    EXPECT_EQ(red->redComponent(), 1.0);
    EXPECT_EQ(blue->blueComponent(), 1.0);
    EXPECT_FALSE(NSReadPixel(CGPointMake(0, 0)));

    LogCapture log;
    image->unlockFocus();
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST(NSImage, RepresentationsAndCopies)
{
    auto small = NSBitmapImageRep::createWithCGImage(
        makeImage(2, 2, kCGImageAlphaPremultipliedLast, [](size_t, size_t) { return RGBA { 0, 0, 0, 255 }; }));
    auto large = NSBitmapImageRep::createWithCGImage(
        makeImage(8, 8, kCGImageAlphaPremultipliedLast, [](size_t, size_t) { return RGBA { 0, 0, 0, 255 }; }));
    auto image = NSImage::create(CGSizeMake(2, 2));
    EXPECT_FALSE(image->isValid());
    EXPECT_FALSE(image->CGImageForProposedRect(nullptr, nullptr));
    image->addRepresentation(small);
    image->addRepresentation(large);
    EXPECT_EQ(image->bestRepresentationForRect(CGRectMake(0, 0, 2, 2)), small);
    EXPECT_EQ(image->bestRepresentationForRect(CGRectMake(0, 0, 4, 4)), large);
    EXPECT_EQ(image->bestRepresentationForRect(CGRectMake(0, 0, 100, 100)), large);
    image->setTemplate(true);
    auto copy = image->copy();
    EXPECT_TRUE(copy->isTemplate());
    EXPECT_EQ(copy->representations().size(), 2u);
    EXPECT_NE(copy->representations().front(), small);
    image->removeRepresentation(small);
    EXPECT_EQ(image->representations().size(), 1u);
    EXPECT_EQ(NSImage::create()->size(), CGSizeZero);
}

TEST(NSColor, ComponentsSpacesAndSetting)
{
    auto white = NSColor::colorWithCalibratedWhite(0.25, 0.5);
    EXPECT_EQ(white->colorSpaceName(), NSCalibratedWhiteColorSpace);
    EXPECT_EQ(white->redComponent(), 0.25);
    EXPECT_EQ(white->alphaComponent(), 0.5);
    auto rgb = NSColor::colorWithCalibratedRed(0.2, 0.4, 0.6, 1);
    EXPECT_NEAR(rgb->whiteComponent(), 0.2 * 0.299 + 0.4 * 0.587 + 0.6 * 0.114, 1e-12);
    EXPECT_EQ(rgb->colorWithAlphaComponent(0.3)->alphaComponent(), 0.3);
    EXPECT_TRUE(rgb->isEqual(NSColor::colorWithCalibratedRed(0.2, 0.4, 0.6, 1)));
    EXPECT_FALSE(rgb->isEqual(NSColor::colorWithDeviceRed(0.2, 0.4, 0.6, 1)));
    EXPECT_EQ(NSColor::redColor(), NSColor::redColor());
    EXPECT_EQ(NSColor::colorWithCalibratedRed(2, -1, 0.5, 1)->redComponent(), 1.0);
    EXPECT_TRUE(CGColorEqualToColor(NSColor::clearColor()->CGColor(), CGColorCreateGenericGray(0, 0)));
    EXPECT_FALSE(CGColorEqualToColor(NSColor::clearColor()->CGColor(), nullptr));
    // Setting without a context does nothing.
    NSColor::redColor()->set();

    auto pattern = NSColor::colorWithPatternImage(solidImage(CGSizeMake(1, 1), 1, 1, { 0, 255, 0, 255 }));
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->colorSpaceName(), NSPatternColorSpace);
    auto rep = makeRGBARep(3, 3);
    CurrentContextScope scope(NSGraphicsContext::graphicsContextWithBitmapImageRep(rep));
    pattern->set();
    NSRectFill(CGRectMake(0, 0, 3, 3));
    EXPECT_EQ(rep->colorAtX(2, 2)->greenComponent(), 1.0);
}
