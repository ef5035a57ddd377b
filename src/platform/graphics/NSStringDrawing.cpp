#include "NSStringDrawing.h"

#include "NSGraphicsContext.h"

#include <cairo.h>
#include <cmath>
#include <mutex>
#include <unordered_map>
#include <pango/pangocairo.h>

namespace {

// One Pango context per thread for layouts, with metrics that do not
// depend on the device, so that measuring and drawing agree.
PangoContext* layoutContext()
{
    thread_local struct Holder {
        PangoContext* context;
        Holder()
        {
            context = pango_font_map_create_context(pango_cairo_font_map_get_default());
            cairo_font_options_t* options = cairo_font_options_create();
            cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
            cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
            cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
            pango_cairo_context_set_font_options(context, options);
            cairo_font_options_destroy(options);
        }
        ~Holder() { g_object_unref(context); }
    } holder;
    return holder.context;
}

Ref<NSFont> fontOrDefault(const NSStringAttributes& a) { return a.font ? a.font : NSFont::systemFontOfSize(12); }

guint16 channel16(CGFloat v) { return guint16(std::lround(std::clamp(v, 0.0, 1.0) * 65535)); }

// The glyphs' colour, or (background) the colour behind them, with its alpha.
void insertColour(PangoAttrList* list, const Ref<NSColor>& colour, guint start, guint end, bool background = false)
{
    guint16 r = channel16(colour->redComponent()), g = channel16(colour->greenComponent());
    guint16 b = channel16(colour->blueComponent());
    guint16 a = std::max<guint16>(1, channel16(colour->alphaComponent()));
    PangoAttribute* rgb = background ? pango_attr_background_new(r, g, b) : pango_attr_foreground_new(r, g, b);
    rgb->start_index = start, rgb->end_index = end;
    pango_attr_list_insert(list, rgb);
    PangoAttribute* alpha = background ? pango_attr_background_alpha_new(a) : pango_attr_foreground_alpha_new(a);
    alpha->start_index = start, alpha->end_index = end;
    pango_attr_list_insert(list, alpha);
}

// What a context was last brought to for drawing: the linear part of the
// transform and the font options of the cairo context and its surface.
struct DrawingState {
    double xx, yx, xy, yy;
    cairo_font_options_t* options;
    ~DrawingState() { cairo_font_options_destroy(options); }
};

GQuark drawingStateQuark()
{
    static GQuark quark = g_quark_from_static_string("qv-drawing-state");
    return quark;
}

// Brings the layout's context to the drawing's transform and surface, as
// pango_cairo_update_layout does; but a context already brought there is left
// as it is. Pango counts every update as a change, after which every layout
// of the context is laid out again: for each label once to measure it and
// once more to draw it.
void updateLayoutForDrawing(cairo_t* cr, PangoLayout* layout)
{
    PangoContext* context = pango_layout_get_context(layout);
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_get_font_options(cr, options);
    cairo_font_options_t* surface = cairo_font_options_create();
    cairo_surface_get_font_options(cairo_get_target(cr), surface);
    cairo_font_options_merge(options, surface);
    cairo_font_options_destroy(surface);
    auto* last = static_cast<DrawingState*>(g_object_get_qdata(G_OBJECT(context), drawingStateQuark()));
    if (last && last->xx == m.xx && last->yx == m.yx && last->xy == m.xy && last->yy == m.yy
        && cairo_font_options_equal(last->options, options)) {
        cairo_font_options_destroy(options);
        return;
    }
    pango_cairo_update_layout(cr, layout);
    g_object_set_qdata_full(G_OBJECT(context), drawingStateQuark(),
        new DrawingState { m.xx, m.yx, m.xy, m.yy, options },
        [](gpointer state) { delete static_cast<DrawingState*>(state); });
}

} // namespace

TextLayout::TextLayout(const std::string& text, const NSStringAttributes& attributes)
    : m_text(text)
    , m_base(attributes)
{
    m_layout = pango_layout_new(layoutContext());
    pango_layout_set_text(m_layout, m_text.c_str(), int(m_text.size()));
    pango_layout_set_font_description(m_layout, fontOrDefault(m_base)->pangoDescription());
    PangoAttrList* list = pango_attr_list_new();
    pango_layout_set_attributes(m_layout, list);
    pango_attr_list_unref(list);
    if (m_base.underlineStyle || m_base.backgroundColor)
        addAttributes({ 0, utf16Length(m_text) }, { nullptr, nullptr, m_base.underlineStyle, m_base.backgroundColor });
}

TextLayout::~TextLayout() { g_object_unref(m_layout); }

void TextLayout::addAttributes(NSRange range, const NSStringAttributes& attributes)
{
    guint start = guint(utf8OffsetForUTF16(m_text, range.location));
    guint end = guint(utf8OffsetForUTF16(m_text, range.location + range.length));
    if (start >= end)
        return;
    PangoAttrList* list = pango_layout_get_attributes(m_layout);
    if (attributes.font) {
        PangoAttribute* font = pango_attr_font_desc_new(attributes.font->pangoDescription());
        font->start_index = start, font->end_index = end;
        pango_attr_list_change(list, font);
    }
    if (attributes.foregroundColor)
        insertColour(list, attributes.foregroundColor, start, end);
    if (attributes.backgroundColor)
        insertColour(list, attributes.backgroundColor, start, end, true);
    if (attributes.underlineStyle) {
        PangoAttribute* underline = pango_attr_underline_new(
            attributes.underlineStyle == 9 ? PANGO_UNDERLINE_DOUBLE : PANGO_UNDERLINE_SINGLE);
        underline->start_index = start, underline->end_index = end;
        pango_attr_list_change(list, underline);
    }
    pango_layout_context_changed(m_layout);
}

