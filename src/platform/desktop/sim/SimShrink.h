// Window pictures of the simulated desktop shrunk for reads of what lies
// beneath an own window.
#pragma once

typedef struct _cairo_surface cairo_surface_t;

// The alpha of the line the desktop draws around every generated window
// (0.35 of 255, as the renderer rounds it).
inline constexpr double kSimFrameLineAlpha = 0.35;

// What drawing an opaque window whose picture is as large as its frame, at
// a whole-pixel place, then its frame line, gives shrunk by averaging: each
// pixel of `copy` is the rounded mean of its block of `reduction` x
// `reduction` pixels of the window as it lies `phaseX`, `phaseY` pixels into
// a transparent area, its frame line over its edge pixels. Both surfaces
// are ARGB32; the copy's size is the caller's (blocks beyond the window stay
// clear).
void averageWindowBlocks(cairo_surface_t* picture, int phaseX, int phaseY, int reduction, cairo_surface_t* copy);
