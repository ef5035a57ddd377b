#include "CGImage.h"

#include <cairo.h>
#include <algorithm>
#include <cstring>
#include <vector>

CGImage::CGImage(const gfx::PixelFormat& format, CGColorSpaceRef space, CGDataProviderRef provider,
    bool shouldInterpolate)
    : m_format(format)
    , m_space(std::move(space))
    , m_provider(std::move(provider))
    , m_shouldInterpolate(shouldInterpolate)
{
}

CGImage::~CGImage()
{
    for (auto& [factor, reduced] : m_reductions)
        cairo_surface_destroy(reduced);
    if (m_surface)
        cairo_surface_destroy(m_surface);
}

// A new cleared image surface, or null when Cairo cannot make one (a size
// it does not take, or no memory).
static cairo_surface_t* newImageSurface(cairo_format_t format, int width, int height)
{
    cairo_surface_t* surface = cairo_image_surface_create(format, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

cairo_surface_t* CGImage::cairoSurface() const
{
    std::call_once(m_surfaceOnce, [this] {
        const auto& bytes = m_provider->bytes();
        bool native = m_format.model == gfx::PixelFormat::Model::RGB && m_format.isNativeSurface()
            && m_format.alpha == kCGImageAlphaPremultipliedFirst;
        if (native) {
            // The provider's bytes never change, so Cairo may read them in place.
            m_surface = cairo_image_surface_create_for_data(const_cast<uint8_t*>(bytes.data()), CAIRO_FORMAT_ARGB32,
                int(m_format.width), int(m_format.height), int(m_format.bytesPerRow));
            return;
        }
        m_surface = newImageSurface(CAIRO_FORMAT_ARGB32, int(m_format.width), int(m_format.height));
        if (!m_surface)
            return;
        uint8_t* base = cairo_image_surface_get_data(m_surface);
        int stride = cairo_image_surface_get_stride(m_surface);
        for (size_t y = 0; y < m_format.height; ++y)
            gfx::unpackRow(m_format, bytes.data() + y * m_format.bytesPerRow,
                reinterpret_cast<uint32_t*>(base + y * stride));
        cairo_surface_mark_dirty(m_surface);
    });
    return m_surface;
}

int CGImage::opaqueInset() const
{
    std::call_once(m_opaqueOnce, [this] {
        cairo_surface_t* surface = cairoSurface();
        if (!surface)
            return;
        int width = int(m_format.width), height = int(m_format.height);
        const uint8_t* base = cairo_image_surface_get_data(surface);
        int stride = cairo_image_surface_get_stride(surface);
        auto opaqueWithin = [&](int inset) {
            for (int y = inset; y < height - inset; ++y) {
                const auto* row = reinterpret_cast<const uint32_t*>(base + ptrdiff_t(y) * stride);
                for (int x = inset; x < width - inset; ++x)
                    if ((row[x] >> 24) != 0xff)
                        return false;
            }
            return true;
        };
        // Rounded corners and soft edges are thin: a quarter of the smaller
        // side is as far in as it is worth looking. A failing inset stops at
        // its first pixel that is not opaque, near the corner.
        for (int inset = 0; inset <= std::min(width, height) / 4; ++inset)
            if (opaqueWithin(inset)) {
                m_opaqueInset = inset;
                return;
            }
    });
    return m_opaqueInset;
}

namespace {

cairo_surface_t* averageBlocks(cairo_surface_t* source, int factor)
{
    int width = cairo_image_surface_get_width(source);
    int height = cairo_image_surface_get_height(source);
    cairo_surface_t* reduced
        = newImageSurface(CAIRO_FORMAT_ARGB32, (width + factor - 1) / factor, (height + factor - 1) / factor);
    if (!reduced)
        return nullptr;
    cairo_surface_flush(source);
    averagePixelBlocks(cairo_image_surface_get_data(source), width, height, size_t(cairo_image_surface_get_stride(source)),
        factor, cairo_image_surface_get_data(reduced), size_t(cairo_image_surface_get_stride(reduced)));
    cairo_surface_mark_dirty(reduced);
    return reduced;
}

}

cairo_surface_t* CGImage::reducedSurface(int factor) const
{
    if (factor < 2 || factor > kMaxReduction)
        return nullptr;
    std::lock_guard lock(m_reductionsMutex);
    if (auto found = m_reductions.find(factor); found != m_reductions.end())
        return found->second;
    cairo_surface_t* source = cairoSurface();
    if (!source)
        return nullptr;
    cairo_surface_t* reduced = averageBlocks(source, factor);
    if (reduced)
        m_reductions[factor] = reduced;
    return reduced;
}

int CGImage::largestReductionMade(int limit) const
{
    std::lock_guard lock(m_reductionsMutex);
    int best = 1;
    for (const auto& [factor, reduced] : m_reductions)
        if (factor <= limit)
            best = factor;
    return best;
}

void CGImage::prepareReductionForThumbnails() const
{
    // Thumbnails are a few hundred points wide: keep at least 240 pixels on
    // the longer side.
    constexpr size_t kThumbnailSource = 240;
    size_t longer = std::max(m_format.width, m_format.height);
    int factor = 1;
    while (factor * 2 <= kMaxReduction && longer / static_cast<size_t>(factor * 2) >= kThumbnailSource)
        factor *= 2;
    if (factor >= 2)
        reducedSurface(factor);
}

static CGImageRef makeImage(const std::optional<gfx::PixelFormat>& format, const CGColorSpaceRef& space,
    const CGDataProviderRef& provider, bool shouldInterpolate)
{
    if (!format || !provider)
        return nullptr;
    // The last row needs only its pixels, not a full row length.
    size_t needed = format->bytesPerRow * (format->height - 1) + (format->width * format->bitsPerPixel + 7) / 8;
    if (provider->length() < needed)
        return nullptr;
    return makeRef<CGImage>(*format, space, provider, shouldInterpolate);
}

CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
    size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo, const CGDataProviderRef& provider,
    const CGFloat*, bool shouldInterpolate, CGColorRenderingIntent)
{
    if (bytesPerRow == 0)
        return nullptr;
    auto format = gfx::PixelFormat::image(
        width, height, bitsPerComponent, bitsPerPixel, bytesPerRow, CGColorSpaceGetModel(space), bitmapInfo);
    return makeImage(format, space, provider, shouldInterpolate);
}

CGImageRef CGImageMaskCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
    size_t bytesPerRow, const CGDataProviderRef& provider, const CGFloat*, bool shouldInterpolate)
{
    if (bytesPerRow == 0)
        return nullptr;
    auto format = gfx::PixelFormat::mask(width, height, bitsPerComponent, bitsPerPixel, bytesPerRow);
    return makeImage(format, nullptr, provider, shouldInterpolate);
}

