// Internal: pixel memory shared by a bitmap representation, the contexts
// drawing into it and the images made from it.
//
// Cairo draws only into its own layouts. When the memory has another layout
// (RGBA, gray), a Cairo mirror surface is kept beside it and the two are
// brought up to date lazily: drawing marks the bytes stale, handing out the
// bytes marks the mirror stale. Memory that belongs to the caller of
// CGBitmapContextCreate is synchronised around every drawing operation,
// because the caller may read it at any time.
#pragma once

#include "PixelFormat.h"

#include <foundation/Ref.h>

#include <cairo.h>
#include <vector>

namespace gfx {

class PixelStore {
public:
    // Owned memory is cleared to zero. Null when the memory cannot be had.
    static Ref<PixelStore> create(const PixelFormat& format, uint8_t* external = nullptr);
    PixelStore(const PixelFormat& format, uint8_t* external);
    ~PixelStore();
    PixelStore(const PixelStore&) = delete;
    PixelStore& operator=(const PixelStore&) = delete;

    const PixelFormat& format() const { return m_format; }
    bool canDraw() const { return m_format.isContextFormat(); }

    // The current pixels, read-only.
    const uint8_t* bytes();
    // The current pixels; the caller may change them.
    uint8_t* mutableBytes();
    // The surface to draw into, brought up to date. Pair with endDrawing().
    cairo_surface_t* beginDrawing();
    void endDrawing();
    // The drawing surface, made on first use, without bringing it up to date.
    cairo_surface_t* surface();
    // Grows whenever the pixels may have changed.
    uint64_t generation() const { return m_generation; }

private:
    void upload();
    void download();

    PixelFormat m_format;
    std::vector<uint8_t> m_owned;
    uint8_t* m_data { nullptr };
    bool m_external { false };
    bool m_direct { false };
    cairo_surface_t* m_surface { nullptr };
    bool m_surfaceStale { true };
    bool m_bytesStale { false };
    uint64_t m_generation { 0 };
};

} // namespace gfx
