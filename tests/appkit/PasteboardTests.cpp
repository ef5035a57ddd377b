#include <appkit/NSPasteboard.h>

#include <gtest/gtest.h>

TEST(Pasteboard, StringsGoOnByTypeAndClearingTakesEverythingOff)
{
    NSPasteboard pasteboard("test");
    long start = pasteboard.changeCount();
    EXPECT_EQ(pasteboard.clearContents(), start + 1);
    EXPECT_TRUE(pasteboard.setString("first", NSPasteboardTypeString));
    EXPECT_TRUE(pasteboard.setString("<b>first</b>", "public.html"));
    EXPECT_TRUE(pasteboard.setString("second", NSStringPboardType));
    EXPECT_EQ(pasteboard.stringForType(NSPasteboardTypeString), "second") << "the older name is the same type";
    EXPECT_EQ(pasteboard.types(), (std::vector<NSPasteboardType> { NSPasteboardTypeString, "public.html" }));
    EXPECT_EQ(pasteboard.changeCount(), start + 1) << "only clearing counts as a change of owner";
    EXPECT_FALSE(pasteboard.setString("x", ""));
    EXPECT_EQ(pasteboard.clearContents(), start + 2);
    EXPECT_FALSE(pasteboard.stringForType(NSPasteboardTypeString));
    EXPECT_TRUE(pasteboard.types().empty());
}

TEST(Pasteboard, TheGeneralPasteboardIsOneObject)
{
    auto general = NSPasteboard::generalPasteboard();
    EXPECT_EQ(general, NSPasteboard::generalPasteboard());
    EXPECT_EQ(general->name(), NSPasteboardNameGeneral);
}
