// What the simulated window server shows: generated window content and the
// picture of the whole desktop.
#include "SimDesktop.h"
#include "SimShrink.h"

#include <foundation/AtomicFile.h>
#include <foundation/Format.h>
#include <foundation/LargeBuffers.h>
#include <foundation/PNGDecoding.h>
#include <foundation/ParallelFor.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace {

// Largest side of a generated picture; bigger windows are drawn at this size.
constexpr int kMaxContentSide = 8192;
// The largest reduction a read of what lies beneath an own window takes.
constexpr int kMaxReduction = 16;
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

// A Cairo surface that draws straight into the buffer of the image it
// becomes, so that no copy of its pixels is made when the drawing is done.
// Its pixels start cleared, as those of Cairo's own surfaces do.
class ImageCanvas {
public:
    // With a surface to start from, its pixels instead: taken over byte for
    // byte when it has the canvas's size, else drawn in at the top left.
    ImageCanvas(int width, int height, cairo_surface_t* startFrom = nullptr)
        : m_width(width)
        , m_height(height)
    {
        int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
        if (width > 0 && height > 0 && stride == width * 4) {
            size_t bytes = size_t(stride) * size_t(height);
            reserveLargeBuffer(m_pixels, bytes);
            if (startFrom && cairo_image_surface_get_width(startFrom) == width
                && cairo_image_surface_get_height(startFrom) == height
                && cairo_image_surface_get_stride(startFrom) == stride) {
                cairo_surface_flush(startFrom);
                const uint8_t* start = cairo_image_surface_get_data(startFrom);
                m_pixels.assign(start, start + bytes);
                startFrom = nullptr;
            } else {
                m_pixels.resize(bytes);
            }
            m_surface = cairo_image_surface_create_for_data(m_pixels.data(), CAIRO_FORMAT_ARGB32, width, height, stride);
        } else {
            m_surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        }
        if (startFrom) {
            cairo_t* cr = cairo_create(m_surface);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_set_source_surface(cr, startFrom, 0, 0);
            cairo_paint(cr);
            cairo_destroy(cr);
        }
    }
    ~ImageCanvas() { cairo_surface_destroy(m_surface); }
    ImageCanvas(const ImageCanvas&) = delete;
    ImageCanvas& operator=(const ImageCanvas&) = delete;

    cairo_surface_t* surface() const { return m_surface; }
    // The image, once: the surface draws nothing after this.
    DesktopImage finish()
    {
        if (m_pixels.empty() || cairo_surface_status(m_surface) != CAIRO_STATUS_SUCCESS)
            return fromSurface(m_surface);
        cairo_surface_finish(m_surface);
        return DesktopImage::fromARGB32(std::move(m_pixels), m_width, m_height);
    }

private:
    int m_width;
    int m_height;
    std::vector<uint8_t> m_pixels;
    cairo_surface_t* m_surface;
};

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

void SimDesktop::drawContent(const GeneratedContent& content, cairo_surface_t* surface)
{
    cairo_t* cr = cairo_create(surface);
    drawWindow(cr, content.window, content.appName, content.width, content.height);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
}

namespace {

std::shared_ptr<cairo_surface_t> newSurface(int width, int height)
{
    return std::shared_ptr<cairo_surface_t>(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy);
}

// The bytes an ARGB32 image surface of this size holds.
size_t surfaceBytes(int width, int height)
{
    return size_t(std::max(cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width), 0)) * size_t(std::max(height, 0));
}

}

SimDesktop::SurfaceRef SimDesktop::cachedContentLocked(const GeneratedContent& content) const
{
    auto cached = m_contentCache.find(content.window.number);
    return cached != m_contentCache.end() && cached->second.key == content.key ? cached->second.surface : nullptr;
}

bool SimDesktop::contentFitsLocked(const GeneratedContent& content) const
{
    CGWindowID number = content.window.number;
    if (!m_windows.count(number))
        return false;
    // Pictures are kept while they fit in the budget; past it, a window is
    // drawn again each time it is asked for. (Dropping the oldest instead
    // would keep nothing useful when the windows are asked for in turn, as
    // every scan of the windows does.) A window's older picture goes.
    size_t kept = m_contentCacheBytes;
    if (auto stale = m_contentCache.find(number); stale != m_contentCache.end())
        kept -= stale->second.bytes;
    return kept + surfaceBytes(content.width, content.height) <= kContentCacheBudget;
}