CGImageRef CGImageCreateWithCairoSurface(cairo_surface_t* surface)
{
    if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS
        || cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)
        return nullptr;
    cairo_surface_flush(surface);
    size_t w = size_t(cairo_image_surface_get_width(surface));
    size_t h = size_t(cairo_image_surface_get_height(surface));
    auto format = gfx::PixelFormat::image(w, h, 8, 32, w * 4, kCGColorSpaceModelRGB,
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    if (!format)
        return nullptr;
    std::vector<uint8_t> bytes(format->byteCount());
    const uint8_t* base = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (size_t y = 0; y < h; ++y)
        std::memcpy(bytes.data() + y * w * 4, base + y * stride, w * 4);
    return makeRef<CGImage>(*format, CGColorSpaceCreateDeviceRGB(), CGDataProviderCreateWithBytes(std::move(bytes)), true);
}

cairo_surface_t* gfx::createCoverageSurface(const CGImage& image)
{
    cairo_surface_t* pixels = image.cairoSurface();
    if (!pixels)
        return nullptr;
    bool gray = image.format().model == gfx::PixelFormat::Model::Gray && image.format().bitsPerPixel == 8;
    int w = int(image.width()), h = int(image.height());
    cairo_surface_t* coverage = newImageSurface(CAIRO_FORMAT_A8, w, h);
    if (!coverage)
        return nullptr;
    cairo_surface_flush(pixels);
    const uint8_t* m = cairo_image_surface_get_data(pixels);
    int ms = cairo_image_surface_get_stride(pixels);
    uint8_t* c = cairo_image_surface_get_data(coverage);
    int cs = cairo_image_surface_get_stride(coverage);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<const uint32_t*>(m + y * ms);
        for (int x = 0; x < w; ++x)
            c[y * cs + x] = gray ? uint8_t(row[x] & 0xFF) : uint8_t(row[x] >> 24);
    }
    cairo_surface_mark_dirty(coverage);
    return coverage;
}

