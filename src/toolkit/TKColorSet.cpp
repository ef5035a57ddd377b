#include "TKColorSet.h"

#include "TKStandardColors.h"

#include <foundation/Log.h>

Ref<TKColorSet> TKColorSet::standardSet()
{
    auto set = makeRef<TKColorSet>();
    auto white = [](double w, double a) { return NSColor::colorWithCalibratedWhite(w, a); };
    set->setColor(white(0.0, 0.8), "TKCS_text");
    set->setColor(white(0.0, 0.75), "TKCS_unselectedText");
    // The one standard key with a leading "k".
    set->setColor(white(0.3, 1.0), "kNTCS_disabledText");
    set->setColor(white(0.0, 0.9), "TKCS_blackImage");
    set->setColor(white(0.1, 1.0), "TKCS_mouseOverText");
    set->setColor(NSColor::blackColor()->colorWithAlphaComponent(0.1), "TKCS_mouseOverBackground");
    set->setColor(NSColor::colorWithCalibratedRed(0.3, 0.6, 0.8, 1.0), "TKCS_mouseOverControl");
    set->setColor(TKStandardColors::frameColor(false), "TKCS_frame");
    set->setColor(TKStandardColors::frameColor(true), "TKCS_frame_dimmed");
    set->setColor(TKStandardColors::frameAccentLineColor(false), "TKCS_whiteAccent");
    set->setColor(white(1.0, 0.1), "TKCS_lightWhiteAccent");
    set->setColor(white(0.35, 1.0), "TKCS_blackAccent");
    set->setColor(white(0.55, 1.0), "TKCS_blackAccent_dimmed");
    set->setColor(white(0.0, 1.0), "TKCS_black");
    set->setColor(white(1.0, 1.0), "TKCS_white");
    return set;
}

void TKColorSet::setColor(const Ref<NSColor>& color, const std::string& forKey) { m_colors[forKey] = color; }

Ref<NSColor> TKColorSet::colorForKey(const std::string& key) const
{
    auto found = m_colors.find(key);
    if (found == m_colors.end() || !found->second) {
        NSLog("-[%@ %@] nil:%@", "TKColorSet", "colorForKey:", key);
        return nullptr;
    }
    return found->second;
}

Ref<NSColor> TKColorSet::frameColor(bool dimmed) const
{
    return colorForKey(dimmed ? "TKCS_frame_dimmed" : "TKCS_frame");
}

Ref<NSColor> TKColorSet::blackAccentColor(bool dimmed) const
{
    return colorForKey(dimmed ? "TKCS_blackAccent_dimmed" : "TKCS_blackAccent");
}
