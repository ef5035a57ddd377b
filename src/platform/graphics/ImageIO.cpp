#include "ImageIO.h"

#include "internal/PixelFormat.h"

#include <foundation/AtomicFile.h>
#include <foundation/PNGDecoding.h>

#include <algorithm>
#include <cairo.h>
#include <cstring>
#include <fstream>
#include <memory>
#include <png.h>

namespace {

constexpr uint8_t kPNGSignature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };

} // namespace

CGImageSourceRef CGImageSourceCreateWithData(const std::vector<uint8_t>& data)
{
    if (data.size() < sizeof(kPNGSignature) || std::memcmp(data.data(), kPNGSignature, sizeof(kPNGSignature)))
        return nullptr;
    return makeRef<CGImageSource>(data);
}

CGImageSourceRef CGImageSourceCreateWithURL(const std::string& path)
{
    auto data = readFileContents(path, nullptr, kMaxPictureFileBytes);
    return data ? CGImageSourceCreateWithData(*data) : nullptr;
}

size_t CGImageSourceGetCount(const CGImageSourceRef& source) { return source ? 1 : 0; }

std::string CGImageSourceGetType(const CGImageSourceRef& source) { return source ? source->type() : std::string(); }

CGImageRef CGImageSourceCreateImageAtIndex(const CGImageSourceRef& source, size_t index)
{
    if (!source || index != 0)
        return nullptr;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const auto& data = source->data();
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
        return nullptr;
    if (!pngSizeIsPlausible(image.width, image.height, data.size())) {
        png_image_free(&image);
        return nullptr;
    }
    bool hasAlpha = image.format & PNG_FORMAT_FLAG_ALPHA;
    image.format = PNG_FORMAT_RGBA;
    size_t bytesPerRow = size_t(image.width) * 4;
    std::vector<uint8_t> pixels(bytesPerRow * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), png_int_32(bytesPerRow), nullptr)) {
        png_image_free(&image);
        return nullptr;
    }
    png_image_free(&image);
    return CGImageCreate(image.width, image.height, 8, 32, bytesPerRow, CGColorSpaceCreateDeviceRGB(),
        hasAlpha ? kCGImageAlphaLast : kCGImageAlphaNoneSkipLast, CGDataProviderCreateWithBytes(std::move(pixels)));
}

CGImageRef CGImageSourceCreateThumbnailAtIndex(
    const CGImageSourceRef& source, size_t index, size_t fitWidth, size_t fitHeight)
{
    if (!source || index != 0)
        return nullptr;
    const auto& data = source->data();
    auto clamp = [](size_t side) { return uint32_t(std::min<size_t>(side, kMaxPNGSide)); };
    auto decoded = decodePNG(data.data(), data.size(), clamp(fitWidth), clamp(fitHeight));
    if (!decoded)
        return nullptr;
    size_t bytesPerRow = size_t(decoded->width) * 4;
    return CGImageCreate(decoded->width, decoded->height, 8, 32, bytesPerRow, CGColorSpaceCreateDeviceRGB(),
        decoded->hasAlpha ? kCGImageAlphaLast : kCGImageAlphaNoneSkipLast,
        CGDataProviderCreateWithBytes(std::move(decoded->rgba)));
}

namespace {

// How pictures are compressed. The pictures written are mostly of the
// desktop and the switcher: flat colour, edges and text, where predicting a
// row from its neighbours gains little; unfiltered rows at a light level of
// compression are several times faster to write than trying every filter at
// the default level, and their files are about as small.
constexpr int kPNGCompressionLevel = 3;

void appendPNGBytes(png_structp png, png_bytep bytes, size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), bytes, bytes + length);
}

void flushNothing(png_structp) { }

// Writes the picture's rows as 8-bit RGBA with straight colour, marked as
// sRGB; false when the writer failed (the output is then unusable).
bool writePNG(std::vector<uint8_t>* out, const uint8_t* base, size_t stride, size_t width, size_t height)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    // Kept in a heap buffer, so that nothing on this frame changes between
    // the jump point and a jump back to it.
    std::unique_ptr<uint8_t[]> row(new uint8_t[width * 4]);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, out, appendPNGBytes, flushNothing);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, kPNGCompressionLevel);
    png_write_info(png, info);
    for (size_t y = 0; y < height; ++y) {
        auto* words = reinterpret_cast<const uint32_t*>(base + y * stride);
        uint8_t* pixel = row.get();
        for (size_t x = 0; x < width; ++x, pixel += 4) {
            uint32_t p = words[x];
            uint8_t a = uint8_t(p >> 24);
            pixel[0] = gfx::unpremultiply(uint8_t(p >> 16), a);
            pixel[1] = gfx::unpremultiply(uint8_t(p >> 8), a);
            pixel[2] = gfx::unpremultiply(uint8_t(p), a);
            pixel[3] = a;
        }
        png_write_row(png, row.get());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::vector<uint8_t> CGImageCreatePNGData(const CGImageRef& cg)
{
    if (!cg)
        return {};
    cairo_surface_t* surface = cg->cairoSurface();
    if (!surface)
        return {};
    cairo_surface_flush(surface);
    size_t w = cg->width(), h = cg->height();
    if (w == 0 || h == 0 || w > PNG_UINT_31_MAX || h > PNG_UINT_31_MAX)
        return {};
    std::vector<uint8_t> out;
    // Room for a file a quarter of the raw pixels: most fit without growing.
    out.reserve(w * h + 1024);
    if (!writePNG(&out, cairo_image_surface_get_data(surface), size_t(cairo_image_surface_get_stride(surface)), w, h))
        return {};
    out.shrink_to_fit();
    return out;
}

CGImageDestinationRef CGImageDestinationCreateWithData(std::vector<uint8_t>* data, const std::string& type,
    size_t count)
{
    if (!data || type != kUTTypePNG || count != 1)
        return nullptr;
    return makeRef<CGImageDestination>(data, std::string());
}

CGImageDestinationRef CGImageDestinationCreateWithURL(const std::string& path, const std::string& type, size_t count)
{
    if (path.empty() || type != kUTTypePNG || count != 1)
        return nullptr;
    return makeRef<CGImageDestination>(nullptr, path);
}

void CGImageDestinationAddImage(const CGImageDestinationRef& destination, const CGImageRef& image)
{
    if (destination)
        destination->m_image = image;
}

bool CGImageDestinationFinalize(const CGImageDestinationRef& destination)
{
    if (!destination || !destination->m_image)
        return false;
    auto png = CGImageCreatePNGData(destination->m_image);
    if (png.empty())
        return false;
    if (destination->m_data) {
        *destination->m_data = std::move(png);
        return true;
    }
    std::ofstream out(destination->m_path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    out.close();
    return bool(out);
}
