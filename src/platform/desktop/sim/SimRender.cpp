// What the simulated window server shows: generated window content and the
// picture of the whole desktop.
#include "SimDesktop.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Largest side of a generated picture; bigger windows are drawn at this size.
constexpr int kMaxContentSide = 8192;
constexpr double kTitleBarHeight = 28;

struct Rgb {
    double r, g, b;
};

Rgb hsl(double hue, double saturation, double lightness)
{
    auto f = [&](double n) {
        double k = std::fmod(n + hue / 30.0, 12.0);
        double a = saturation * std::min(lightness, 1 - lightness);
        return lightness - a * std::max(-1.0, std::min({ k - 3, 9 - k, 1.0 }));
    };
    return { f(0), f(8), f(4) };
}

DesktopImage fromSurface(cairo_surface_t* surface)
{
    cairo_surface_flush(surface);
    return DesktopImage::fromARGB32(cairo_image_surface_get_data(surface), cairo_image_surface_get_width(surface),
        cairo_image_surface_get_height(surface), static_cast<size_t>(cairo_image_surface_get_stride(surface)));
}

cairo_surface_t* toSurface(const DesktopImage& image)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        return surface;
    cairo_surface_flush(surface);
    int stride = cairo_image_surface_get_stride(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < image.height; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
        const uint8_t* in = image.rgba.data() + static_cast<size_t>(y) * image.width * 4;
        for (int x = 0; x < image.width; ++x)
            row[x] = (uint32_t(in[x * 4 + 3]) << 24) | (uint32_t(in[x * 4]) << 16) | (uint32_t(in[x * 4 + 1]) << 8) | in[x * 4 + 2];
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

void drawWindow(cairo_t* cr, const DesktopWindow& w, const std::string& appName, double width, double height)
{
    // Every window gets its own hue and stripe angle so that previews can be
    // told apart at a glance.
    double hue = std::fmod(w.number * 137.508, 360.0);
    Rgb body = hsl(hue, 0.55, 0.82);
    Rgb stripe = hsl(hue, 0.55, 0.68);
    cairo_set_source_rgb(cr, body.r, body.g, body.b);
    cairo_paint(cr);

    cairo_save(cr);
    cairo_rectangle(cr, 0, kTitleBarHeight, width, std::max(0.0, height - kTitleBarHeight));
    cairo_clip(cr);
    cairo_set_source_rgb(cr, stripe.r, stripe.g, stripe.b);
    cairo_set_line_width(cr, 10);
    double angle = (w.number % 4) * M_PI / 4 + M_PI / 8;
    double span = width + height;
    cairo_translate(cr, width / 2, height / 2);
    cairo_rotate(cr, angle);
    for (double x = -span; x < span; x += 36) {
        cairo_move_to(cr, x, -span);
        cairo_line_to(cr, x, span);
    }
    cairo_stroke(cr);
    cairo_restore(cr);

    cairo_set_source_rgb(cr, 0.93, 0.93, 0.93);
    cairo_rectangle(cr, 0, 0, width, std::min(height, kTitleBarHeight));
    cairo_fill(cr);
    const Rgb lights[3] = { { 0.99, 0.37, 0.34 }, { 0.99, 0.74, 0.18 }, { 0.16, 0.78, 0.25 } };
    for (int i = 0; i < 3; ++i) {
        cairo_set_source_rgb(cr, lights[i].r, lights[i].g, lights[i].b);
        cairo_arc(cr, 14 + 20 * i, 14, 6, 0, 2 * M_PI);
        cairo_fill(cr);
    }
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 13);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    std::string title = w.title.value_or("");
    cairo_text_extents_t extents;
    cairo_text_extents(cr, title.c_str(), &extents);
    cairo_move_to(cr, std::max(70.0, (width - extents.x_advance) / 2), 19);
    cairo_show_text(cr, title.c_str());

    // The window's number and application in the middle.
    std::string label = "#" + std::to_string(w.number);
    double size = std::clamp(std::min(width, height) / 4, 10.0, 140.0);
    cairo_set_font_size(cr, size);
    cairo_text_extents(cr, label.c_str(), &extents);
    cairo_set_source_rgba(cr, 0.1, 0.1, 0.1, 0.75);
    cairo_move_to(cr, (width - extents.x_advance) / 2, height / 2 + extents.height / 2);
    cairo_show_text(cr, label.c_str());
    cairo_set_font_size(cr, std::max(9.0, size / 3));
    cairo_text_extents(cr, appName.c_str(), &extents);
    cairo_move_to(cr, (width - extents.x_advance) / 2, height / 2 + size * 0.9);
    cairo_show_text(cr, appName.c_str());
}

}

