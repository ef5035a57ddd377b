// A shared memory segment that this process and the X server both map, for
// pixels that would otherwise travel through the socket: images read from
// the server (ShmGetImage) and frames sent to it (ShmPutImage). The segment
// is kept and grown as needed, so a frame costs no fresh pages.
#pragma once

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>

class X11Connection;

class X11SharedPixels {
public:
    X11SharedPixels() = default;
    ~X11SharedPixels();
    X11SharedPixels(const X11SharedPixels&) = delete;
    X11SharedPixels& operator=(const X11SharedPixels&) = delete;

    // Makes room for at least `bytes`, attached on the server; false when
    // the system or the server refuses a segment.
    bool reserve(X11Connection& x, size_t bytes);
    // Gives the segment back (detached from the server).
    void release();

    uint8_t* data() const { return m_memory; }
    xcb_shm_seg_t segment() const { return m_segment; }
    size_t size() const { return m_size; }

private:
    xcb_connection_t* m_connection { nullptr };
    uint8_t* m_memory { nullptr };
    size_t m_size { 0 };
    xcb_shm_seg_t m_segment { 0 };
};
