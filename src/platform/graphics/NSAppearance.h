// Appearances: the light or dark look that system colours and controls take.
// A window draws in its own appearance, or the application's; while it
// draws, that appearance is the current drawing appearance of the thread,
// and system colours resolve against it when they are used.
#pragma once

#include <string>

inline const std::string NSAppearanceNameAqua = "NSAppearanceNameAqua";
inline const std::string NSAppearanceNameDarkAqua = "NSAppearanceNameDarkAqua";
inline const std::string NSAppearanceNameVibrantLight = "NSAppearanceNameVibrantLight";
inline const std::string NSAppearanceNameVibrantDark = "NSAppearanceNameVibrantDark";

// Whether the named appearance is one of the dark ones.
bool NSAppearanceNameIsDark(const std::string& name);

// The appearance this thread draws in (Aqua when nothing is drawing).
const std::string& NSAppearanceCurrentDrawingName();

// Makes an appearance the current drawing appearance for its lifetime.
class NSAppearanceDrawingScope {
public:
    explicit NSAppearanceDrawingScope(const std::string& name);
    ~NSAppearanceDrawingScope();
    NSAppearanceDrawingScope(const NSAppearanceDrawingScope&) = delete;
    NSAppearanceDrawingScope& operator=(const NSAppearanceDrawingScope&) = delete;

private:
    std::string m_previous;
};
