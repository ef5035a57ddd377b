#include "TextInputSources.h"

const std::string kTISPropertyUnicodeKeyLayoutData = "TISPropertyUnicodeKeyLayoutData";
const std::string kTISPropertyInputSourceID = "TISPropertyInputSourceID";
const std::string kTISPropertyLocalizedName = "TISPropertyLocalizedName";

TISInputSourceRef TISCopyCurrentASCIICapableKeyboardLayoutInputSource()
{
    return makeRef<TISInputSource>(KeyboardLayout::unitedStates());
}

TISInputSourceRef TISCopyCurrentKeyboardLayoutInputSource()
{
    return TISCopyCurrentASCIICapableKeyboardLayoutInputSource();
}

Value TISGetInputSourceProperty(const TISInputSourceRef& source, const std::string& propertyKey)
{
    if (!source)
        return {};
    if (propertyKey == kTISPropertyUnicodeKeyLayoutData)
        return Value(source->layoutData());
    if (propertyKey == kTISPropertyInputSourceID)
        return Value(source->layoutData()->layout().identifier());
    if (propertyKey == kTISPropertyLocalizedName)
        return Value(source->layoutData()->layout().localizedName());
    return {};
}

uint8_t LMGetKbdType() { return kKeyboardANSI; }

OSStatus UCKeyTranslate(const UCKeyboardLayout* keyLayoutPtr, uint16_t virtualKeyCode, uint16_t keyAction,
    uint32_t modifierKeyState, uint32_t, OptionBits keyTranslateOptions, uint32_t* deadKeyState,
    size_t maxStringLength, size_t* actualStringLength, char16_t unicodeString[])
{
    if (actualStringLength)
        *actualStringLength = 0;
    if (!keyLayoutPtr || !deadKeyState || !actualStringLength || keyAction > kUCKeyActionDisplay
        || (maxStringLength && !unicodeString))
        return paramErr;
    bool useDeadKeys = !(keyTranslateOptions & kUCKeyTranslateNoDeadKeysMask);
    auto text = keyLayoutPtr->layout().translate(virtualKeyCode, static_cast<KeyboardLayout::Action>(keyAction),
        modifierKeyState & 0xFF, useDeadKeys, *deadKeyState);
    size_t count = std::min(text.size(), maxStringLength);
    for (size_t i = 0; i < count; ++i)
        unicodeString[i] = text[i];
    *actualStringLength = count;
    return noErr;
}
