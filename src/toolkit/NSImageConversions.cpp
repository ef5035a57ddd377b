// Grayscale, Core Graphics image and BMP conversions of NSImageTKExtensions.
#include "NSImageTKExtensions.h"

#include "TKImageMaker.h"

#include <graphics/ImageIO.h>
#include <graphics/NSBezierPath.h>
#include <graphics/NSGraphicsContext.h>

#include <cstring>

CGImageRef NSImageTKExtensions::CGImageFromData(const std::vector<uint8_t>& data)
{
    auto source = CGImageSourceCreateWithData(data);
    return source ? CGImageSourceCreateImageAtIndex(source, 0) : nullptr;
}

CGImageRef NSImageTKExtensions::nsImageToCGImageRef(const Ref<NSImage>& image)
{
    if (!image)
        return nullptr;
    auto data = image->TIFFRepresentation();
    return data.empty() ? nullptr : CGImageFromData(data);
}

CGImageRef NSImageTKExtensions::CGImageFromNSImage(const Ref<NSImage>& image) { return nsImageToCGImageRef(image); }

Ref<NSImage> NSImageTKExtensions::imageFromCGImageRefWithFocus(const CGImageRef& cg)
{
    if (!cg)
        return nullptr;
    CGSize size = CGSizeMake(double(CGImageGetWidth(cg)), double(CGImageGetHeight(cg)));
    auto image = NSImage::create(size);
    image->lockFocus();
    if (auto context = NSGraphicsContext::currentContext())
        CGContextDrawImage(context->CGContext(), CGRect { {}, size }, cg);
    image->unlockFocus();
    return image;
}

Ref<NSImage> NSImageTKExtensions::imageFromCGImageRef(const CGImageRef& cg)
{
    if (!cg)
        return nullptr;
    CGSize size = CGSizeMake(double(CGImageGetWidth(cg)), double(CGImageGetHeight(cg)));
    auto maker = TKImageMaker::maker(size);
    maker->lockFocus();
    if (auto context = NSGraphicsContext::currentContext()) {
        const auto& c = context->CGContext();
        CGInterpolationQuality saved = CGContextGetInterpolationQuality(c);
        CGContextSetInterpolationQuality(c, kCGInterpolationHigh);
        CGContextDrawImage(c, CGRect { {}, size }, cg);
        CGContextSetInterpolationQuality(c, saved);
    }
    return maker->unlockFocus();
}

Ref<NSImage> NSImageTKExtensions::grayscaleImage(const Ref<NSImage>& image)
{
    if (!image)
        return nullptr;
    CGSize size = image->size();
    auto w = size_t(size.width > 0 ? size.width : 0);
    auto h = size_t(size.height > 0 ? size.height : 0);
    CGRect rect = CGRect { {}, size };
    auto grayContext = CGBitmapContextCreate(nullptr, w, h, 8, 0, CGColorSpaceCreateDeviceGray(), kCGImageAlphaNone);
    auto maskContext = CGBitmapContextCreate(nullptr, w, h, 8, 0, nullptr, kCGImageAlphaOnly);
    auto pixels = nsImageToCGImageRef(image);
    if (!grayContext || !maskContext || !pixels)
        return nullptr;
    CGContextDrawImage(grayContext, rect, pixels);
    CGContextDrawImage(maskContext, rect, nsImageToCGImageRef(image));
    auto combined = CGImageCreateWithMask(CGBitmapContextCreateImage(grayContext), CGBitmapContextCreateImage(maskContext));
    return imageFromCGImageRefWithFocus(combined);
}

namespace {

void appendLE(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

// A bitmap the BMP writer can read in place: 8-bit meshed samples, red,
// green and blue first. Others (gray, alpha first) are drawn into one.
bool readableAsRGB(NSBitmapImageRep& rep)
{
    return rep.bitsPerSample() == 8 && !rep.isPlanar() && rep.samplesPerPixel() >= 3
        && !(rep.bitmapFormat() & NSBitmapFormatAlphaFirst) && rep.bitsPerPixel() == 8 * rep.samplesPerPixel()
        && rep.bytesPerRow() >= rep.pixelsWide() * rep.samplesPerPixel();
}

Ref<NSBitmapImageRep> drawnBitmap(const Ref<NSImage>& image)
{
    CGSize size = image->size();
    auto scratch = NSImage::create(size);
    scratch->lockFocus();
    NSColor::clearColor()->set();
    NSRectFillUsingOperation(CGRect { {}, size }, NSCompositingOperationCopy);
    image->drawInRect(CGRect { {}, size }, CGRectZero, NSCompositingOperationSourceOver, 1.0);
    auto rep = NSBitmapImageRep::createWithFocusedViewRect(CGRect { {}, size });
    scratch->unlockFocus();
    return rep;
}

} // namespace

std::vector<uint8_t> NSImageTKExtensions::bmpData(const Ref<NSImage>& image)
{
    if (!image)
        return {};
    auto source = imageRepOfClass<NSBitmapImageRep>(image);
    if (!source || !readableAsRGB(*source))
        source = drawnBitmap(image);
    if (!source || !readableAsRGB(*source))
        return {};
    auto w = uint32_t(source->pixelsWide());
    auto h = uint32_t(source->pixelsHigh());
    long spp = source->samplesPerPixel();
    long sourceRow = source->bytesPerRow();
    uint32_t rowLength = (3 * w + 3) & ~3u;
    uint32_t imageSize = rowLength * h;
    constexpr uint32_t kHeaderSize = 54;

    std::vector<uint8_t> out;
    out.reserve(kHeaderSize + imageSize);
    out.push_back('B');
    out.push_back('M');
    // The file size is filled in: readers check it against the data.
    appendLE(out, kHeaderSize + imageSize, 4);
    appendLE(out, 0, 2);
    appendLE(out, 0, 2);
    appendLE(out, kHeaderSize, 4);
    appendLE(out, 40, 4);
    appendLE(out, w, 4);
    appendLE(out, h, 4);
    appendLE(out, 1, 2);
    appendLE(out, 24, 2);
    appendLE(out, 0, 4);
    appendLE(out, imageSize, 4);
    for (int i = 0; i < 4; ++i)
        appendLE(out, 0, 4);

    const unsigned char* data = source->bitmapData();
    out.resize(kHeaderSize + imageSize, 0);
    uint8_t* pixels = out.data() + kHeaderSize;
    for (uint32_t j = 0; j < h; ++j) {
        const unsigned char* row = data + long(h - 1 - j) * sourceRow;
        uint8_t* dst = pixels + size_t(j) * rowLength;
        for (uint32_t i = 0; i < w; ++i) {
            const unsigned char* p = row + long(i) * spp;
            dst[3 * i] = p[2];
            dst[3 * i + 1] = p[1];
            dst[3 * i + 2] = p[0];
        }
    }
    return out;
}
