#include "DRKeyTranslator.h"

#include <foundation/Log.h>
#include <foundation/Unicode.h>
#include <services/TextInputSources.h>

#include <map>
#include <mutex>

namespace {

// The keys whose characters come from the layout: the US layout's letters
// A to Z, digits 0 to 9, then = - ] [ ' ; \ , / . ` and the ISO section key.
constexpr uint16_t kLayoutKeyCodes[] = {
    0, 11, 8, 2, 14, 3, 5, 4, 34, 38, 40, 37, 46, 45, 31, 35, 12, 15, 1, 17, 32, 9, 13, 7, 16, 6,
    29, 18, 19, 20, 21, 23, 22, 26, 28, 25,
    24, 27, 30, 33, 39, 41, 42, 43, 44, 47, 50, 10,
};

const std::map<std::string, uint32_t>& specialKeys()
{
    static const std::map<std::string, uint32_t> table = {
        { "delete", 51 }, { "down", 125 }, { "end", 119 }, { "escape", 53 }, { "f1", 122 }, { "f10", 109 },
        { "f11", 103 }, { "f12", 111 }, { "f13", 105 }, { "f14", 107 }, { "f15", 113 }, { "f16", 106 },
        { "f17", 64 }, { "f18", 79 }, { "f19", 80 }, { "f2", 120 }, { "f3", 99 }, { "f4", 118 }, { "f5", 96 },
        { "f6", 97 }, { "f7", 98 }, { "f8", 100 }, { "f9", 101 }, { "forwardDelete", 117 }, { "help", 114 },
        { "home", 115 }, { "keypad*", 67 }, { "keypad+", 69 }, { "keypad-", 78 }, { "keypad.", 65 },
        { "keypad/", 75 }, { "keypad0", 82 }, { "keypad1", 83 }, { "keypad2", 84 }, { "keypad3", 85 },
        { "keypad4", 86 }, { "keypad5", 87 }, { "keypad6", 88 }, { "keypad7", 89 }, { "keypad8", 91 },
        { "keypad9", 92 }, { "keypad=", 81 }, { "keypadClear", 71 }, { "keypadEnter", 76 }, { "left", 123 },
        { "pageDown", 121 }, { "pageUp", 116 }, { "return", 36 }, { "right", 124 }, { "space", 49 }, { "tab", 48 },
        { "up", 126 },
    };
    return table;
}

const std::map<std::string, uint32_t>& modifierTable()
{
    static const std::map<std::string, uint32_t> table = {
        { "alt", optionKey }, { "option", optionKey }, { "cmd", cmdKey }, { "command", cmdKey },
        { "control", controlKey }, { "ctrl", controlKey }, { "shift", shiftKey },
    };
    return table;
}


}

uint32_t DRKeyTranslator::flagForModifier(const std::string& modifier)
{
    auto it = modifierTable().find(modifier);
    return it == modifierTable().end() ? 0 : it->second;
}

uint32_t DRKeyTranslator::modifierFlagsForModifiers(const std::vector<std::string>& modifiers)
{
    uint32_t flags = 0;
    for (const auto& modifier : modifiers)
        flags |= flagForModifier(modifier);
    return flags;
}

std::optional<std::string> DRKeyTranslator::characterForKeyCode(uint16_t keyCode)
{
    auto layout = TISGetInputSourceProperty(TISCopyCurrentKeyboardLayoutInputSource(), kTISPropertyUnicodeKeyLayoutData)
                      .objectAs<UCKeyboardLayout>();
    if (!layout)
        layout = TISGetInputSourceProperty(TISCopyCurrentASCIICapableKeyboardLayoutInputSource(), kTISPropertyUnicodeKeyLayoutData)
                     .objectAs<UCKeyboardLayout>();
    uint32_t deadKeyState = 0;
    char16_t characters[4] = {};
    size_t length = 0;
    OSStatus status = layout ? UCKeyTranslate(layout.get(), keyCode, kUCKeyActionDisplay, 0, LMGetKbdType(), 0,
                                   &deadKeyState, 4, &length, characters)
                             : paramErr;
    if (status != noErr) {
        NSLog("Error: Could not translate key code %hu to a Unicode character using the keyboard layout. (%d)", keyCode, status);
        return std::nullopt;
    }
    return utf8FromUTF16(std::u16string_view(characters, length));
}

uint32_t DRKeyTranslator::keyCodeForLocalKey(const std::string& key)
{
    static std::map<std::string, uint32_t> table;
    static std::once_flag once;
    std::call_once(once, [] {
        for (uint16_t code : kLayoutKeyCodes)
            if (auto character = characterForKeyCode(code); character && !character->empty())
                table[*character] = code;
    });
    auto it = table.find(key);
    return it == table.end() ? kDRKeyCodeUnknown : it->second;
}

uint32_t DRKeyTranslator::keyCodeForSpecialKey(const std::string& key)
{
    auto it = specialKeys().find(key);
    return it == specialKeys().end() ? kDRKeyCodeUnknown : it->second;
}

uint32_t DRKeyTranslator::keyCodeForKey(const std::string& key)
{
    uint32_t code = keyCodeForLocalKey(key);
    return code != kDRKeyCodeUnknown ? code : keyCodeForSpecialKey(key);
}