void SimDesktop::keepContentLocked(const GeneratedContent& content, const SurfaceRef& surface) const
{
    if (!contentFitsLocked(content))
        return;
    CGWindowID number = content.window.number;
    if (auto stale = m_contentCache.find(number); stale != m_contentCache.end()) {
        m_contentCacheBytes -= stale->second.bytes;
        m_contentCache.erase(stale);
    }
    size_t bytes = surfaceBytes(content.width, content.height);
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
    auto surface = newSurface(content.width, content.height);
    drawContent(content, surface.get());
    keepContentLocked(content, surface);
    return surface;
}

namespace {

// A generated window drawn where the context puts its frame's origin: its
// picture stretched over the frame, then the thin line around it.
void paintGenerated(cairo_t* cr, cairo_surface_t* generated, const DesktopWindow& w)
{
    int width = cairo_image_surface_get_width(generated);
    int height = cairo_image_surface_get_height(generated);
    cairo_save(cr);
    if (width > 0 && height > 0)
        cairo_scale(cr, w.frame.size.width / width, w.frame.size.height / height);
    cairo_set_source_surface(cr, generated, 0, 0);
    cairo_paint_with_alpha(cr, std::clamp(w.alpha, 0.0, 1.0));
    cairo_restore(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, kSimFrameLineAlpha);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, w.frame.size.width - 1, w.frame.size.height - 1);
    cairo_stroke(cr);
}

// The largest shrunk copy of one window that is kept (bytes).
constexpr double kMaxReducedBytes = 16 << 20;

// Whether averageWindowBlocks draws the window as paintGenerated would.
bool averagesExactly(cairo_surface_t* picture, const DesktopWindow& w, double phaseX, double phaseY)
{
    return w.alpha >= 1 && cairo_image_surface_get_width(picture) == w.frame.size.width
        && cairo_image_surface_get_height(picture) == w.frame.size.height && phaseX == std::floor(phaseX)
        && phaseY == std::floor(phaseY) && w.frame.size.width >= 2 && w.frame.size.height >= 2;
}

}

std::vector<SimDesktop::ReducedPlacement> SimDesktop::reducedContentsLocked(
    const std::vector<const DesktopWindow*>& windows, CGPoint origin, int reduction) const
{
    // A copy still to be made: everything its drawing needs is copied out
    // of the desktop's state, so that it can be drawn on any thread.
    struct Missing {
        size_t index { 0 };
        std::string key;
        uint64_t read { 0 };
        int width { 0 }, height { 0 };
        double phaseX { 0 }, phaseY { 0 };
        GeneratedContent content;
        // Null until drawn when the window's picture is not kept.
        SurfaceRef generated;
        bool drewGenerated { false };
        SurfaceRef surface;
    };
    std::vector<ReducedPlacement> placed(windows.size());
    std::vector<Missing> missing;
    for (size_t i = 0; i < windows.size(); ++i) {
        if (!windows[i])
            continue;
        const DesktopWindow& w = *windows[i];
        const CGRect& frame = w.frame;
        if (!std::isfinite(frame.origin.x) || !std::isfinite(frame.origin.y) || !std::isfinite(frame.size.width)
            || !std::isfinite(frame.size.height) || frame.size.width <= 0 || frame.size.height <= 0)
            continue;
        // The copy starts a whole shrunk pixel before the window (the filter
        // reaches a little past its edges), so the window lies in it at an
        // offset of one to two blocks: that offset is all that makes two
        // reads of an unchanged window differ.
        double left = std::floor((frame.origin.x - origin.x) / reduction) - 1;
        double top = std::floor((frame.origin.y - origin.y) / reduction) - 1;
        double phaseX = frame.origin.x - origin.x - left * reduction;
        double phaseY = frame.origin.y - origin.y - top * reduction;
        double width = std::ceil((phaseX + frame.size.width) / reduction) + 1;
        double height = std::ceil((phaseY + frame.size.height) / reduction) + 1;
        if (width * height * 4 > kMaxReducedBytes)
            continue;
        placed[i].at = CGPointMake(left, top);
        auto content = generatedContentLocked(w);
        std::string key = stringWithFormat("%s|%d|%.17g|%.17g|%.17g|%.17g|%.17g", content.key.c_str(), reduction,
            frame.size.width, frame.size.height, phaseX, phaseY, w.alpha);
        uint64_t read = ++m_reducedReads;
        auto kept = m_reducedCache.find(w.number);
        if (kept != m_reducedCache.end() && kept->second.key == key) {
            kept->second.lastRead = read;
            placed[i].surface = kept->second.surface;
            continue;
        }
        Missing& m = missing.emplace_back();
        m.index = i;
        m.key = std::move(key);
        m.read = read;
        m.width = int(width);
        m.height = int(height);
        m.phaseX = phaseX;
        m.phaseY = phaseY;
        m.generated = cachedContentLocked(content);
        m.content = std::move(content);
    }
    // Each copy is drawn from its own window's picture into its own surface:
    // nothing is shared but the pictures read.
    parallelFor(missing.size(), [&](size_t k) {
        Missing& m = missing[k];
        if (!m.generated) {
            m.generated = newSurface(m.content.width, m.content.height);
            drawContent(m.content, m.generated.get());
            m.drewGenerated = true;
        }
        SurfaceRef surface = newSurface(m.width, m.height);
        if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
            return;
        if (averagesExactly(m.generated.get(), m.content.window, m.phaseX, m.phaseY)) {
            averageWindowBlocks(m.generated.get(), int(m.phaseX), int(m.phaseY), reduction, surface.get());
        } else {
            cairo_t* cr = cairo_create(surface.get());
            cairo_scale(cr, 1.0 / reduction, 1.0 / reduction);
            cairo_translate(cr, m.phaseX, m.phaseY);
            paintGenerated(cr, m.generated.get(), m.content.window);
            cairo_destroy(cr);
            cairo_surface_flush(surface.get());
        }
        m.surface = std::move(surface);
    });
    for (auto& m : missing) {
        if (m.drewGenerated)
            keepContentLocked(m.content, m.generated);
        if (!m.surface)
            continue;
        placed[m.index].surface = m.surface;
        keepReducedContentLocked(m.content.window.number, m.key, m.surface, m.read);
    }
    return placed;
}

