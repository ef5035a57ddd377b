// The one vocabulary of keyboard and mouse input, with the platform's names
// and values: virtual key codes (where a key sits, whatever the layout),
// input event types, the event modifier flags and the older modifier bits
// that hot keys and keyboard layouts use. Every layer names keys, types and
// modifiers from here.
#pragma once

#include <cstdint>

// Virtual key codes. Letters, digits and punctuation are named by the key
// they are on in the U.S. (ANSI) layout.
inline constexpr uint16_t kVK_ANSI_A = 0;
inline constexpr uint16_t kVK_ANSI_S = 1;
inline constexpr uint16_t kVK_ANSI_D = 2;
inline constexpr uint16_t kVK_ANSI_F = 3;
inline constexpr uint16_t kVK_ANSI_H = 4;
inline constexpr uint16_t kVK_ANSI_G = 5;
inline constexpr uint16_t kVK_ANSI_Z = 6;
inline constexpr uint16_t kVK_ANSI_X = 7;
inline constexpr uint16_t kVK_ANSI_C = 8;
inline constexpr uint16_t kVK_ANSI_V = 9;
inline constexpr uint16_t kVK_ISO_Section = 10;
inline constexpr uint16_t kVK_ANSI_B = 11;
inline constexpr uint16_t kVK_ANSI_Q = 12;
inline constexpr uint16_t kVK_ANSI_W = 13;
inline constexpr uint16_t kVK_ANSI_E = 14;
inline constexpr uint16_t kVK_ANSI_R = 15;
inline constexpr uint16_t kVK_ANSI_Y = 16;
inline constexpr uint16_t kVK_ANSI_T = 17;
inline constexpr uint16_t kVK_ANSI_1 = 18;
inline constexpr uint16_t kVK_ANSI_2 = 19;
inline constexpr uint16_t kVK_ANSI_3 = 20;
inline constexpr uint16_t kVK_ANSI_4 = 21;
inline constexpr uint16_t kVK_ANSI_6 = 22;
inline constexpr uint16_t kVK_ANSI_5 = 23;
inline constexpr uint16_t kVK_ANSI_Equal = 24;
inline constexpr uint16_t kVK_ANSI_9 = 25;
inline constexpr uint16_t kVK_ANSI_7 = 26;
inline constexpr uint16_t kVK_ANSI_Minus = 27;
inline constexpr uint16_t kVK_ANSI_8 = 28;
inline constexpr uint16_t kVK_ANSI_0 = 29;
inline constexpr uint16_t kVK_ANSI_RightBracket = 30;
inline constexpr uint16_t kVK_ANSI_O = 31;
inline constexpr uint16_t kVK_ANSI_U = 32;
inline constexpr uint16_t kVK_ANSI_LeftBracket = 33;
inline constexpr uint16_t kVK_ANSI_I = 34;
inline constexpr uint16_t kVK_ANSI_P = 35;
inline constexpr uint16_t kVK_Return = 36;
inline constexpr uint16_t kVK_ANSI_L = 37;
inline constexpr uint16_t kVK_ANSI_J = 38;
inline constexpr uint16_t kVK_ANSI_Quote = 39;
inline constexpr uint16_t kVK_ANSI_K = 40;
inline constexpr uint16_t kVK_ANSI_Semicolon = 41;
inline constexpr uint16_t kVK_ANSI_Backslash = 42;
inline constexpr uint16_t kVK_ANSI_Comma = 43;
inline constexpr uint16_t kVK_ANSI_Slash = 44;
inline constexpr uint16_t kVK_ANSI_N = 45;
inline constexpr uint16_t kVK_ANSI_M = 46;
inline constexpr uint16_t kVK_ANSI_Period = 47;
inline constexpr uint16_t kVK_Tab = 48;
inline constexpr uint16_t kVK_Space = 49;
inline constexpr uint16_t kVK_ANSI_Grave = 50;
inline constexpr uint16_t kVK_Delete = 51;
inline constexpr uint16_t kVK_Escape = 53;
inline constexpr uint16_t kVK_RightCommand = 54;
inline constexpr uint16_t kVK_Command = 55;
inline constexpr uint16_t kVK_Shift = 56;
inline constexpr uint16_t kVK_CapsLock = 57;
inline constexpr uint16_t kVK_Option = 58;
inline constexpr uint16_t kVK_Control = 59;
inline constexpr uint16_t kVK_RightShift = 60;
inline constexpr uint16_t kVK_RightOption = 61;
inline constexpr uint16_t kVK_RightControl = 62;
inline constexpr uint16_t kVK_Function = 63;
inline constexpr uint16_t kVK_F17 = 64;
inline constexpr uint16_t kVK_ANSI_KeypadDecimal = 65;
inline constexpr uint16_t kVK_ANSI_KeypadMultiply = 67;
inline constexpr uint16_t kVK_ANSI_KeypadPlus = 69;
inline constexpr uint16_t kVK_ANSI_KeypadClear = 71;
inline constexpr uint16_t kVK_ANSI_KeypadDivide = 75;
inline constexpr uint16_t kVK_ANSI_KeypadEnter = 76;
inline constexpr uint16_t kVK_ANSI_KeypadMinus = 78;
inline constexpr uint16_t kVK_F18 = 79;
inline constexpr uint16_t kVK_F19 = 80;
inline constexpr uint16_t kVK_ANSI_KeypadEquals = 81;
inline constexpr uint16_t kVK_ANSI_Keypad0 = 82;
inline constexpr uint16_t kVK_ANSI_Keypad1 = 83;
inline constexpr uint16_t kVK_ANSI_Keypad2 = 84;
inline constexpr uint16_t kVK_ANSI_Keypad3 = 85;
inline constexpr uint16_t kVK_ANSI_Keypad4 = 86;
inline constexpr uint16_t kVK_ANSI_Keypad5 = 87;
inline constexpr uint16_t kVK_ANSI_Keypad6 = 88;
inline constexpr uint16_t kVK_ANSI_Keypad7 = 89;
inline constexpr uint16_t kVK_F20 = 90;
inline constexpr uint16_t kVK_ANSI_Keypad8 = 91;
inline constexpr uint16_t kVK_ANSI_Keypad9 = 92;
inline constexpr uint16_t kVK_F5 = 96;
inline constexpr uint16_t kVK_F6 = 97;
inline constexpr uint16_t kVK_F7 = 98;
inline constexpr uint16_t kVK_F3 = 99;
inline constexpr uint16_t kVK_F8 = 100;
inline constexpr uint16_t kVK_F9 = 101;
inline constexpr uint16_t kVK_F11 = 103;
inline constexpr uint16_t kVK_F13 = 105;
inline constexpr uint16_t kVK_F16 = 106;
inline constexpr uint16_t kVK_F14 = 107;
inline constexpr uint16_t kVK_F10 = 109;
inline constexpr uint16_t kVK_F12 = 111;
inline constexpr uint16_t kVK_F15 = 113;
inline constexpr uint16_t kVK_Help = 114;
inline constexpr uint16_t kVK_Home = 115;
inline constexpr uint16_t kVK_PageUp = 116;
inline constexpr uint16_t kVK_ForwardDelete = 117;
inline constexpr uint16_t kVK_F4 = 118;
inline constexpr uint16_t kVK_End = 119;
inline constexpr uint16_t kVK_F2 = 120;
inline constexpr uint16_t kVK_PageDown = 121;
inline constexpr uint16_t kVK_F1 = 122;
inline constexpr uint16_t kVK_LeftArrow = 123;
inline constexpr uint16_t kVK_RightArrow = 124;
inline constexpr uint16_t kVK_DownArrow = 125;
inline constexpr uint16_t kVK_UpArrow = 126;