SimDesktop::GeneratedContent SimDesktop::generatedContentLocked(const DesktopWindow& w) const
{
    // A window can be far larger than anything that shows it; its picture
    // costs at most what the screens together can show. (NaN sizes clamp to
    // the smallest picture.)
    CGRect screens = CGRectNull;
    for (const auto& s : m_screens)
        screens = CGRectUnion(screens, s.frame);
    double maxWidth = CGRectIsNull(screens) ? kMaxContentSide : std::clamp(screens.size.width, 1.0, double(kMaxContentSide));
    double maxHeight = CGRectIsNull(screens) ? kMaxContentSide : std::clamp(screens.size.height, 1.0, double(kMaxContentSide));
    auto side = [](double length, double most) {
        return std::isnan(length) ? 1 : static_cast<int>(std::clamp(std::round(length), 1.0, most));
    };
    GeneratedContent content;
    content.window = w;
    content.width = side(w.frame.size.width, maxWidth);
    content.height = side(w.frame.size.height, maxHeight);
    auto app = m_apps.find(w.pid);
    content.appName = app != m_apps.end() ? app->second.app.name : std::string();
    // What the content shows: anything else may change without redrawing.
    content.key = std::to_string(content.width) + "x" + std::to_string(content.height) + "|"
        + (w.title ? "t" + *w.title : "-") + "|" + content.appName;
    return content;
}

SimDesktop::SurfaceRef SimDesktop::drawContent(const GeneratedContent& content)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, content.width, content.height);
    cairo_t* cr = cairo_create(surface);
    drawWindow(cr, content.window, content.appName, content.width, content.height);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return SurfaceRef(surface, cairo_surface_destroy);
}

SimDesktop::SurfaceRef SimDesktop::cachedContentLocked(const GeneratedContent& content) const
{
    auto cached = m_contentCache.find(content.window.number);
    return cached != m_contentCache.end() && cached->second.key == content.key ? cached->second.surface : nullptr;
}

void SimDesktop::keepContentLocked(const GeneratedContent& content, const SurfaceRef& surface) const
{
    CGWindowID number = content.window.number;
    if (!m_windows.count(number))
        return;
    if (auto stale = m_contentCache.find(number); stale != m_contentCache.end()) {
        m_contentCacheBytes -= stale->second.bytes;
        m_contentCache.erase(stale);
    }
    // Pictures are kept while they fit in the budget; past it, a window is
    // drawn again each time it is asked for. (Dropping the oldest instead
    // would keep nothing useful when the windows are asked for in turn, as
    // every scan of the windows does.)
    size_t bytes = size_t(cairo_image_surface_get_stride(surface.get())) * size_t(content.height);
    if (m_contentCacheBytes + bytes > kContentCacheBudget)
        return;
    m_contentCacheBytes += bytes;
    m_contentCache[number] = { content.key, surface, bytes };
}

void SimDesktop::forgetContentLocked(CGWindowID number)
{
    if (auto kept = m_contentCache.find(number); kept != m_contentCache.end()) {
        m_contentCacheBytes -= kept->second.bytes;
        m_contentCache.erase(kept);
    }
}

SimDesktop::SurfaceRef SimDesktop::contentSurfaceLocked(const DesktopWindow& w) const
{
    auto content = generatedContentLocked(w);
    if (auto cached = cachedContentLocked(content))
        return cached;
    auto surface = drawContent(content);
    keepContentLocked(content, surface);
    return surface;
}

DesktopImage SimDesktop::contentLocked(const DesktopWindow& w) const
{
    if (auto own = m_ownContent.find(w.number); own != m_ownContent.end() && own->second)
        return own->second();
    return fromSurface(contentSurfaceLocked(w).get());
}

DesktopImage SimDesktop::generatedOrOwnContent(std::unique_lock<std::recursive_mutex>& lock, const DesktopWindow& w) const
{
    if (auto own = m_ownContent.find(w.number); own != m_ownContent.end() && own->second)
        return own->second();
    // Drawing and copying run outside the lock, so captures on several
    // threads draw side by side.
    auto content = generatedContentLocked(w);
    auto surface = cachedContentLocked(content);
    lock.unlock();
    if (!surface) {
        surface = drawContent(content);
        lock.lock();
        keepContentLocked(content, surface);
        lock.unlock();
    }
    return fromSurface(surface.get());
}

// A rectangle's whole pixels: those it covers entirely.
static CGRect wholePixelsInside(const CGRect& r)
{
    double x0 = std::ceil(CGRectGetMinX(r)), y0 = std::ceil(CGRectGetMinY(r));
    double x1 = std::floor(CGRectGetMaxX(r)), y1 = std::floor(CGRectGetMaxY(r));
    return x1 > x0 && y1 > y0 ? CGRectMake(x0, y0, x1 - x0, y1 - y0) : CGRectNull;
}