void TextLayout::setMaximumWidth(CGFloat width, NSLineBreakMode mode)
{
    pango_layout_set_width(m_layout, int(std::max(0.0, width) * PANGO_SCALE));
    switch (mode) {
    case NSLineBreakByWordWrapping:
        pango_layout_set_wrap(m_layout, PANGO_WRAP_WORD);
        pango_layout_set_ellipsize(m_layout, PANGO_ELLIPSIZE_NONE);
        break;
    case NSLineBreakByCharWrapping:
        pango_layout_set_wrap(m_layout, PANGO_WRAP_CHAR);
        pango_layout_set_ellipsize(m_layout, PANGO_ELLIPSIZE_NONE);
        break;
    case NSLineBreakByClipping:
        // Clipping keeps one line; drawing cuts it at the width.
        pango_layout_set_width(m_layout, -1);
        pango_layout_set_ellipsize(m_layout, PANGO_ELLIPSIZE_NONE);
        break;
    case NSLineBreakByTruncatingHead:
        pango_layout_set_ellipsize(m_layout, PANGO_ELLIPSIZE_START);
        break;
    case NSLineBreakByTruncatingTail:
        pango_layout_set_ellipsize(m_layout, PANGO_ELLIPSIZE_END);
        break;
    case NSLineBreakByTruncatingMiddle:
        pango_layout_set_ellipsize(m_layout, PANGO_ELLIPSIZE_MIDDLE);
        break;
    }
}

CGSize TextLayout::size() const
{
    PangoRectangle logical;
    pango_layout_get_extents(m_layout, nullptr, &logical);
    return CGSizeMake(double(logical.width) / PANGO_SCALE, double(logical.height) / PANGO_SCALE);
}

void TextLayout::drawAtPoint(const CGContextRef& context, CGPoint point, bool flipped) const
{
    if (!context || m_text.empty())
        return;
    CGSize s = size();
    Ref<NSColor> colour = m_base.foregroundColor ? m_base.foregroundColor : NSColor::blackColor();
    context->draw([&](cairo_t* cr) {
        cairo_save(cr);
        if (flipped) {
            cairo_translate(cr, point.x, point.y);
        } else {
            // Pango lays text out downwards; turn the y-up space over.
            cairo_translate(cr, point.x, point.y + s.height);
            cairo_scale(cr, 1, -1);
        }
        cairo_push_group(cr);
        cairo_set_source_rgba(cr, colour->redComponent(), colour->greenComponent(), colour->blueComponent(),
            colour->alphaComponent());
        updateLayoutForDrawing(cr, m_layout);
        pango_cairo_show_layout(cr, m_layout);
        cairo_pop_group_to_source(cr);
        context->paintSource();
        cairo_restore(cr);
    });
}

// The same text in the same font always measures the same (underlines and
// colours change no size), and short texts are measured again and again:
// the badges' numbers and the window titles at every opening of the panel.
// Their sizes are kept, on every thread, up to a bound past which the whole
// store starts again.
CGSize sizeWithAttributes(const std::string& text, const NSStringAttributes& attributes)
{
    constexpr size_t kKeptSizes = 4096;
    constexpr size_t kLongestKeptText = 256;
    if (text.size() > kLongestKeptText)
        return TextLayout(text, attributes).size();
    char* font = pango_font_description_to_string(fontOrDefault(attributes)->pangoDescription());
    std::string key = std::string(font) + '\n' + text;
    g_free(font);
    static std::mutex mutex;
    static std::unordered_map<std::string, CGSize> sizes;
    {
        std::lock_guard lock(mutex);
        if (auto kept = sizes.find(key); kept != sizes.end())
            return kept->second;
    }
    CGSize size = TextLayout(text, attributes).size();
    std::lock_guard lock(mutex);
    if (sizes.size() >= kKeptSizes)
        sizes.clear();
    sizes.emplace(std::move(key), size);
    return size;
}

void drawAtPoint(const std::string& text, CGPoint point, const NSStringAttributes& attributes)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    TextLayout(text, attributes).drawAtPoint(context->CGContext(), point, context->isFlipped());
}

void drawInRect(const std::string& text, CGRect rect, const NSStringAttributes& attributes)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    TextLayout layout(text, attributes);
    layout.setMaximumWidth(rect.size.width, NSLineBreakByTruncatingTail);
    CGSize s = layout.size();
    const auto& cg = context->CGContext();
    CGContextStateSaver saver(cg);
    CGContextClipToRect(cg, rect);
    CGPoint origin = context->isFlipped() ? rect.origin
                                          : CGPointMake(rect.origin.x, rect.origin.y + rect.size.height - s.height);
    layout.drawAtPoint(cg, origin, context->isFlipped());
}
