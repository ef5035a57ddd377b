// Keys between the X server and the platform: X key symbols to the
// platform's virtual key codes (the U.S. layout's positions) and back, and
// the platform's modifiers as X modifiers (Command is Super, Option is
// Alt, Control is Control).
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace X11Keyboard {

// The virtual key code of a key symbol (letters in either case); none for
// symbols this desktop does not type.
std::optional<uint16_t> keyCodeOfSymbol(xcb_keysym_t symbol);
// The key symbol of a virtual key code (lower case for letters); 0 if none.
xcb_keysym_t symbolOfKeyCode(uint16_t keyCode);

// A key combination as people read it: "Super+Shift+Tab". Carbon modifier
// bits (Command 0x100, Shift 0x200, Option 0x800, Control 0x1000).
std::string combinationName(uint16_t keyCode, uint32_t carbonModifiers);

}

// Key symbol tables of a connection, read from the server when allocated,
// released with releaseKeySymbols.
void* allocateKeySymbols(xcb_connection_t* connection);
void releaseKeySymbols(void* symbols);
xcb_keysym_t keySymbolOf(void* symbols, xcb_keycode_t keyCode);
std::vector<xcb_keycode_t> keyCodesOf(void* symbols, xcb_keysym_t symbol);