void SimDesktop::keepReducedContentLocked(
    CGWindowID number, const std::string& key, const SurfaceRef& surface, uint64_t read) const
{
    forgetReducedContentLocked(number);
    size_t bytes = surfaceBytes(cairo_image_surface_get_width(surface.get()), cairo_image_surface_get_height(surface.get()));
    if (m_reducedCacheBytes + bytes > kReducedCacheBudget) {
        // Copies this read has not used make room, the least lately read first.
        std::vector<std::pair<uint64_t, CGWindowID>> stale;
        for (const auto& [kept, entry] : m_reducedCache)
            stale.emplace_back(entry.lastRead, kept);
        std::sort(stale.begin(), stale.end());
        for (const auto& [lastRead, kept] : stale) {
            if (m_reducedCacheBytes + bytes <= kReducedCacheBudget || lastRead >= m_reducedReadStart)
                break;
            forgetReducedContentLocked(kept);
        }
    }
    if (m_reducedCacheBytes + bytes <= kReducedCacheBudget) {
        m_reducedCacheBytes += bytes;
        m_reducedCache[number] = { key, surface, bytes, read };
    }
}

void SimDesktop::forgetReducedContentLocked(CGWindowID number) const
{
    if (auto kept = m_reducedCache.find(number); kept != m_reducedCache.end()) {
        m_reducedCacheBytes -= kept->second.bytes;
        m_reducedCache.erase(kept);
    }
}

DesktopFrame SimDesktop::ownContentLocked(const DesktopWindow& w) const
{
    if (auto own = m_ownContent.find(w.number); own != m_ownContent.end() && own->second)
        return own->second();
    return {};
}

DesktopImage SimDesktop::generatedOrOwnContent(std::unique_lock<std::recursive_mutex>& lock, const DesktopWindow& w) const
{
    if (auto own = m_ownContent.find(w.number); own != m_ownContent.end() && own->second)
        return own->second().image();
    // Drawing and copying run outside the lock, so captures on several
    // threads draw side by side.
    auto content = generatedContentLocked(w);
    auto surface = cachedContentLocked(content);
    bool keep = !surface && contentFitsLocked(content);
    lock.unlock();
    if (surface)
        return fromSurface(surface.get());
    if (!keep) {
        // A picture that is not kept is drawn straight into the image.
        ImageCanvas canvas(content.width, content.height);
        drawContent(content, canvas.surface());
        return canvas.finish();
    }
    surface = newSurface(content.width, content.height);
    drawContent(content, surface.get());
    lock.lock();
    keepContentLocked(content, surface);
    lock.unlock();
    return fromSurface(surface.get());
}

