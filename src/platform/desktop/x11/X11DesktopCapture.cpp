// Window captures for previews. The root window's children are redirected
// (Composite, automatic), so a client's pixels can be read even where
// other windows cover it; a capture is kept until Damage says the window
// drew again, so a second capture of an unchanged window costs nothing.
// Large images travel through shared memory (SHM) where the server offers
// it.
#include "X11Client.h"
#include "X11Connection.h"
#include "X11Desktop.h"

#include <xcb/damage.h>
#include <xcb/shm.h>

#include <algorithm>

#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

// Pixels as the server answers them for a 24- or 32-bit window: 32-bit
// words, blue in the low byte. A 24-bit window is opaque.
DesktopImage imageFromPixels(const uint8_t* data, int width, int height, uint8_t depth)
{
    DesktopImage image;
    image.width = width;
    image.height = height;
    image.rgba.resize(size_t(width) * height * 4);
    size_t count = size_t(width) * height;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = data + i * 4;
        uint8_t* out = image.rgba.data() + i * 4;
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
        out[3] = depth == 32 ? p[3] : 255;
    }
    return image;
}

// Reads through a shared memory segment; nothing when it cannot.
std::optional<DesktopImage> readShared(xcb_connection_t* c, xcb_window_t window, int width, int height)
{
    size_t size = size_t(width) * height * 4;
    int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0)
        return std::nullopt;
    void* memory = shmat(id, nullptr, 0);
    // The segment goes when the last one detaches.
    shmctl(id, IPC_RMID, nullptr);
    if (memory == reinterpret_cast<void*>(-1))
        return std::nullopt;
    std::optional<DesktopImage> image;
    xcb_shm_seg_t segment = xcb_generate_id(c);
    xcb_shm_attach(c, segment, id, 0);
    std::unique_ptr<xcb_shm_get_image_reply_t, decltype(&free)> reply(
        xcb_shm_get_image_reply(c,
            xcb_shm_get_image(c, window, 0, 0, width, height, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0), nullptr),
        &free);
    if (reply && (reply->depth == 24 || reply->depth == 32) && reply->size >= size)
        image = imageFromPixels(static_cast<const uint8_t*>(memory), width, height, reply->depth);
    xcb_shm_detach(c, segment);
    xcb_flush(c);
    shmdt(memory);
    return image;
}

std::optional<DesktopImage> readDirect(xcb_connection_t* c, xcb_window_t window, int width, int height)
{
    std::unique_ptr<xcb_get_image_reply_t, decltype(&free)> reply(
        xcb_get_image_reply(c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, width, height, ~0u), nullptr),
        &free);
    if (!reply || (reply->depth != 24 && reply->depth != 32)
        || size_t(xcb_get_image_data_length(reply.get())) < size_t(width) * height * 4)
        return std::nullopt;
    return imageFromPixels(xcb_get_image_data(reply.get()), width, height, reply->depth);
}

// Captures smaller than this go without shared memory: setting a segment up
// costs more than it saves.
constexpr size_t kSharedMemoryPixels = 64 * 64;

}

std::optional<DesktopImage> X11Desktop::captureWindow(CGWindowID number)
{
    if (auto own = captureOwnWindow(number))
        return own;
    auto* c = m_x->connection();
    int width, height;
    {
        std::lock_guard lock(m_mutex);
        auto* client = clientLocked(number);
        // A minimised window or one on another desktop is unmapped: it has
        // no pixels to read.
        if (!client || !onScreenLocked(*client) || !m_connected)
            return std::nullopt;
        width = int(client->frame.size.width);
        height = int(client->frame.size.height);
        if (width <= 0 || height <= 0)
            return std::nullopt;
        // A window larger than the screen is read only as far as the screen
        // could show it (from its top-left corner): a capture never costs
        // more than a screenful.
        width = std::min(width, int(m_x->screen()->width_in_pixels));
        height = std::min(height, int(m_x->screen()->height_in_pixels));
        auto& capture = m_captures[number];
        if (capture.valid && capture.image.width == width && capture.image.height == height)
            return capture.image;
        if (m_x->hasDamage() && !capture.damage) {
            capture.damage = xcb_generate_id(c);
            xcb_damage_create(c, capture.damage, number, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        }
        // Damage that arrives while the pixels travel makes this capture
        // stale again.
        capture.valid = m_x->hasDamage();
    }
    std::optional<DesktopImage> image;
    if (m_sharedMemoryCaptures && m_x->hasShm() && size_t(width) * height >= kSharedMemoryPixels) {
        image = readShared(c, number, width, height);
        if (image)
            ++m_sharedReads;
    }
    if (!image) {
        image = readDirect(c, number, width, height);
        if (image)
            ++m_directReads;
    }
    std::lock_guard lock(m_mutex);
    auto it = m_captures.find(number);
    if (!image) {
        if (it != m_captures.end())
            it->second.valid = false;
        return std::nullopt;
    }
    if (it != m_captures.end())
        it->second.image = *image;
    return image;
}
