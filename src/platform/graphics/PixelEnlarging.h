// Enlarging 32-bit pixels by a whole factor with bilinear filtering, as the
// renderer draws a small picture scaled up, in one pass the compiler can
// keep in registers: a blurred backdrop kept at a fraction of its size is
// made whole once instead of being filtered at every paint.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kMaxPixelEnlargement = 16;

// Writes outWidth x outHeight pixels (at most width and height times the
// factor, 1 to kMaxPixelEnlargement) into rows outStride bytes apart: each
// sampled at its centre from the four source pixels around it, the edges
// extended. Each of a pixel's four bytes is filtered on its own, so the
// result keeps the source's channel order. Nothing is written for sizes or
// a factor out of range.
void enlargePixelsBilinear(const uint8_t* in, int width, int height, size_t stride, int factor, uint8_t* out,
    int outWidth, int outHeight, size_t outStride);