DesktopImage SimDesktop::screenshot() const
{
    std::lock_guard lock(m_mutex);
    if (m_screens.empty())
        return {};
    CGRect bounds = CGRectNull;
    for (const auto& s : m_screens)
        bounds = CGRectUnion(bounds, s.frame);
    int width = static_cast<int>(std::min(bounds.size.width, double(kMaxContentSide)));
    int height = static_cast<int>(std::min(bounds.size.height, double(kMaxContentSide)));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    cairo_paint(cr);
    cairo_translate(cr, -bounds.origin.x, -bounds.origin.y);

    for (const auto& s : m_screens) {
        cairo_save(cr);
        cairo_rectangle(cr, s.frame.origin.x, s.frame.origin.y, s.frame.size.width, s.frame.size.height);
        cairo_clip(cr);
        cairo_surface_t* picture = s.desktopPicture.empty() ? nullptr : cairo_image_surface_create_from_png(s.desktopPicture.c_str());
        if (picture && cairo_surface_status(picture) == CAIRO_STATUS_SUCCESS) {
            double pw = cairo_image_surface_get_width(picture), ph = cairo_image_surface_get_height(picture);
            double scale = std::max(s.frame.size.width / pw, s.frame.size.height / ph);
            cairo_translate(cr, s.frame.origin.x, s.frame.origin.y);
            cairo_scale(cr, scale, scale);
            cairo_set_source_surface(cr, picture, 0, 0);
            cairo_paint(cr);
        } else {
            cairo_pattern_t* gradient = cairo_pattern_create_linear(s.frame.origin.x, s.frame.origin.y, s.frame.origin.x,
                s.frame.origin.y + s.frame.size.height);
            cairo_pattern_add_color_stop_rgb(gradient, 0, 0.22, 0.36, 0.62);
            cairo_pattern_add_color_stop_rgb(gradient, 1, 0.55, 0.36, 0.58);
            cairo_set_source(cr, gradient);
            cairo_paint(cr);
            cairo_pattern_destroy(gradient);
        }
        if (picture)
            cairo_surface_destroy(picture);
        cairo_restore(cr);
        // The menu bar above the usable frame.
        double barHeight = s.visibleFrame.origin.y - s.frame.origin.y;
        if (barHeight > 0) {
            cairo_set_source_rgba(cr, 1, 1, 1, 0.7);
            cairo_rectangle(cr, s.frame.origin.x, s.frame.origin.y, s.frame.size.width, barHeight);
            cairo_fill(cr);
        }
    }

    // Back to front, lower layers first.
    std::vector<const DesktopWindow*> visible;
    for (auto it = m_order.rbegin(); it != m_order.rend(); ++it) {
        const auto& w = m_windows.at(*it);
        if (windowOnScreenLocked(w) && w.alpha > 0)
            visible.push_back(&w);
    }
    std::stable_sort(visible.begin(), visible.end(), [](const DesktopWindow* a, const DesktopWindow* b) { return a->layer < b->layer; });
    // A window wholly under one opaque generated window in front of it
    // shows nothing: it is not drawn (this process's windows may be
    // see-through, so only the generated ones cover).
    std::vector<CGRect> covers;
    std::vector<bool> hidden(visible.size(), false);
    for (size_t i = visible.size(); i-- > 0;) {
        const DesktopWindow& w = *visible[i];
        CGRect touched = CGRectIntegral(w.frame);
        hidden[i] = std::any_of(covers.begin(), covers.end(), [&](const CGRect& c) { return CGRectContainsRect(c, touched); });
        bool opaque = w.pid != kOwnPid && w.alpha >= 1 && !m_ownContent.count(w.number);
        if (!hidden[i] && opaque)
            if (CGRect whole = wholePixelsInside(w.frame); !CGRectIsNull(whole)) covers.push_back(whole);
    }
    for (size_t i = 0; i < visible.size(); ++i) {
        if (hidden[i])
            continue;
        const DesktopWindow* w = visible[i];
        SurfaceRef source;
        if (auto own = m_ownContent.find(w->number); own != m_ownContent.end() && own->second) {
            DesktopImage content = own->second();
            if (content.empty())
                continue;
            source = SurfaceRef(toSurface(content), cairo_surface_destroy);
        } else {
            source = contentSurfaceLocked(*w);
        }
        int contentWidth = cairo_image_surface_get_width(source.get());
        int contentHeight = cairo_image_surface_get_height(source.get());
        cairo_save(cr);
        cairo_translate(cr, w->frame.origin.x, w->frame.origin.y);
        if (contentWidth > 0 && contentHeight > 0)
            cairo_scale(cr, w->frame.size.width / contentWidth, w->frame.size.height / contentHeight);
        cairo_set_source_surface(cr, source.get(), 0, 0);
        cairo_paint_with_alpha(cr, std::clamp(w->alpha, 0.0, 1.0));
        cairo_restore(cr);
        if (w->pid != kOwnPid) {
            cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
            cairo_set_line_width(cr, 1);
            cairo_rectangle(cr, w->frame.origin.x + 0.5, w->frame.origin.y + 0.5, w->frame.size.width - 1, w->frame.size.height - 1);
            cairo_stroke(cr);
        }
    }
    cairo_destroy(cr);
    DesktopImage image = fromSurface(surface);
    cairo_surface_destroy(surface);
    return image;
}
