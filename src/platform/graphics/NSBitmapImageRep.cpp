#include "NSBitmapImageRep.h"

#include "CGContext.h"
#include "ImageIO.h"
#include "NSColor.h"
#include "NSGraphicsContext.h"
#include "internal/PixelStore.h"

#include <cairo.h>
#include <cmath>
#include <cstring>

using gfx::PixelFormat;

namespace {

bool isRGBName(const std::string& name) { return name == NSCalibratedRGBColorSpace || name == NSDeviceRGBColorSpace; }
bool isWhiteName(const std::string& name)
{
    return name == NSCalibratedWhiteColorSpace || name == NSDeviceWhiteColorSpace;
}

NSBitmapFormat bitmapFormatFor(const PixelFormat& f)
{
    NSBitmapFormat format = 0;
    if (f.alpha == kCGImageAlphaFirst || f.alpha == kCGImageAlphaPremultipliedFirst
        || f.alpha == kCGImageAlphaNoneSkipFirst)
        format |= NSBitmapFormatAlphaFirst;
    if (f.alpha == kCGImageAlphaFirst || f.alpha == kCGImageAlphaLast)
        format |= NSBitmapFormatAlphaNonpremultiplied;
    return format;
}

long samplesFor(const PixelFormat& f)
{
    long colour = f.model == PixelFormat::Model::RGB ? 3 : 1;
    return colour + (f.hasAlpha() ? 1 : 0);
}

// The layout a representation made from an image keeps: the image's own
// when a bitmap representation can describe it, else RGBA, premultiplied.
PixelFormat repFormatFor(const CGImage& image)
{
    PixelFormat f = image.format();
    bool bigEndianOrder = f.byteOrder == kCGBitmapByteOrderDefault || f.byteOrder == kCGBitmapByteOrder32Big
        || f.byteOrder == kCGBitmapByteOrder16Big;
    bool describable = (f.model == PixelFormat::Model::RGB || f.model == PixelFormat::Model::Gray) && bigEndianOrder;
    if (describable) {
        f.byteOrder = kCGBitmapByteOrderDefault;
        return f;
    }
    return *PixelFormat::image(image.width(), image.height(), 8, 32, image.width() * 4, kCGColorSpaceModelRGB,
        kCGImageAlphaPremultipliedLast);
}

CGColorSpaceRef spaceFor(const PixelFormat& f)
{
    return f.model == PixelFormat::Model::Gray ? CGColorSpaceCreateDeviceGray() : CGColorSpaceCreateDeviceRGB();
}

} // namespace

Ref<NSBitmapImageRep> NSBitmapImageRep::create(unsigned char** planes, long pixelsWide, long pixelsHigh,
    long bitsPerSample, long samplesPerPixel, bool hasAlpha, bool isPlanar, const std::string& colorSpaceName,
    NSBitmapFormat bitmapFormat, long bytesPerRow, long bitsPerPixel)
{
    if (pixelsWide < 1 || pixelsHigh < 1 || bitsPerSample != 8 || bytesPerRow < 0 || bitsPerPixel < 0
        || (bitmapFormat & NSBitmapFormatFloatingPointSamples))
        return nullptr;
    if (isPlanar && samplesPerPixel > 1)
        return nullptr;
    CGColorSpaceModel model;
    if (isRGBName(colorSpaceName))
        model = kCGColorSpaceModelRGB;
    else if (isWhiteName(colorSpaceName))
        model = kCGColorSpaceModelMonochrome;
    else
        return nullptr;
    long expected = (model == kCGColorSpaceModelRGB ? 3 : 1) + (hasAlpha ? 1 : 0);
    if (samplesPerPixel != expected)
        return nullptr;
    long bpp = bitsPerPixel ? bitsPerPixel : samplesPerPixel * 8;
    bool first = bitmapFormat & NSBitmapFormatAlphaFirst;
    bool nonPremultiplied = bitmapFormat & NSBitmapFormatAlphaNonpremultiplied;
    CGImageAlphaInfo alpha;
    if (!hasAlpha) {
        if (model == kCGColorSpaceModelRGB && bpp == 32)
            alpha = first ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaNoneSkipLast;
        else
            alpha = kCGImageAlphaNone;
    } else if (first) {
        alpha = nonPremultiplied ? kCGImageAlphaFirst : kCGImageAlphaPremultipliedFirst;
    } else {
        alpha = nonPremultiplied ? kCGImageAlphaLast : kCGImageAlphaPremultipliedLast;
    }
    auto format = PixelFormat::image(size_t(pixelsWide), size_t(pixelsHigh), 8, size_t(bpp), size_t(bytesPerRow),
        model, alpha);
    if (!format)
        return nullptr;
    uint8_t* external = planes ? planes[0] : nullptr;
    auto store = gfx::PixelStore::create(*format, external);
    if (!store)
        return nullptr;
    return makeRef<NSBitmapImageRep>(store, colorSpaceName, bitmapFormat);
}

