// Tinted, shadowed, gray and monochrome copies, conversions, the BMP stream
// (read back by ImageMagick) and the standard button images.
#include "ImageTestSupport.h"

#include <support/TemporaryDirectory.h>
#include <toolkit/NSImageStandardImages.h>
#include <toolkit/NSImageTKExtensions.h>
#include <toolkit/NSShadowTKExtensions.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

// The luma of the grayscale and monochrome formulas for 8-bit colour.
int luma(RGBA c) { return int(std::nearbyint((c[0] * 0.299 + c[1] * 0.587 + c[2] * 0.114) / 255 * 255)); }

// A gray-and-alpha byte pair of a monochrome image's bitmap.
std::pair<int, int> grayAt(const Ref<NSImage>& image, long x, long y)
{
    auto rep = std::dynamic_pointer_cast<NSBitmapImageRep>(image->representations().at(0));
    const unsigned char* p = rep->bitmapData() + y * rep->bytesPerRow() + 2 * x;
    return { p[0], p[1] };
}

const std::vector<RGBA> kPalette { kRed, kGreen, kBlue, { 255, 255, 255, 255 }, { 12, 200, 77, 255 },
    { 128, 64, 32, 255 }, { 100, 30, 0, 127 }, kClear };

// A 4 x 2 image holding the palette, left to right, top row first.
Ref<NSImage> paletteImage()
{
    return imageOf(4, 2, [](long x, long y) { return kPalette[size_t(y * 4 + x)]; });
}

std::string run(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

} // namespace

TEST(NSImageEffects, TintBackgroundAndShadowCopies)
{
    auto shape = imageOf(4, 4, [](long x, long) { return x < 2 ? kBlue : kClear; });
    auto tinted = NSImageTKExtensions::coloredImage(shape, NSColor::redColor());
    EXPECT_EQ(pixelOf(tinted, 0, 0), kRed);
    EXPECT_EQ(pixelOf(tinted, 3, 0), kClear);
    auto backed = NSImageTKExtensions::imageWithBackground(shape, NSColor::greenColor());
    EXPECT_EQ(pixelOf(backed, 0, 0), kBlue);
    EXPECT_EQ(pixelOf(backed, 3, 0), kGreen);

    // A hard shadow one point down shows below the shape only.
    auto dot = imageOf(6, 6, [](long x, long y) { return (x >= 2 && x < 4 && y >= 2 && y < 4) ? kBlue : kClear; });
    auto shadowed = NSImageTKExtensions::copyImageWithShadow(dot, NSShadowTKExtensions::defaultBlackShadow());
    EXPECT_EQ(pixelOf(shadowed, 2, 2), kBlue);
    EXPECT_EQ(pixelOf(shadowed, 2, 4), (RGBA { 0, 0, 0, 204 }));
    EXPECT_EQ(pixelOf(shadowed, 2, 1), kClear);
    EXPECT_EQ(pixelOf(shadowed, 4, 3), kClear);
    // A blurred shadow spreads to the sides, fading.
    auto soft = NSImageTKExtensions::copyImageWithShadow(dot,
        NSShadowTKExtensions::shadowWithColor(NSColor::blackColor(), CGSizeMake(0, 0), 4));
    EXPECT_GT(pixelOf(soft, 4, 3)[3], 0);
    EXPECT_LT(pixelOf(soft, 4, 3)[3], 255);
}

TEST(NSImageEffects, MonochromeFollowsTheLumaFormulaAndLeavesTheSourceAlone)
{
    auto image = paletteImage();
    auto sourceRep = image->representations()[0];
    auto mono = NSImageTKExtensions::monochromeImage(image);
    // The receiver keeps its very representation.
    ASSERT_EQ(image->representations().size(), 1u);
    EXPECT_EQ(image->representations()[0], sourceRep);
    auto rep = std::dynamic_pointer_cast<NSBitmapImageRep>(mono->representations().at(0));
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->samplesPerPixel(), 2);
    EXPECT_EQ(rep->bitsPerPixel(), 16);
    EXPECT_EQ(rep->bytesPerRow(), 8);
    EXPECT_EQ(rep->colorSpaceName(), NSCalibratedWhiteColorSpace);
    EXPECT_EQ(grayAt(mono, 0, 0), std::make_pair(76, 255));   // red: 76.245
    EXPECT_EQ(grayAt(mono, 3, 0), std::make_pair(255, 255));  // white: 254.99999999999997
    for (long i = 0; i < 8; ++i) {
        RGBA c = kPalette[size_t(i)];
        if (c[3] == 0)
            continue;
        // Colour unpremultiplied first, as a pixel read gives it.
        RGBA straight { c[0] * 255 / c[3], c[1] * 255 / c[3], c[2] * 255 / c[3], c[3] };
        auto [gray, alpha] = grayAt(mono, i % 4, i / 4);
        EXPECT_NEAR(gray, luma(straight), c[3] == 255 ? 0 : 1) << i;
        EXPECT_EQ(alpha, c[3]) << i;
    }
    EXPECT_EQ(grayAt(mono, 3, 1).second, 0);
}

