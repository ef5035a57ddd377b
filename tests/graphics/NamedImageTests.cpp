#include "GraphicsTestSupport.h"

#include <gtest/gtest.h>

namespace {

// The pixel at the centre of the image drawn at its size.
RGBA centreOf(const Ref<NSImage>& image)
{
    CGSize size = image->size();
    auto context = makeRGBAContext(static_cast<size_t>(size.width), static_cast<size_t>(size.height));
    CGContextDrawImage(context, CGRectMake(0, 0, size.width, size.height), image->CGImageForProposedRect(nullptr, nullptr));
    return pixelAt(context, static_cast<size_t>(size.width / 2), static_cast<size_t>(size.height / 2));
}

} // namespace

TEST(NamedImages, TheStatusLightsAreOneObjectEachInTheirOwnColour)
{
    auto available = NSImage::imageNamed(NSImageNameStatusAvailable);
    auto partial = NSImage::imageNamed(NSImageNameStatusPartiallyAvailable);
    auto unavailable = NSImage::imageNamed(NSImageNameStatusUnavailable);
    auto none = NSImage::imageNamed(NSImageNameStatusNone);
    ASSERT_TRUE(available && partial && unavailable && none);
    EXPECT_EQ(NSImage::imageNamed(NSImageNameStatusAvailable), available);
    EXPECT_EQ(available->name(), NSImageNameStatusAvailable);
    EXPECT_EQ(available->size(), CGSizeMake(16, 16));

    RGBA green = centreOf(available), yellow = centreOf(partial), red = centreOf(unavailable), empty = centreOf(none);
    EXPECT_EQ(green[3], 255);
    EXPECT_GT(green[1], green[0] + 60) << "green";
    EXPECT_GT(yellow[0], yellow[2] + 100) << "yellow: red and green, little blue";
    EXPECT_GT(yellow[1], yellow[2] + 100);
    EXPECT_GT(red[0], red[1] + 100) << "red";
    EXPECT_EQ(empty[3], 0) << "no status: an empty ring";
    EXPECT_EQ(NSImage::imageNamed("NoSuchImage"), nullptr);
    EXPECT_EQ(NSImage::imageNamed(""), nullptr);
}

TEST(NamedImages, AnImageRegisteredUnderANameIsFoundByIt)
{
    auto image = NSImage::create(CGSizeMake(4, 4));
    EXPECT_TRUE(image->setName("TestNamedImage"));
    EXPECT_EQ(NSImage::imageNamed("TestNamedImage"), image);
    auto other = NSImage::create(CGSizeMake(2, 2));
    EXPECT_FALSE(other->setName("TestNamedImage")) << "the name is taken";
    EXPECT_FALSE(other->setName(NSImageNameStatusAvailable));
    EXPECT_TRUE(image->setName("TestNamedImage2"));
    EXPECT_EQ(NSImage::imageNamed("TestNamedImage"), nullptr) << "the old name is dropped";
    EXPECT_EQ(NSImage::imageNamed("TestNamedImage2"), image);
    EXPECT_TRUE(image->setName(""));
    EXPECT_EQ(NSImage::imageNamed("TestNamedImage2"), nullptr);
    EXPECT_EQ(image->name(), "");
}
