// The codes of the panel's settings: "LayoutType", "ThemeIndex" and
// "ShowOnScreen".
#pragma once

#include <cstdint>

using SwitcherLayout = int32_t;
enum : SwitcherLayout {
    SwitcherLayoutGrid = 0,
    SwitcherLayoutList = 1,
    SwitcherLayoutListWithoutSecondColumn = 2,
    SwitcherLayoutCarousel = 3,
    // No layout loaded yet.
    SwitcherLayoutNone = 99,
};

using SwitcherTheme = int32_t;
enum : SwitcherTheme {
    SwitcherThemeLight = 0,
    SwitcherThemeDark = 1,
    SwitcherThemeUltraDark = 2,
};

using ScreenChoice = int32_t;
enum : ScreenChoice {
    ScreenChoiceMain = 0,
    ScreenChoiceFirst = 1,
    ScreenChoiceUnderMouse = 2,
};
