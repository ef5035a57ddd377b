// Named interface colours: a dictionary of colours under string keys, with
// the standard set the toolkit's shapes draw with (keys beginning with
// TKCS_) and shortcuts for the colours that have a dimmed variant.
#pragma once

#include <graphics/NSColor.h>

#include <map>
#include <string>

class TKColorSet : public NSObject {
public:
    // A fresh set filled with the standard colours at every call.
    static Ref<TKColorSet> standardSet();

    // Replaces a colour stored under the key earlier.
    void setColor(const Ref<NSColor>& color, const std::string& forKey);
    // Null, with one log line naming the key, when the key holds no colour.
    Ref<NSColor> colorForKey(const std::string& key) const;
    // "TKCS_frame_dimmed" or "TKCS_frame".
    Ref<NSColor> frameColor(bool dimmed) const;
    // "TKCS_blackAccent_dimmed" or "TKCS_blackAccent".
    Ref<NSColor> blackAccentColor(bool dimmed) const;

    std::map<std::string, Ref<NSColor>>& colors() { return m_colors; }
    void setColors(std::map<std::string, Ref<NSColor>> colors) { m_colors = std::move(colors); }

private:
    std::map<std::string, Ref<NSColor>> m_colors;
};