TEST(NSImageEffects, GrayscaleKeepsTransparencyAndFollowsTheFormula)
{
    auto gray = NSImageTKExtensions::grayscaleImage(paletteImage());
    ASSERT_TRUE(gray);
    EXPECT_EQ(gray->size(), CGSizeMake(4, 2));
    for (long i = 0; i < 6; ++i) {
        RGBA c = kPalette[size_t(i)];
        RGBA got = pixelOf(gray, i % 4, i / 4);
        int expected = (c[0] * 299 + c[1] * 587 + c[2] * 114 + 500) / 1000;
        EXPECT_EQ(got, (RGBA { expected, expected, expected, 255 })) << i;
    }
    EXPECT_EQ(pixelOf(gray, 3, 1)[3], 0);
    EXPECT_EQ(NSImageTKExtensions::grayscaleImage(NSImage::create(CGSizeMake(3, 3))), nullptr);
}

TEST(NSImageEffects, ControlImageSitsAtTheRightEdgeLoweredByOnePoint)
{
    auto combined = NSImageTKExtensions::imageWithControlImage(solidImage(20, 20, kRed), solidImage(10, 14, kBlue));
    EXPECT_EQ(combined->size(), CGSizeMake(34, 20));
    // Control image at x 24, y 2 (from the bottom): rows 4 to 17 from the top.
    EXPECT_EQ(pixelOf(combined, 24, 4), kBlue);
    EXPECT_EQ(pixelOf(combined, 24, 17), kBlue);
    EXPECT_EQ(pixelOf(combined, 24, 3), kClear);
    EXPECT_EQ(pixelOf(combined, 24, 18), kClear);
    EXPECT_EQ(pixelOf(combined, 23, 10), kClear);
    // The image is centred in the 24 points left of it.
    EXPECT_EQ(pixelOf(combined, 2, 10), kRed);
    EXPECT_EQ(pixelOf(combined, 1, 10), kClear);
}

TEST(NSImageConversions, CGImagesRoundTripAndBadDataGivesNull)
{
    EXPECT_EQ(NSImageTKExtensions::CGImageFromData({}), nullptr);
    EXPECT_EQ(NSImageTKExtensions::CGImageFromData({ 'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e' }),
        nullptr);
    EXPECT_EQ(NSImageTKExtensions::nsImageToCGImageRef(NSImage::create(CGSizeMake(4, 4))), nullptr);

    auto cg = NSImageTKExtensions::CGImageFromNSImage(paletteImage());
    ASSERT_TRUE(cg);
    EXPECT_EQ(CGImageGetWidth(cg), 4u);
    for (auto back : { NSImageTKExtensions::imageFromCGImageRef(cg), NSImageTKExtensions::imageFromCGImageRefWithFocus(cg) }) {
        EXPECT_EQ(back->size(), CGSizeMake(4, 2));
        EXPECT_EQ(pixelOf(back, 0, 0), kRed);
        EXPECT_EQ(pixelOf(back, 2, 0), kBlue);
        EXPECT_EQ(pixelOf(back, 1, 1), kPalette[5]);
    }
}

TEST(NSImageConversions, BMPHeadersRowsAndPadding)
{
    auto bmp = NSImageTKExtensions::bmpData(solidImage(1, 1, kRed));
    ASSERT_EQ(bmp.size(), 58u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    auto le32 = [&](size_t at) { return bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | uint32_t(bmp[at + 3]) << 24; };
    // The file size is filled in, so that readers that check it accept it.
    EXPECT_EQ(le32(2), 58u);
    EXPECT_EQ(le32(10), 54u);
    EXPECT_EQ(le32(14), 40u);
    EXPECT_EQ(le32(34), 4u);
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 54, bmp.end()), (std::vector<uint8_t> { 0x00, 0x00, 0xFF, 0x00 }));

    // Three pixels wide: rows of 9 bytes and 3 zero bytes; bottom row first.
    bmp = NSImageTKExtensions::bmpData(imageOf(3, 2, [](long x, long y) { return y == 0 ? kRed : x == 2 ? kBlue : kGreen; }));
    ASSERT_EQ(bmp.size(), 54u + 24u);
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 54, bmp.begin() + 66),
        (std::vector<uint8_t> { 0, 255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 0 }));
    EXPECT_EQ(bmp[66 + 2], 255);

    // A gray bitmap with one sample per pixel is drawn to RGB first instead
    // of being read three bytes a pixel.
    auto grayRep = NSBitmapImageRep::create(nullptr, 5, 3, 8, 1, false, false, NSCalibratedWhiteColorSpace, 0, 5, 8);
    ASSERT_TRUE(grayRep);
    std::fill(grayRep->bitmapData(), grayRep->bitmapData() + 15, 200);
    auto grayImage = NSImage::create(CGSizeMake(5, 3));
    grayImage->addRepresentation(grayRep);
    bmp = NSImageTKExtensions::bmpData(grayImage);
    ASSERT_EQ(bmp.size(), 54u + 16u * 3);
    EXPECT_EQ(bmp[54], 200);
    EXPECT_EQ(bmp[54 + 14], 200);
    EXPECT_EQ(bmp[54 + 15], 0);
    // Nothing to read: what the image draws (nothing) over clear, black.
    bmp = NSImageTKExtensions::bmpData(NSImage::create(CGSizeMake(2, 2)));
    ASSERT_EQ(bmp.size(), 54u + 16u);
    EXPECT_EQ(bmp[54], 0);
}

