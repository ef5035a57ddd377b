// The stack blur of a pixel buffer: a triangular-kernel blur computed with
// moving sums over a ring buffer, in integers. The toolkit's image blur and
// the visual-effect views' backdrops both use it.
#pragma once

#include <cstdint>

// Radii above this are treated as this one; beyond it the 32-bit sums of a
// 255-valued channel would overflow.
inline constexpr int kStackBlurMaxRadius = 2895;

// Blurs bytes 0, 1 and 2 of every 4-byte pixel of a tightly packed buffer in
// place; byte 3 is left alone. Nothing happens for a null buffer, an empty
// size or a radius below 1. Large pictures are blurred on several threads;
// any thread may call this, also several at once.
void stackBlurRGBX(uint8_t* buffer, int width, int height, int radius);

// The same blur from one buffer into another of the same size (or the same
// one): byte 3 of every pixel is copied, and a radius below 1 copies the
// picture as it is. Without a buffer to keep, this saves the copy that an
// in-place blur of a picture that must stay would need.
void stackBlurRGBX(const uint8_t* source, uint8_t* destination, int width, int height, int radius);