namespace {

// The parts of an area that nothing opaque covers yet, as rectangles.
using Region = std::vector<CGRect>;

bool hasArea(const CGRect& r) { return !CGRectIsNull(r) && r.size.width > 0 && r.size.height > 0; }

bool touches(const Region& region, const CGRect& rect)
{
    return std::any_of(region.begin(), region.end(), [&](const CGRect& r) { return hasArea(CGRectIntersection(r, rect)); });
}

void subtract(Region& region, const CGRect& cover)
{
    Region left;
    for (const CGRect& r : region) {
        CGRect i = CGRectIntersection(r, cover);
        if (!hasArea(i)) {
            left.push_back(r);
            continue;
        }
        double top = CGRectGetMinY(i), bottom = CGRectGetMaxY(i);
        if (top > CGRectGetMinY(r))
            left.push_back(CGRectMake(r.origin.x, r.origin.y, r.size.width, top - r.origin.y));
        if (bottom < CGRectGetMaxY(r))
            left.push_back(CGRectMake(r.origin.x, bottom, r.size.width, CGRectGetMaxY(r) - bottom));
        if (CGRectGetMinX(i) > CGRectGetMinX(r))
            left.push_back(CGRectMake(r.origin.x, top, CGRectGetMinX(i) - r.origin.x, i.size.height));
        if (CGRectGetMaxX(i) < CGRectGetMaxX(r))
            left.push_back(CGRectMake(CGRectGetMaxX(i), top, CGRectGetMaxX(r) - CGRectGetMaxX(i), i.size.height));
    }
    region = std::move(left);
}

// The whole pixels a frame covers: its edges at fractional positions are
// only partly painted, so they hide nothing.
CGRect innerPixels(const CGRect& frame)
{
    double left = std::ceil(CGRectGetMinX(frame)), top = std::ceil(CGRectGetMinY(frame));
    double right = std::floor(CGRectGetMaxX(frame)), bottom = std::floor(CGRectGetMaxY(frame));
    return right > left && bottom > top ? CGRectMake(left, top, right - left, bottom - top) : CGRectNull;
}

// The part of a frame between columns x0..x1 and rows y0..y1 as a surface
// over the frame's own pixels (the frame is held while it is drawn).
cairo_surface_t* toSurface(const DesktopFrame& frame, int x0, int y0, int x1, int y1)
{
    return cairo_image_surface_create_for_data(const_cast<uint8_t*>(frame.row(y0)) + size_t(x0) * 4, CAIRO_FORMAT_ARGB32,
        x1 - x0, y1 - y0, int(frame.stride));
}

}

std::string SimDesktop::pictureKey(const std::string& path)
{
    std::error_code error;
    auto modified = std::filesystem::last_write_time(path, error);
    return path + "|" + (error ? std::string("-") : std::to_string(modified.time_since_epoch().count()));
}