Ref<NSBitmapImageRep> NSBitmapImageRep::createWithCGImage(const CGImageRef& image)
{
    return image ? makeRef<NSBitmapImageRep>(image) : nullptr;
}

Ref<NSBitmapImageRep> NSBitmapImageRep::imageRepWithData(const std::vector<uint8_t>& data)
{
    return createWithCGImage(CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(data), 0));
}

Ref<NSBitmapImageRep> NSBitmapImageRep::createWithFocusedViewRect(CGRect rect)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return nullptr;
    const auto& cg = context->CGContext();
    CGRect device = CGRectIntegral(CGRectApplyAffineTransform(rect, CGContextGetCTM(cg)));
    double height = double(cg->height());
    // Device space is y-up; image rows count from the top.
    CGRect rows = CGRectMake(device.origin.x, height - CGRectGetMaxY(device), device.size.width, device.size.height);
    auto part = CGImageCreateWithImageInRect(CGBitmapContextCreateImage(cg), rows);
    if (!part)
        return nullptr;
    auto rep = createWithCGImage(part);
    rep->materialize();
    return rep;
}

NSBitmapImageRep::NSBitmapImageRep(const Ref<gfx::PixelStore>& store, const std::string& colorSpaceName,
    NSBitmapFormat format)
    : m_store(store)
    , m_bitmapFormat(format)
{
    const auto& f = store->format();
    setPixelInfo(long(f.width), long(f.height), f.hasAlpha(), 8, colorSpaceName);
    setSize(CGSizeMake(double(f.width), double(f.height)));
}

NSBitmapImageRep::NSBitmapImageRep(const CGImageRef& image)
    : m_sourceImage(image)
{
    PixelFormat f = repFormatFor(*image);
    m_bitmapFormat = bitmapFormatFor(f);
    setPixelInfo(long(f.width), long(f.height), f.hasAlpha(), 8,
        f.model == PixelFormat::Model::Gray ? NSCalibratedWhiteColorSpace : NSCalibratedRGBColorSpace);
    setSize(CGSizeMake(double(f.width), double(f.height)));
}

void NSBitmapImageRep::materialize()
{
    if (m_store)
        return;
    PixelFormat target = repFormatFor(*m_sourceImage);
    m_store = gfx::PixelStore::create(target);
    if (!m_store)
        return;
    const auto& source = m_sourceImage->format();
    if (target.model == source.model && target.alpha == source.alpha && target.bitsPerPixel == source.bitsPerPixel
        && target.bytesPerRow == source.bytesPerRow) {
        const auto& bytes = m_sourceImage->dataProvider()->bytes();
        std::memcpy(m_store->mutableBytes(), bytes.data(), std::min(bytes.size(), target.byteCount()));
    } else if (cairo_surface_t* pixels = m_sourceImage->cairoSurface()) {
        cairo_t* cr = cairo_create(m_store->beginDrawing());
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, pixels, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        m_store->endDrawing();
    }
    m_cachedImage = m_sourceImage;
    m_cachedGeneration = m_store->generation();
}

Ref<gfx::PixelStore> NSBitmapImageRep::pixelStore()
{
    materialize();
    return m_store;
}

unsigned char* NSBitmapImageRep::bitmapData()
{
    materialize();
    return m_store ? m_store->mutableBytes() : nullptr;
}

long NSBitmapImageRep::bytesPerRow() const
{
    return long(m_store ? m_store->format().bytesPerRow : repFormatFor(*m_sourceImage).bytesPerRow);
}

long NSBitmapImageRep::bitsPerPixel() const
{
    return long(m_store ? m_store->format().bitsPerPixel : repFormatFor(*m_sourceImage).bitsPerPixel);
}

