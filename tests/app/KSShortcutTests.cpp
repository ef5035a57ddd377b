#include "support/SimWorld.h"

#include <app/KSShortcut.h>
#include <desktop/InputCodes.h>
#include <foundation/Log.h>
#include <foundation/NSKeyedArchiver.h>
#include <foundation/NSKeyedUnarchiver.h>
#include <foundation/NSPropertyListSerialization.h>

namespace {

const std::string kOptionGlyph = "\u2325";
const std::string kTabGlyph = "\u21e5";

class KSShortcutTest : public ::testing::Test {
protected:
    SimWorld world { SimWorld::emptyScenario() };
};

// Archives itself under the shortcut's class name with the fields a test
// chooses, as a damaged or foreign writer would.
class ShortcutLookalike final : public NSObject, public NSCoding {
public:
    std::string className() const override { return "KSShortcut"; }
    void encodeWithCoder(NSCoder& coder) const override { write(coder); }
    std::function<void(NSCoder&)> write;
};

Value::Bytes archiveOf(const Value& root)
{
    auto data = NSKeyedArchiver::archivedDataWithRootObject(root);
    EXPECT_TRUE(data);
    return data.value_or(Value::Bytes {});
}

Value::Bytes lookalikeArchive(std::function<void(NSCoder&)> write)
{
    auto lookalike = makeRef<ShortcutLookalike>();
    lookalike->write = std::move(write);
    return archiveOf(Value(lookalike));
}

// The "KeyCode" stored in an archive, read as plain property lists.
int64_t storedKeyCode(const Value::Bytes& archive)
{
    auto plist = NSPropertyListSerialization::propertyListWithData(archive);
    const Value& objects = (*plist)["$objects"];
    int64_t root = (*plist)["$top"]["root"]["CF$UID"].integerValue();
    return objects.at(static_cast<size_t>(root))["KeyCode"].integerValue();
}

}

TEST_F(KSShortcutTest, DescribesItselfWithModifierGlyphsAndTheKey)
{
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_Tab, kCGEventFlagMaskAlternate)->description(),
        kOptionGlyph + kTabGlyph);
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_Grave, kCGEventFlagMaskAlternate)->description(),
        kOptionGlyph + "`");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_A,
                  kCGEventFlagMaskCommand | kCGEventFlagMaskShift | kCGEventFlagMaskAlternate
                      | kCGEventFlagMaskControl)
                  ->description(),
        "\u2303\u2325\u21e7\u2318A");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_Q, 0)->modifierFlagsString(), "");
    EXPECT_EQ(
        KSShortcut::shortcutWithKeyCode(kVK_Space, kCGEventFlagMaskCommand)->description(), "\u2318Space");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_F5, 0)->keyCodeString(), "F5");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_F19, 0)->keyCodeString(), "F19");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_Keypad0, 0)->keyCodeString(), "0");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_Keypad9, 0)->keyCodeString(), "9");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_UpArrow, 0)->keyCodeString(), "\u2191");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_Minus, 0)->keyCodeString(), "-");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ISO_Section, 0)->keyCodeString(), "\u00a7");
}

TEST_F(KSShortcutTest, AKeyThatTypesNoVisibleTextShowsNothing)
{
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(52, kCGEventFlagMaskCommand)->keyCodeString(), "")
        << "Enter types a control character";
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_F20, 0)->keyCodeString(), "")
        << "F20 has no fixed rendering";
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_Command, 0)->keyCodeString(), "");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(NSNotFound, kCGEventFlagMaskCommand)->description(), "\u2318");
}

TEST_F(KSShortcutTest, GivesTheKeyAsAMenuKeyEquivalent)
{
    EXPECT_EQ(
        KSShortcut::shortcutWithKeyCode(kVK_ANSI_Q, kCGEventFlagMaskCommand)->keyCodeStringForKeyEquivalent(),
        "q");
    EXPECT_EQ(
        KSShortcut::shortcutWithKeyCode(kVK_Space, kCGEventFlagMaskCommand)->keyCodeStringForKeyEquivalent(),
        " ");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_F1, 0)->keyCodeStringForKeyEquivalent(), "\uf704");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_F19, 0)->keyCodeStringForKeyEquivalent(), "\uf716");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_Return, 0)->keyCodeStringForKeyEquivalent(), "\u21a9");
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_F20, 0)->keyCodeStringForKeyEquivalent(), "");
}

TEST_F(KSShortcutTest, KeepsOnlyTheFourModifiersAndComparesByValue)
{
    auto a = KSShortcut::shortcutWithKeyCode(
        kVK_Tab, kCGEventFlagMaskAlternate | kCGEventFlagMaskAlphaShift | kCGEventFlagMaskSecondaryFn);
    auto b = KSShortcut::shortcutWithKeyCode(kVK_Tab, kCGEventFlagMaskAlternate);
    EXPECT_EQ(a->modifierFlags(), kCGEventFlagMaskAlternate);
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_EQ(a->hash(), 48 + kCGEventFlagMaskAlternate);
    EXPECT_FALSE(a->isEqual(KSShortcut::shortcutWithKeyCode(kVK_Tab, kCGEventFlagMaskCommand).get()));
    EXPECT_FALSE(a->isEqual(KSShortcut::shortcutWithKeyCode(kVK_Space, kCGEventFlagMaskAlternate).get()));
    EXPECT_FALSE(a->isEqual(makeRef<NSObject>().get()));
    EXPECT_FALSE(a->isEqual(nullptr));
    auto copy = a->copy();
    EXPECT_NE(copy, a);
    EXPECT_TRUE(copy->isEqual(a.get()));

    auto event = CGEventCreateKeyboardEvent(nullptr, 123, true);
    CGEventSetFlags(event, kCGEventFlagMaskControl | kCGEventFlagMaskSecondaryFn | 0x200000 | 0x100);
    auto fromEvent = KSShortcut::shortcutWithEvent(*NSEvent::eventWithCGEvent(event));
    EXPECT_EQ(fromEvent->keyCode(), 123);
    EXPECT_EQ(fromEvent->modifierFlags(), kCGEventFlagMaskControl);
}

