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

// Writes only the pixels of columns x0..x1 and rows y0..y1 (ends excluded)
// of the enlarged picture, each as the whole enlargement has it, the pixel
// (x0, y0) at out: a part of the enlargement drawn straight where it shows.
// Large parts are filtered in bands of rows on several threads. Nothing is
// written for a part outside the enlarged picture or a factor out of range.
void enlargePixelsBilinearPart(const uint8_t* in, int width, int height, size_t stride, int factor, int x0, int y0,
    int x1, int y1, uint8_t* out, size_t outStride);