long NSBitmapImageRep::samplesPerPixel() const
{
    return samplesFor(m_store ? m_store->format() : repFormatFor(*m_sourceImage));
}

CGImageRef NSBitmapImageRep::CGImage()
{
    if (!m_store)
        return m_sourceImage;
    const uint8_t* bytes = m_store->bytes();
    if (m_cachedImage && m_cachedGeneration == m_store->generation())
        return m_cachedImage;
    const auto& f = m_store->format();
    m_cachedImage = makeRef<::CGImage>(f, spaceFor(f), CGDataProviderCreateWithData(bytes, f.byteCount()), true);
    m_cachedGeneration = m_store->generation();
    return m_cachedImage;
}

CGImageRef NSBitmapImageRep::CGImageForProposedRect(CGRect*, const Ref<NSGraphicsContext>&, const void*)
{
    return CGImage();
}

Ref<NSImageRep> NSBitmapImageRep::copy() const
{
    Ref<NSBitmapImageRep> rep;
    if (!m_store) {
        rep = makeRef<NSBitmapImageRep>(m_sourceImage);
    } else {
        auto store = gfx::PixelStore::create(m_store->format());
        if (!store)
            return nullptr;
        std::memcpy(store->mutableBytes(), m_store->bytes(), m_store->format().byteCount());
        rep = makeRef<NSBitmapImageRep>(store, colorSpaceName(), m_bitmapFormat);
    }
    rep->copyInfoFrom(*this);
    return rep;
}

Ref<NSColor> NSBitmapImageRep::colorAtX(long x, long y)
{
    if (x < 0 || y < 0 || x >= pixelsWide() || y >= pixelsHigh())
        return nullptr;
    materialize();
    if (!m_store)
        return nullptr;
    PixelFormat one = m_store->format();
    const uint8_t* row = m_store->bytes() + size_t(y) * one.bytesPerRow + size_t(x) * one.bitsPerPixel / 8;
    one.width = 1;
    uint32_t pixel;
    gfx::unpackRow(one, row, &pixel);
    uint8_t a = uint8_t(pixel >> 24);
    CGFloat r = gfx::unpremultiply(uint8_t(pixel >> 16), a) / 255.0;
    CGFloat g = gfx::unpremultiply(uint8_t(pixel >> 8), a) / 255.0;
    CGFloat b = gfx::unpremultiply(uint8_t(pixel), a) / 255.0;
    if (one.model == PixelFormat::Model::Gray)
        return NSColor::colorWithCalibratedWhite(r, a / 255.0);
    return NSColor::colorWithCalibratedRed(r, g, b, a / 255.0);
}

std::optional<std::vector<uint8_t>> NSBitmapImageRep::representationUsingType(NSBitmapImageFileType type)
{
    if (type != NSBitmapImageFileTypePNG)
        return std::nullopt;
    auto png = CGImageCreatePNGData(CGImage());
    if (png.empty())
        return std::nullopt;
    return png;
}

Ref<NSColor> NSReadPixel(CGPoint point)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return nullptr;
    const auto& cg = context->CGContext();
    CGPoint device = CGContextConvertPointToDeviceSpace(cg, point);
    double x = std::floor(device.x), yUp = std::floor(device.y);
    double w = double(cg->width()), h = double(cg->height());
    if (x < 0 || yUp < 0 || x >= w || yUp >= h)
        return nullptr;
    PixelFormat one = cg->store().format();
    size_t row = size_t(h - 1 - yUp);
    const uint8_t* bytes = cg->store().bytes() + row * one.bytesPerRow + size_t(x) * one.bitsPerPixel / 8;
    one.width = 1;
    uint32_t pixel;
    if (one.model == PixelFormat::Model::AlphaOnly)
        pixel = gfx::argb(bytes[0], 0, 0, 0);
    else
        gfx::unpackRow(one, bytes, &pixel);
    uint8_t a = uint8_t(pixel >> 24);
    return NSColor::colorWithCalibratedRed(gfx::unpremultiply(uint8_t(pixel >> 16), a) / 255.0,
        gfx::unpremultiply(uint8_t(pixel >> 8), a) / 255.0, gfx::unpremultiply(uint8_t(pixel), a) / 255.0, a / 255.0);
}