CGImageRef CGImageCreateWithMask(const CGImageRef& image, const CGImageRef& mask)
{
    if (!image || !mask || image->isMask())
        return nullptr;
    auto maskModel = mask->format().model;
    if (maskModel != gfx::PixelFormat::Model::Mask && maskModel != gfx::PixelFormat::Model::Gray
        && maskModel != gfx::PixelFormat::Model::AlphaOnly)
        return nullptr;
    if (maskModel == gfx::PixelFormat::Model::Gray && mask->format().bitsPerPixel != 8)
        return nullptr;
    cairo_surface_t* source = image->cairoSurface();
    if (!source)
        return nullptr;

    int w = int(image->width()), h = int(image->height());
    cairo_surface_t* coverage = gfx::createCoverageSurface(*mask);
    if (!coverage)
        return nullptr;
    cairo_surface_t* result = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(result);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_scale(cr, double(w) / mask->width(), double(h) / mask->height());
    cairo_pattern_t* maskPattern = cairo_pattern_create_for_surface(coverage);
    cairo_pattern_set_extend(maskPattern, CAIRO_EXTEND_PAD);
    cairo_mask(cr, maskPattern);
    cairo_pattern_destroy(maskPattern);
    cairo_destroy(cr);
    cairo_surface_destroy(coverage);
    auto combined = CGImageCreateWithCairoSurface(result);
    cairo_surface_destroy(result);
    return combined;
}

CGImageRef CGImageCreateWithImageInRect(const CGImageRef& image, CGRect rect)
{
    if (!image)
        return nullptr;
    CGRect bounds = CGRectMake(0, 0, double(image->width()), double(image->height()));
    CGRect r = CGRectIntegral(CGRectIntersection(bounds, rect));
    if (CGRectIsEmpty(r))
        return nullptr;
    const auto& f = image->format();
    if (f.bitsPerPixel < 8)
        return nullptr;
    size_t bpp = f.bitsPerPixel / 8;
    size_t x0 = size_t(r.origin.x), y0 = size_t(r.origin.y), w = size_t(r.size.width), h = size_t(r.size.height);
    std::vector<uint8_t> bytes(w * bpp * h);
    const auto& src = image->dataProvider()->bytes();
    for (size_t y = 0; y < h; ++y)
        std::memcpy(bytes.data() + y * w * bpp, src.data() + (y0 + y) * f.bytesPerRow + x0 * bpp, w * bpp);
    auto sub = f;
    sub.width = w;
    sub.height = h;
    sub.bytesPerRow = w * bpp;
    return makeRef<CGImage>(sub, image->colorSpace(), CGDataProviderCreateWithBytes(std::move(bytes)),
        image->shouldInterpolate());
}

size_t CGImageGetWidth(const CGImageRef& i) { return i ? i->width() : 0; }
size_t CGImageGetHeight(const CGImageRef& i) { return i ? i->height() : 0; }
size_t CGImageGetBitsPerComponent(const CGImageRef& i) { return i ? i->bitsPerComponent() : 0; }
size_t CGImageGetBitsPerPixel(const CGImageRef& i) { return i ? i->bitsPerPixel() : 0; }
size_t CGImageGetBytesPerRow(const CGImageRef& i) { return i ? i->bytesPerRow() : 0; }
CGColorSpaceRef CGImageGetColorSpace(const CGImageRef& i) { return i ? i->colorSpace() : nullptr; }
CGImageAlphaInfo CGImageGetAlphaInfo(const CGImageRef& i) { return i ? i->alphaInfo() : kCGImageAlphaNone; }
CGBitmapInfo CGImageGetBitmapInfo(const CGImageRef& i) { return i ? i->bitmapInfo() : 0; }
CGDataProviderRef CGImageGetDataProvider(const CGImageRef& i) { return i ? i->dataProvider() : nullptr; }
bool CGImageIsMask(const CGImageRef& i) { return i && i->isMask(); }