// The function keys F1 to F20 in order.
inline constexpr uint16_t kVK_FunctionKeys[] = { kVK_F1, kVK_F2, kVK_F3, kVK_F4, kVK_F5, kVK_F6, kVK_F7, kVK_F8,
    kVK_F9, kVK_F10, kVK_F11, kVK_F12, kVK_F13, kVK_F14, kVK_F15, kVK_F16, kVK_F17, kVK_F18, kVK_F19, kVK_F20 };

// Input event types as they travel through the window server.
using CGEventType = uint32_t;
inline constexpr CGEventType kCGEventNull = 0;
inline constexpr CGEventType kCGEventLeftMouseDown = 1;
inline constexpr CGEventType kCGEventLeftMouseUp = 2;
inline constexpr CGEventType kCGEventRightMouseDown = 3;
inline constexpr CGEventType kCGEventRightMouseUp = 4;
inline constexpr CGEventType kCGEventMouseMoved = 5;
inline constexpr CGEventType kCGEventLeftMouseDragged = 6;
inline constexpr CGEventType kCGEventRightMouseDragged = 7;
inline constexpr CGEventType kCGEventKeyDown = 10;
inline constexpr CGEventType kCGEventKeyUp = 11;
inline constexpr CGEventType kCGEventFlagsChanged = 12;
inline constexpr CGEventType kCGEventScrollWheel = 22;
inline constexpr CGEventType kCGEventOtherMouseDown = 25;
inline constexpr CGEventType kCGEventOtherMouseUp = 26;
inline constexpr CGEventType kCGEventOtherMouseDragged = 27;
inline constexpr CGEventType kCGEventTapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr CGEventType kCGEventTapDisabledByUserInput = 0xFFFFFFFF;

// Event modifier flags: which modifier keys are held with an event.
using CGEventFlags = uint64_t;
inline constexpr CGEventFlags kCGEventFlagMaskAlphaShift = 0x00010000;
inline constexpr CGEventFlags kCGEventFlagMaskShift = 0x00020000;
inline constexpr CGEventFlags kCGEventFlagMaskControl = 0x00040000;
inline constexpr CGEventFlags kCGEventFlagMaskAlternate = 0x00080000;
inline constexpr CGEventFlags kCGEventFlagMaskCommand = 0x00100000;
inline constexpr CGEventFlags kCGEventFlagMaskNumericPad = 0x00200000;
inline constexpr CGEventFlags kCGEventFlagMaskHelp = 0x00400000;
inline constexpr CGEventFlags kCGEventFlagMaskSecondaryFn = 0x00800000;
inline constexpr CGEventFlags kCGEventFlagMaskNonCoalesced = 0x00000100;

// The older modifier word of hot keys and keyboard layouts: bit numbers,
// then masks.
inline constexpr uint32_t cmdKeyBit = 8;
inline constexpr uint32_t shiftKeyBit = 9;
inline constexpr uint32_t alphaLockBit = 10;
inline constexpr uint32_t optionKeyBit = 11;
inline constexpr uint32_t controlKeyBit = 12;
inline constexpr uint32_t kEventKeyModifierFnBit = 17;
inline constexpr uint32_t cmdKey = 1u << cmdKeyBit;
inline constexpr uint32_t shiftKey = 1u << shiftKeyBit;
inline constexpr uint32_t alphaLock = 1u << alphaLockBit;
inline constexpr uint32_t optionKey = 1u << optionKeyBit;
inline constexpr uint32_t controlKey = 1u << controlKeyBit;
inline constexpr uint32_t rightShiftKey = 0x2000;
inline constexpr uint32_t rightOptionKey = 0x4000;
inline constexpr uint32_t rightControlKey = 0x8000;
inline constexpr uint32_t kEventKeyModifierFnMask = 1u << kEventKeyModifierFnBit;
