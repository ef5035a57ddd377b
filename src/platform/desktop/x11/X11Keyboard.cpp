#include "X11Keyboard.h"

#include <xcb/xcb_keysyms.h>

#define XK_MISCELLANY
#define XK_LATIN1
#include <X11/keysymdef.h>

#include <cstdlib>

namespace {

struct KeyEntry {
    uint16_t keyCode;
    xcb_keysym_t symbol;
    const char* name;
};

// The U.S. layout's keys by virtual key code.
constexpr KeyEntry kKeys[] = {
    { 0, XK_a, "A" }, { 1, XK_s, "S" }, { 2, XK_d, "D" }, { 3, XK_f, "F" }, { 4, XK_h, "H" }, { 5, XK_g, "G" },
    { 6, XK_z, "Z" }, { 7, XK_x, "X" }, { 8, XK_c, "C" }, { 9, XK_v, "V" }, { 11, XK_b, "B" }, { 12, XK_q, "Q" },
    { 13, XK_w, "W" }, { 14, XK_e, "E" }, { 15, XK_r, "R" }, { 16, XK_y, "Y" }, { 17, XK_t, "T" },
    { 18, XK_1, "1" }, { 19, XK_2, "2" }, { 20, XK_3, "3" }, { 21, XK_4, "4" }, { 22, XK_6, "6" },
    { 23, XK_5, "5" }, { 24, XK_equal, "=" }, { 25, XK_9, "9" }, { 26, XK_7, "7" }, { 27, XK_minus, "-" },
    { 28, XK_8, "8" }, { 29, XK_0, "0" }, { 30, XK_bracketright, "]" }, { 31, XK_o, "O" }, { 32, XK_u, "U" },
    { 33, XK_bracketleft, "[" }, { 34, XK_i, "I" }, { 35, XK_p, "P" }, { 36, XK_Return, "Return" },
    { 37, XK_l, "L" }, { 38, XK_j, "J" }, { 39, XK_apostrophe, "'" }, { 40, XK_k, "K" },
    { 41, XK_semicolon, ";" }, { 42, XK_backslash, "\\" }, { 43, XK_comma, "," }, { 44, XK_slash, "/" },
    { 45, XK_n, "N" }, { 46, XK_m, "M" }, { 47, XK_period, "." }, { 48, XK_Tab, "Tab" }, { 49, XK_space, "Space" },
    { 50, XK_grave, "`" }, { 51, XK_BackSpace, "BackSpace" }, { 53, XK_Escape, "Escape" },
    { 54, XK_Super_R, "Super_R" }, { 55, XK_Super_L, "Super_L" }, { 56, XK_Shift_L, "Shift_L" },
    { 57, XK_Caps_Lock, "Caps_Lock" }, { 58, XK_Alt_L, "Alt_L" }, { 59, XK_Control_L, "Control_L" },
    { 60, XK_Shift_R, "Shift_R" }, { 61, XK_Alt_R, "Alt_R" }, { 62, XK_Control_R, "Control_R" },
    { 96, XK_F5, "F5" }, { 97, XK_F6, "F6" }, { 98, XK_F7, "F7" }, { 99, XK_F3, "F3" }, { 100, XK_F8, "F8" },
    { 101, XK_F9, "F9" }, { 103, XK_F11, "F11" }, { 109, XK_F10, "F10" }, { 111, XK_F12, "F12" },
    { 115, XK_Home, "Home" }, { 116, XK_Prior, "Prior" }, { 117, XK_Delete, "Delete" }, { 118, XK_F4, "F4" },
    { 119, XK_End, "End" }, { 120, XK_F2, "F2" }, { 121, XK_Next, "Next" }, { 122, XK_F1, "F1" },
    { 123, XK_Left, "Left" }, { 124, XK_Right, "Right" }, { 125, XK_Down, "Down" }, { 126, XK_Up, "Up" },
};

}

namespace X11Keyboard {

std::optional<uint16_t> keyCodeOfSymbol(xcb_keysym_t symbol)
{
    if (symbol >= XK_A && symbol <= XK_Z)
        symbol += XK_a - XK_A;
    // Meta shares the Alt keys on most keyboards.
    if (symbol == XK_Meta_L)
        symbol = XK_Alt_L;
    else if (symbol == XK_Meta_R)
        symbol = XK_Alt_R;
    for (const auto& key : kKeys)
        if (key.symbol == symbol)
            return key.keyCode;
    return std::nullopt;
}

xcb_keysym_t symbolOfKeyCode(uint16_t keyCode)
{
    for (const auto& key : kKeys)
        if (key.keyCode == keyCode)
            return key.symbol;
    return 0;
}

std::string combinationName(uint16_t keyCode, uint32_t carbonModifiers)
{
    std::string name;
    if (carbonModifiers & 0x1000)
        name += "Control+";
    if (carbonModifiers & 0x800)
        name += "Alt+";
    if (carbonModifiers & 0x200)
        name += "Shift+";
    if (carbonModifiers & 0x100)
        name += "Super+";
    for (const auto& key : kKeys)
        if (key.keyCode == keyCode)
            return name + key.name;
    return name + "key " + std::to_string(keyCode);
}

}

void* allocateKeySymbols(xcb_connection_t* connection)
{
    auto* symbols = xcb_key_symbols_alloc(connection);
    // The first lookup reads the server's whole table: done here, so that
    // every later one only reads memory.
    if (symbols)
        xcb_key_symbols_get_keysym(symbols, xcb_get_setup(connection)->min_keycode, 0);
    return symbols;
}

void releaseKeySymbols(void* symbols) { xcb_key_symbols_free(static_cast<xcb_key_symbols_t*>(symbols)); }

xcb_keysym_t keySymbolOf(void* symbols, xcb_keycode_t keyCode)
{
    return xcb_key_symbols_get_keysym(static_cast<xcb_key_symbols_t*>(symbols), keyCode, 0);
}

std::vector<xcb_keycode_t> keyCodesOf(void* symbols, xcb_keysym_t symbol)
{
    std::vector<xcb_keycode_t> codes;
    xcb_keycode_t* list = xcb_key_symbols_get_keycode(static_cast<xcb_key_symbols_t*>(symbols), symbol);
    for (xcb_keycode_t* p = list; p && *p != XCB_NO_SYMBOL; ++p)
        codes.push_back(*p);
    free(list);
    return codes;
}