std::shared_ptr<cairo_surface_t> SimDesktop::pictureLocked(const std::string& path, CGSize screen) const
{
    // Decoded once per file version and screen size, shrunk while it is
    // decoded to no less than fills the screen: every screenshot and
    // backdrop shows it, and a picture many times the screen's size is
    // neither held whole nor scaled down again at every compose.
    std::string version = pictureKey(path);
    auto fitWidth = uint32_t(std::clamp(std::ceil(screen.width), 1.0, double(kMaxPNGSide)));
    auto fitHeight = uint32_t(std::clamp(std::ceil(screen.height), 1.0, double(kMaxPNGSide)));
    std::string key = version + "|" + std::to_string(fitWidth) + "x" + std::to_string(fitHeight);
    if (auto cached = m_pictures.find(key); cached != m_pictures.end())
        return cached->second;
    std::erase_if(m_pictures, [&](const auto& entry) {
        return entry.first.rfind(path + "|", 0) == 0 && entry.first.rfind(version + "|", 0) != 0;
    });
    std::shared_ptr<cairo_surface_t> kept;
    auto bytes = readFileContents(path, nullptr, kMaxPictureFileBytes);
    if (auto decoded = bytes ? decodePNG(bytes->data(), bytes->size(), fitWidth, fitHeight) : std::nullopt) {
        cairo_surface_t* picture
            = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(decoded->width), int(decoded->height));
        if (cairo_surface_status(picture) == CAIRO_STATUS_SUCCESS) {
            cairo_surface_flush(picture);
            uint8_t* base = cairo_image_surface_get_data(picture);
            size_t stride = size_t(cairo_image_surface_get_stride(picture));
            // Straight RGBA bytes become premultiplied native-endian words.
            for (uint32_t y = 0; y < decoded->height; ++y) {
                const uint8_t* from = decoded->rgba.data() + size_t(y) * decoded->width * 4;
                auto* to = reinterpret_cast<uint32_t*>(base + stride * y);
                for (uint32_t x = 0; x < decoded->width; ++x, from += 4) {
                    uint32_t a = from[3];
                    auto premultiplied = [a](uint32_t c) { return (c * a + 127) / 255; };
                    to[x] = a << 24 | premultiplied(from[0]) << 16 | premultiplied(from[1]) << 8 | premultiplied(from[2]);
                }
            }
            cairo_surface_mark_dirty(picture);
            kept.reset(picture, cairo_surface_destroy);
        } else {
            cairo_surface_destroy(picture);
        }
    }
    m_pictures[key] = kept;
    return kept;
}

