#include "NSAppearance.h"

namespace {
thread_local std::string tCurrentDrawingName = NSAppearanceNameAqua;
}

bool NSAppearanceNameIsDark(const std::string& name)
{
    return name == NSAppearanceNameDarkAqua || name == NSAppearanceNameVibrantDark;
}

const std::string& NSAppearanceCurrentDrawingName() { return tCurrentDrawingName; }

NSAppearanceDrawingScope::NSAppearanceDrawingScope(const std::string& name)
    : m_previous(tCurrentDrawingName)
{
    tCurrentDrawingName = name.empty() ? NSAppearanceNameAqua : name;
}

NSAppearanceDrawingScope::~NSAppearanceDrawingScope() { tCurrentDrawingName = m_previous; }
