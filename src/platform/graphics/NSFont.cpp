#include "NSFont.h"

#include <foundation/Format.h>

#include <pango/pangocairo.h>

namespace {

// The name the system fonts go by; fontWithName knows it too, so a font
// rebuilt from a system font's name at another size keeps its face.
constexpr const char* kSystemFamily = "SystemFont";

// The faces that stand in for the families the interface is laid out in.
// Nimbus Sans has Helvetica's metrics, so a line measures as it was designed
// to; Liberation Sans is next closest, and the desktop's sans-serif face is
// the last resort. The system font takes the same face: the panel's labels
// and badges were measured in a Helvetica-wide face.
constexpr const char* kHelveticaFaces = "Nimbus Sans,Liberation Sans,Sans";

std::string faceFamilies(const std::string& family)
{
    static const char* const kHelveticaLike[] = { kSystemFamily, "Helvetica", "Helvetica Neue", "HelveticaNeue" };
    for (const char* name : kHelveticaLike) {
        if (family == name)
            return kHelveticaFaces;
    }
    return family;
}

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

} // namespace

Ref<NSFont> NSFont::fontWithName(const std::string& name, CGFloat size)
{
    if (name.empty() || !(size > 0))
        return nullptr;
    std::string family = name;
    std::string style;
    if (auto dash = name.find('-'); dash != std::string::npos && dash > 0) {
        family = name.substr(0, dash);
        style = name.substr(dash + 1);
    }
    bool bold = contains(style, "Bold") || contains(style, "Black") || contains(style, "Heavy");
    bool italic = contains(style, "Italic") || contains(style, "Oblique");
    return makeRef<NSFont>(name, family, bold, italic, size);
}

Ref<NSFont> NSFont::systemFontOfSize(CGFloat size)
{
    return makeRef<NSFont>("SystemFont", kSystemFamily, false, false, size > 0 ? size : systemFontSize());
}

Ref<NSFont> NSFont::boldSystemFontOfSize(CGFloat size)
{
    return makeRef<NSFont>("SystemFont-Bold", kSystemFamily, true, false, size > 0 ? size : systemFontSize());
}

NSFont::NSFont(std::string name, std::string family, bool bold, bool italic, CGFloat size)
    : m_name(std::move(name))
    , m_family(std::move(family))
    , m_bold(bold)
    , m_italic(italic)
    , m_size(size)
{
    m_description = pango_font_description_new();
    pango_font_description_set_family(m_description, faceFamilies(m_family).c_str());
    pango_font_description_set_weight(m_description, m_bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(m_description, m_italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(m_description, m_size * PANGO_SCALE);
}

NSFont::~NSFont() { pango_font_description_free(m_description); }

static PangoFontMetrics* metricsFor(const PangoFontDescription* description)
{
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* context = pango_font_map_create_context(map);
    PangoFontMetrics* metrics = pango_context_get_metrics(context, description, nullptr);
    g_object_unref(context);
    return metrics;
}

CGFloat NSFont::ascender() const
{
    PangoFontMetrics* metrics = metricsFor(m_description);
    CGFloat value = double(pango_font_metrics_get_ascent(metrics)) / PANGO_SCALE;
    pango_font_metrics_unref(metrics);
    return value;
}

CGFloat NSFont::descender() const
{
    PangoFontMetrics* metrics = metricsFor(m_description);
    CGFloat value = -double(pango_font_metrics_get_descent(metrics)) / PANGO_SCALE;
    pango_font_metrics_unref(metrics);
    return value;
}

bool NSFont::isEqual(const NSObject* other) const
{
    auto* font = dynamic_cast<const NSFont*>(other);
    return font && font->m_name == m_name && font->m_size == m_size;
}

std::string NSFont::description() const { return stringWithFormat("%s %g pt", m_name.c_str(), m_size); }