namespace {

// Copies the pixels of one surface onto another of the same size.
void copyPixels(cairo_surface_t* from, cairo_surface_t* to)
{
    cairo_surface_flush(from);
    cairo_surface_flush(to);
    size_t bytes = size_t(cairo_image_surface_get_stride(from)) * size_t(cairo_image_surface_get_height(from));
    std::memcpy(cairo_image_surface_get_data(to), cairo_image_surface_get_data(from), bytes);
    cairo_surface_mark_dirty(to);
}

// The bytes of a value, appended to a key.
template <typename T>
void appendKey(std::string& key, const T& value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void appendKey(std::string& key, const std::string& text)
{
    appendKey(key, text.size());
    key += text;
}

}

SimDesktop::SurfaceRef SimDesktop::underlayLocked(const std::string& key) const
{
    auto kept = std::find_if(m_underlays.begin(), m_underlays.end(), [&](const Underlay& u) { return u.key == key; });
    if (kept == m_underlays.end())
        return nullptr;
    std::rotate(m_underlays.begin(), kept, kept + 1);
    return m_underlays.front().surface;
}

void SimDesktop::keepUnderlayLocked(const std::string& key, cairo_surface_t* drawn) const
{
    int width = cairo_image_surface_get_width(drawn), height = cairo_image_surface_get_height(drawn);
    if (surfaceBytes(width, height) > kUnderlayMostBytes)
        return;
    SurfaceRef copy = newSurface(width, height);
    if (cairo_surface_status(copy.get()) != CAIRO_STATUS_SUCCESS)
        return;
    copyPixels(drawn, copy.get());
    if (m_underlays.size() >= kUnderlayCount)
        m_underlays.pop_back();
    m_underlays.insert(m_underlays.begin(), Underlay { key, copy });
}

DesktopImage SimDesktop::composeLocked(
    const CGRect& area, const std::function<bool(const DesktopWindow&)>& include, int reduction) const
{
    reduction = std::max(reduction, 1);
    int width = (static_cast<int>(area.size.width) + reduction - 1) / reduction;
    int height = (static_cast<int>(area.size.height) + reduction - 1) / reduction;
    if (width <= 0 || height <= 0)
        return {};

    // Back to front, lower layers first.
    std::vector<const DesktopWindow*> visible;
    for (auto it = m_order.rbegin(); it != m_order.rend(); ++it) {
        const auto& w = m_windows.at(*it);
        if (windowOnScreenLocked(w) && w.alpha > 0 && include(w) && CGRectIntersectsRect(w.frame, area))
            visible.push_back(&w);
    }
    std::stable_sort(visible.begin(), visible.end(), [](const DesktopWindow* a, const DesktopWindow* b) { return a->layer < b->layer; });
    // Only what shows is drawn: from the front, a window that the opaque
    // windows in front of it cover entirely is left out. Other processes'
    // windows are opaque; this process's may be translucent.
    std::vector<const DesktopWindow*> shown;
    Region open { area };
    for (auto it = visible.rbegin(); it != visible.rend() && !open.empty(); ++it) {
        const DesktopWindow& w = **it;
        if (!touches(open, w.frame))
            continue;
        shown.push_back(&w);
        if (w.pid != kOwnPid && w.alpha >= 1)
            subtract(open, innerPixels(w.frame));
    }
    std::vector<const DesktopWindow*> drawn(shown.rbegin(), shown.rend());
    auto generated = [this](const DesktopWindow* w) {
        auto own = m_ownContent.find(w->number);
        return own == m_ownContent.end() || !own->second;
    };
    // The windows drawn before the first whose content this process gives,
    // and everything else their pixels depend on.
    size_t underlayCount = std::find_if_not(drawn.begin(), drawn.end(), generated) - drawn.begin();
    std::string underlayKey;
    appendKey(underlayKey, area);
    appendKey(underlayKey, reduction);
    for (const auto& s : m_screens) {
        appendKey(underlayKey, s.frame);
        appendKey(underlayKey, s.visibleFrame);
        appendKey(underlayKey, s.desktopPicture.empty() ? std::string() : pictureKey(s.desktopPicture));
    }
    for (size_t i = 0; i < underlayCount; ++i) {
        appendKey(underlayKey, drawn[i]->number);
        appendKey(underlayKey, drawn[i]->frame);
        appendKey(underlayKey, drawn[i]->alpha);
        appendKey(underlayKey, generatedContentLocked(*drawn[i]).key);
    }

    auto kept = underlayLocked(underlayKey);
    ImageCanvas canvas(width, height, kept.get());
    cairo_surface_t* surface = canvas.surface();
    cairo_t* cr = cairo_create(surface);
    if (!kept) {
        cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
        cairo_paint(cr);
    }
    // Drawn shrunk, every picture is filtered down to the smaller grid: each
    // pixel averages what its block of the area shows.
    cairo_scale(cr, 1.0 / reduction, 1.0 / reduction);
    cairo_translate(cr, -area.origin.x, -area.origin.y);

    for (const auto& s : m_screens) {
        if (kept || !CGRectIntersectsRect(s.frame, area))
            continue;
        cairo_save(cr);
        cairo_rectangle(cr, s.frame.origin.x, s.frame.origin.y, s.frame.size.width, s.frame.size.height);
        cairo_clip(cr);
        auto picture = s.desktopPicture.empty() ? nullptr : pictureLocked(s.desktopPicture, s.frame.size);
        if (picture) {
            double pw = cairo_image_surface_get_width(picture.get()), ph = cairo_image_surface_get_height(picture.get());
            double scale = std::max(s.frame.size.width / pw, s.frame.size.height / ph);
            cairo_translate(cr, s.frame.origin.x, s.frame.origin.y);
            cairo_scale(cr, scale, scale);
            cairo_set_source_surface(cr, picture.get(), 0, 0);
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
        cairo_restore(cr);
        // The menu bar above the usable frame.
        double barHeight = s.visibleFrame.origin.y - s.frame.origin.y;
        if (barHeight > 0) {
            cairo_set_source_rgba(cr, 1, 1, 1, 0.7);
            cairo_rectangle(cr, s.frame.origin.x, s.frame.origin.y, s.frame.size.width, barHeight);
            cairo_fill(cr);
        }
    }

    m_reducedReadStart = m_reducedReads + 1;
    size_t firstDrawn = kept ? underlayCount : 0;
    std::vector<ReducedPlacement> reducedCopies;
    if (reduction > 1) {
        std::vector<const DesktopWindow*> shrunk(drawn.size(), nullptr);
        for (size_t i = firstDrawn; i < drawn.size(); ++i)
            if (generated(drawn[i]))
                shrunk[i] = drawn[i];
        reducedCopies = reducedContentsLocked(shrunk, area.origin, reduction);
    }
    for (size_t i = firstDrawn; i < drawn.size(); ++i) {
        if (!kept && i == underlayCount)
            keepUnderlayLocked(underlayKey, surface);
        const DesktopWindow* w = drawn[i];
        // Generated pictures are kept as surfaces and drawn as they are;
        // shrunk, as kept shrunk copies laid at whole pixels.
        if (generated(w)) {
            if (reduction > 1) {
                if (const auto& [reduced, at] = reducedCopies[i]; reduced) {
                    cairo_save(cr);
                    cairo_identity_matrix(cr);
                    cairo_set_source_surface(cr, reduced.get(), at.x, at.y);
                    cairo_paint(cr);
                    cairo_restore(cr);
                    continue;
                }
            }
            SurfaceRef content = contentSurfaceLocked(*w);
            cairo_save(cr);
            cairo_translate(cr, w->frame.origin.x, w->frame.origin.y);
            paintGenerated(cr, content.get(), *w);
            cairo_restore(cr);
            continue;
        }
        DesktopFrame content = ownContentLocked(*w);
        if (content.empty())
            continue;
        // At one pixel per point only the part inside the area is drawn.
        int x0 = 0, y0 = 0, x1 = content.width, y1 = content.height;
        if (content.width == w->frame.size.width && content.height == w->frame.size.height) {
            CGRect part = CGRectIntersection(CGRectOffset(area, -w->frame.origin.x, -w->frame.origin.y),
                CGRectMake(0, 0, content.width, content.height));
            x0 = std::clamp(static_cast<int>(std::floor(CGRectGetMinX(part))), 0, content.width);
            y0 = std::clamp(static_cast<int>(std::floor(CGRectGetMinY(part))), 0, content.height);
            x1 = std::clamp(static_cast<int>(std::ceil(CGRectGetMaxX(part))), x0, content.width);
            y1 = std::clamp(static_cast<int>(std::ceil(CGRectGetMaxY(part))), y0, content.height);
            if (x1 <= x0 || y1 <= y0)
                continue;
        }
        cairo_surface_t* source = toSurface(content, x0, y0, x1, y1);
        cairo_save(cr);
        cairo_translate(cr, w->frame.origin.x, w->frame.origin.y);
        cairo_scale(cr, w->frame.size.width / content.width, w->frame.size.height / content.height);
        cairo_set_source_surface(cr, source, x0, y0);
        cairo_paint_with_alpha(cr, std::clamp(w->alpha, 0.0, 1.0));
        cairo_restore(cr);
        cairo_surface_destroy(source);
        if (w->pid != kOwnPid) {
            cairo_set_source_rgba(cr, 0, 0, 0, kSimFrameLineAlpha);
            cairo_set_line_width(cr, 1);
            cairo_rectangle(cr, w->frame.origin.x + 0.5, w->frame.origin.y + 0.5, w->frame.size.width - 1, w->frame.size.height - 1);
            cairo_stroke(cr);
        }
    }
    if (!kept && underlayCount == drawn.size())
        keepUnderlayLocked(underlayKey, surface);
    cairo_destroy(cr);
    return canvas.finish();
}

DesktopImage SimDesktop::screenshot() const
{
    std::lock_guard lock(m_mutex);
    if (m_screens.empty())
        return {};
    CGRect bounds = CGRectNull;
    for (const auto& s : m_screens)
        bounds = CGRectUnion(bounds, s.frame);
    bounds.size.width = std::min(bounds.size.width, double(kMaxContentSide));
    bounds.size.height = std::min(bounds.size.height, double(kMaxContentSide));
    return composeLocked(bounds, [](const DesktopWindow&) { return true; });
}

std::optional<DesktopImage> SimDesktop::captureBelowOwnWindow(CGWindowID number, const CGRect& area, int reduction)
{
    std::lock_guard lock(m_mutex);
    auto own = m_windows.find(number);
    if (own == m_windows.end() || own->second.pid != kOwnPid)
        return std::nullopt;
    log(stringWithFormat("captureBelowOwnWindow %u", number));
    CGRect pixels = CGRectIntegral(area);
    if (!hasArea(pixels) || pixels.size.width > kMaxContentSide || pixels.size.height > kMaxContentSide)
        return std::nullopt;
    // Beneath the window as it stands in front of its level: every window
    // of that level and the levels below it.
    int level = own->second.layer;
    return composeLocked(
        pixels, [&](const DesktopWindow& w) { return w.number != number && w.layer <= level; },
        std::clamp(reduction, 1, kMaxReduction));
}
