// Pixel rows between the forms this process draws and reads and the X
// server's 24- and 32-bit pixels (32-bit words, blue in the low byte). The
// drawing code keeps ARGB32 words (premultiplied), which are the server's
// words once opaque: an opaque row goes to the server as it is. Loops the
// compiler vectorises: a panel's frame and the screen read beneath it pass
// through here at every opening.
#pragma once

#include <cstddef>
#include <cstdint>

namespace X11Pixels {

// The dark of an empty desktop, beyond what could be read of the screen.
constexpr uint8_t kEmptyDesktopGrey = 13;
// The largest block `averageBlocksToRGBA` averages (as a side).
constexpr int kMaxBlock = 16;

// Whether every pixel of a row of 32-bit words is opaque (alpha in the high
// byte).
bool rowIsOpaque(const uint8_t* argb, int width);
// A row of ARGB32 words with translucent pixels in the server's order, laid
// over `under` (the server's pixels, the one beneath the row's first pixel
// at `under + offset * 4`, `underWidth` pixels in all); where nothing lies
// beneath, over the opaque pixel `backdrop` (the server's order), or
// without one over the pixel's own colour made opaque, and a clear one over
// `emptyGrey`.
void blendToServer(const uint8_t* argb, uint8_t* out, int width, const uint8_t* under, int offset, int underWidth,
    uint8_t emptyGrey, const uint8_t* backdrop = nullptr);
// The server's pixels as RGBA: alpha from the words' high byte when
// `withAlpha`, opaque otherwise.
void serverToRGBA(const uint8_t* server, uint8_t* rgba, size_t count, bool withAlpha);
// Opaque pixels of the server (rows `stride` bytes apart) shrunk by a whole
// `factor` (1 to kMaxBlock): each RGBA pixel of the result (opaque, rows of
// ceil(width / factor) pixels) is the rounded mean of a block of factor x
// factor pixels, narrower or shorter at the right and bottom edges.
void averageBlocksToRGBA(const uint8_t* server, int width, int height, size_t stride, int factor, uint8_t* rgba);

}
