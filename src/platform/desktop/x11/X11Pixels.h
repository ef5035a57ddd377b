// Pixel rows between the forms this process draws and reads (RGBA bytes,
// premultiplied) and the X server's 24- and 32-bit pixels (32-bit words,
// blue in the low byte). Loops the compiler vectorises: a panel's frame and
// the screen read beneath it pass through here at every opening.
#pragma once

#include <cstddef>
#include <cstdint>

namespace X11Pixels {

// The dark of an empty desktop, beyond what could be read of the screen.
constexpr uint8_t kEmptyDesktopGrey = 13;

// Whether every pixel of a row of RGBA is opaque.
bool rowIsOpaque(const uint8_t* rgba, int width);
// An opaque RGBA row in the server's order.
void opaqueToServer(const uint8_t* rgba, uint8_t* out, int width);
// A row with translucent pixels in the server's order, laid over `under`
// (RGBA, the pixel beneath the row's first one at `under + offset * 4`,
// `underWidth` pixels in all); where nothing lies beneath, over the opaque
// RGBA pixel `backdrop`, or without one over the pixel's own colour made
// opaque, and a clear one over `emptyGrey`.
void blendToServer(const uint8_t* rgba, uint8_t* out, int width, const uint8_t* under, int offset, int underWidth,
    uint8_t emptyGrey, const uint8_t* backdrop = nullptr);
// The server's pixels as RGBA: alpha from the words' high byte when
// `withAlpha`, opaque otherwise.
void serverToRGBA(const uint8_t* server, uint8_t* rgba, size_t count, bool withAlpha);

}