TEST(NSImageConversions, ImageMagickReadsTheBMPBackPixelForPixel)
{
    ASSERT_EQ(std::system("test -x /usr/bin/identify && test -x /usr/bin/convert"), 0)
        << "ImageMagick is missing (make test installs it)";
    TemporaryDirectory dir;
    // Opaque, odd width so that rows are padded.
    auto source = imageOf(7, 5, [](long x, long y) { return RGBA { int(x * 36), int(y * 60), 255 - int(x * 30), 255 }; });
    auto bmp = NSImageTKExtensions::bmpData(source);
    std::string bmpPath = dir.path() + "/picture.bmp";
    std::ofstream(bmpPath, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));

    std::string info = run("/usr/bin/identify -verbose " + bmpPath + " 2>&1");
    EXPECT_NE(info.find("Geometry: 7x5+0+0"), std::string::npos) << info;
    EXPECT_NE(info.find("Depth: 8-bit"), std::string::npos) << info;
    EXPECT_NE(info.find("Class: DirectClass"), std::string::npos) << info;
    // Every pixel of the picture has its own colour.
    EXPECT_NE(info.find("Colors: 35"), std::string::npos) << info;
    EXPECT_EQ(info.find("arning"), std::string::npos) << info;

    std::string pngPath = dir.path() + "/picture.png";
    ASSERT_EQ(std::system(("/usr/bin/convert " + bmpPath + " " + pngPath + " 2>/dev/null").c_str()), 0);
    auto back = NSImage::imageWithContentsOfFile(pngPath);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), CGSizeMake(7, 5));
    for (long y = 0; y < 5; ++y)
        for (long x = 0; x < 7; ++x)
            EXPECT_EQ(pixelOf(back, x, y), pixelOf(source, x, y)) << x << "," << y;
}

TEST(NSImageStandardImages, MinusPlusAndStopAreDrawnInTheirBoxes)
{
    auto line = NSColor::redColor();
    auto back = NSColor::whiteColor();
    auto minus = NSImageStandardImages::minusImage(CGRectMake(0, 0, 14, 14), back, line);
    EXPECT_EQ(minus->size(), CGSizeMake(14, 14));
    // The minus runs across the box (4, 4, 6, 6) at y 7, 1.5 points thick.
    EXPECT_EQ(pixelOf(minus, 5, 6)[0], 255);
    EXPECT_LT(pixelOf(minus, 5, 6)[1], 70);  // 3/4 of the pixel's row covered
    EXPECT_GT(pixelOf(minus, 3, 6)[1], 200);  // outside the box: the white circle
    EXPECT_GT(pixelOf(minus, 7, 3)[1], 200);  // no vertical bar
    // Outside the circle (2, 2, 10, 10) and its shadow: transparent.
    EXPECT_EQ(pixelOf(minus, 0, 0)[3], 0);
    EXPECT_EQ(pixelOf(minus, 13, 7)[3], 0);

    auto plus = NSImageStandardImages::plusImage(CGRectMake(0, 0, 14, 14), back, line);
    EXPECT_LT(pixelOf(plus, 6, 4)[1], 70);  // the vertical bar

    // The cross lies along the diagonals of its 12 x 12 interior at (1, 1).
    auto stopSymbol = NSImageStandardImages::stopInteriorImage(CGRectMake(0, 0, 12, 12), line);
    EXPECT_GT(pixelOf(stopSymbol, 4, 4)[3], 200);
    EXPECT_GT(pixelOf(stopSymbol, 7, 4)[3], 200);
    EXPECT_EQ(pixelOf(stopSymbol, 5, 3)[3], 0);
    EXPECT_EQ(pixelOf(stopSymbol, 1, 1)[3], 0);  // outside the central box

    // Away from the origin the images are the same: the symbol does not
    // slide out of its clip box, nor the circle out of the canvas.
    for (auto make : { &NSImageStandardImages::minusImage, &NSImageStandardImages::plusImage,
             &NSImageStandardImages::stopImage }) {
        auto atOrigin = make(CGRectMake(0, 0, 14, 14), back, line);
        auto away = make(CGRectMake(5, 5, 14, 14), back, line);
        EXPECT_EQ(away->size(), CGSizeMake(14, 14));
        for (long y = 0; y < 14; ++y)
            for (long x = 0; x < 14; ++x)
                ASSERT_EQ(pixelOf(away, x, y), pixelOf(atOrigin, x, y)) << x << "," << y;
    }
}
