// Decoding PNG data row by row into straight RGBA, shrunk on the way where
// a smaller picture is all that is wanted: a desktop picture many times the
// screen's size is averaged down as its rows arrive, so the whole of it is
// never held. Both the graphics layer's image sources and the simulated
// desktop's screen pictures read through here, with the same bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Pictures claiming more than this many pixels (8192 x 8192, 256 MB
// decoded) or a side longer than 32767 are refused unread.
inline constexpr uint64_t kMaxPNGPixels = uint64_t(8192) * 8192;
inline constexpr uint32_t kMaxPNGSide = 32767;
// Picture files are read whole before they are decoded: a file larger than
// any picture within those bounds needs (128 MiB) is refused unread.
inline constexpr size_t kMaxPictureFileBytes = size_t(128) << 20;

// Whether a header's size is one the encoded bytes could really hold and one
// worth decoding, decided before anything is allocated.
bool pngSizeIsPlausible(uint32_t width, uint32_t height, size_t encodedBytes);

struct DecodedPNG {
    uint32_t width { 0 };
    uint32_t height { 0 };
    bool hasAlpha { false };
    // Straight (not premultiplied) R, G, B, A bytes, rows packed.
    std::vector<uint8_t> rgba;
};

// Decodes the data, shrunk by the largest whole factor that leaves both
// sides at least fitWidth x fitHeight (0 for either: no shrinking): each
// pixel of the result is the mean of a block of the picture's, weighted by
// opacity. Nothing for data that is no whole, plausible PNG picture.
std::optional<DecodedPNG> decodePNG(const uint8_t* data, size_t size, uint32_t fitWidth = 0, uint32_t fitHeight = 0);