TEST_F(KSShortcutTest, ConvertsToCarbonForm)
{
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_K, kCGEventFlagMaskCommand)->carbonFlags(), 0x100u);
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_K, kCGEventFlagMaskShift)->carbonFlags(), 0x200u);
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_K, kCGEventFlagMaskAlternate)->carbonFlags(), 0x800u);
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_K, kCGEventFlagMaskControl)->carbonFlags(), 0x1000u);
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_K,
                  kCGEventFlagMaskControl | kCGEventFlagMaskAlternate | kCGEventFlagMaskShift
                      | kCGEventFlagMaskCommand)
                  ->carbonFlags(),
        0x1B00u);
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(kVK_ANSI_K, 0)->carbonKeyCode(), 40u);
    EXPECT_EQ(KSShortcut::shortcutWithKeyCode(NSNotFound, 0)->carbonKeyCode(), 0u);
}

TEST_F(KSShortcutTest, ArchivesWithTheTwoCoderKeys)
{
    auto shortcut = KSShortcut::shortcutWithKeyCode(kVK_ANSI_Grave, kCGEventFlagMaskAlternate);
    auto data = archiveOf(Value(shortcut));
    EXPECT_EQ(storedKeyCode(data), 50);
    auto secure = NSKeyedUnarchiver::unarchivedObjectOfClass<KSShortcut>(data);
    ASSERT_TRUE(secure);
    EXPECT_TRUE(secure->isEqual(shortcut.get()));
    auto unrestricted = NSKeyedUnarchiver::unarchiveObjectWithData(data).objectAs<KSShortcut>();
    ASSERT_TRUE(unrestricted) << "the class is known to unrestricted decoding";
    EXPECT_TRUE(unrestricted->isEqual(shortcut.get()));

    auto keyless = archiveOf(Value(KSShortcut::shortcutWithKeyCode(NSNotFound, kCGEventFlagMaskCommand)));
    EXPECT_EQ(storedKeyCode(keyless), -1);
    auto decoded = NSKeyedUnarchiver::unarchivedObjectOfClass<KSShortcut>(keyless);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->keyCode(), NSNotFound);
    EXPECT_EQ(decoded->modifierFlags(), kCGEventFlagMaskCommand);
}

TEST_F(KSShortcutTest, DecodesNegativeKeyCodesAsNoKeyAndFlagsUnmasked)
{
    auto data = lookalikeArchive([](NSCoder& coder) {
        coder.encodeInteger(-7, "KeyCode");
        coder.encodeInteger(0x1F0000, "ModifierFlags");
    });
    auto decoded = NSKeyedUnarchiver::unarchivedObjectOfClass<KSShortcut>(data);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->keyCode(), NSNotFound);
    EXPECT_EQ(decoded->modifierFlags(), 0x1F0000u);
}

TEST_F(KSShortcutTest, DamagedArchivesGiveNoShortcutAndALogLine)
{
    struct Case {
        const char* what;
        Value::Bytes data;
    };
    auto good = archiveOf(Value(KSShortcut::shortcutWithKeyCode(kVK_ANSI_Q, kCGEventFlagMaskCommand)));
    std::vector<Case> cases = {
        { "no key code", lookalikeArchive([](NSCoder& coder) { coder.encodeInteger(0x100000, "ModifierFlags"); }) },
        { "no flags", lookalikeArchive([](NSCoder& coder) { coder.encodeInteger(12, "KeyCode"); }) },
        { "a key code of text", lookalikeArchive([](NSCoder& coder) {
              coder.encodeObject(Value("12"), "KeyCode");
              coder.encodeInteger(0x100000, "ModifierFlags");
          }) },
        { "a key code no key has", lookalikeArchive([](NSCoder& coder) {
              coder.encodeInteger(65536, "KeyCode");
              coder.encodeInteger(0x100000, "ModifierFlags");
          }) },
        { "garbage", Value::Bytes { 'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'r', 'c', 'h', 'i', 'v', 'e' } },
        { "truncated", Value::Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2)) },
        { "empty", Value::Bytes {} },
    };
    for (const auto& c : cases) {
        LogCapture log;
        EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<KSShortcut>(c.data)) << c.what;
        EXPECT_TRUE(NSKeyedUnarchiver::unarchiveObjectWithData(c.data).isNil()) << c.what;
        EXPECT_TRUE(log.contains("could not decode")) << c.what;
    }

    // An archive of something else is not a shortcut either.
    LogCapture log;
    EXPECT_FALSE(NSKeyedUnarchiver::unarchivedObjectOfClass<KSShortcut>(archiveOf(Value("Command-Q"))));
    EXPECT_TRUE(log.contains("not allowed"));
}

TEST_F(KSShortcutTest, LooksItsTextsUpInTheKitsBundle)
{
    EXPECT_EQ(ShortcutKitLocalizedString("Space", "Shortcut glyph name for SPACE key"), "Space");
    EXPECT_EQ(ShortcutKitLocalizedString("No such text", ""), "XXX");
}
