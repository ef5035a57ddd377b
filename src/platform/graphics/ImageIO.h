// Reading and writing encoded images (ImageIO). PNG is the one format:
// sources read it, destinations write it. Data that is not a whole, valid
// image gives null, never a crash.
#pragma once

#include "CGImage.h"

#include <string>
#include <vector>

inline constexpr const char* kUTTypePNG = "public.png";

class CGImageSource {
public:
    explicit CGImageSource(std::vector<uint8_t> data)
        : m_data(std::move(data))
    {
    }
    const std::vector<uint8_t>& data() const { return m_data; }
    std::string type() const { return kUTTypePNG; }

private:
    std::vector<uint8_t> m_data;
};

using CGImageSourceRef = Ref<CGImageSource>;

// Null unless the data starts like a PNG file.
CGImageSourceRef CGImageSourceCreateWithData(const std::vector<uint8_t>& data);
CGImageSourceRef CGImageSourceCreateWithURL(const std::string& path);
size_t CGImageSourceGetCount(const CGImageSourceRef&);
std::string CGImageSourceGetType(const CGImageSourceRef&);
// The decoded image: RGB with alpha (kCGImageAlphaLast) or without
// (kCGImageAlphaNoneSkipLast), 8 bits per component. Null for a bad index
// or data that does not decode.
CGImageRef CGImageSourceCreateImageAtIndex(const CGImageSourceRef&, size_t index);
// The image shrunk while it is decoded, by the largest whole factor that
// leaves it at least fitWidth x fitHeight pixels (each pixel the mean of its
// block), so a picture many times that size is never held whole. Null as
// for CGImageSourceCreateImageAtIndex.
CGImageRef CGImageSourceCreateThumbnailAtIndex(
    const CGImageSourceRef&, size_t index, size_t fitWidth, size_t fitHeight);

class CGImageDestination {
public:
    CGImageDestination(std::vector<uint8_t>* data, std::string path)
        : m_data(data)
        , m_path(std::move(path))
    {
    }
    std::vector<uint8_t>* m_data;
    std::string m_path;
    CGImageRef m_image;
};

using CGImageDestinationRef = Ref<CGImageDestination>;

// Null for a type other than kUTTypePNG or a count other than 1.
CGImageDestinationRef CGImageDestinationCreateWithData(std::vector<uint8_t>* data, const std::string& type,
    size_t count);
CGImageDestinationRef CGImageDestinationCreateWithURL(const std::string& path, const std::string& type, size_t count);
void CGImageDestinationAddImage(const CGImageDestinationRef&, const CGImageRef&);
// Encodes and writes; false when there is no image or writing fails.
bool CGImageDestinationFinalize(const CGImageDestinationRef&);

// The PNG encoding of an image, unpremultiplied RGBA; empty on failure.
std::vector<uint8_t> CGImageCreatePNGData(const CGImageRef&);
