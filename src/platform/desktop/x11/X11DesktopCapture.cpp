// Window captures for previews. The root window's children are redirected
// (Composite, automatic), so a client's pixels can be read even where
// other windows cover it; a capture is kept until Damage says the window
// drew again, so a second capture of an unchanged window costs nothing.
// Large images travel through shared memory (SHM) where the server offers
// it.
#include "X11Client.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Pixels.h"
#include "X11Property.h"

#include <xcb/damage.h>
#include <xcb/shm.h>

#include <foundation/LargeBuffers.h>
#include <foundation/RunLoop.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

// Pixels as the server answers them for a 24- or 32-bit window: 32-bit
// words, blue in the low byte. A 24-bit window is opaque.
DesktopImage imageFromPixels(const uint8_t* data, int width, int height, uint8_t depth)
{
    DesktopImage image;
    image.width = width;
    image.height = height;
    image.rgba.resize(size_t(width) * height * 4);
    X11Pixels::serverToRGBA(data, image.rgba.data(), size_t(width) * height, depth == 32);
    return image;
}

// Reads through the kept shared memory segment; nothing when it cannot.
std::optional<DesktopImage> readShared(
    X11Connection& x, X11SharedPixels& pixels, xcb_window_t window, int width, int height)
{
    auto* c = x.connection();
    size_t size = size_t(width) * height * 4;
    if (!pixels.reserve(x, size))
        return std::nullopt;
    auto reply = x.reply(xcb_shm_get_image_reply,
        xcb_shm_get_image(c, window, 0, 0, width, height, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, pixels.segment(), 0));
    if (!reply || (reply->depth != 24 && reply->depth != 32) || reply->size < size)
        return std::nullopt;
    return imageFromPixels(pixels.data(), width, height, reply->depth);
}

std::optional<DesktopImage> readDirect(X11Connection& connection, xcb_window_t window, int width, int height)
{
    auto reply = connection.reply(xcb_get_image_reply,
        xcb_get_image(connection.connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, uint16_t(width), uint16_t(height),
            ~0u));
    if (!reply || (reply->depth != 24 && reply->depth != 32)
        || size_t(xcb_get_image_data_length(reply.get())) < size_t(width) * height * 4)
        return std::nullopt;
    return imageFromPixels(xcb_get_image_data(reply.get()), width, height, reply->depth);
}

// Captures smaller than this go without shared memory: setting a segment up
// costs more than it saves.
constexpr size_t kSharedMemoryPixels = 64 * 64;

}

void X11Desktop::waitForRestore(xcb_window_t window)
{
    MutexLock lock(m_restoreMutex);
    auto it = m_restoring.find(window);
    if (it == m_restoring.end())
        return;
    double seconds = std::max(0.0, it->second - steadySeconds());
    m_restored.wait_for(lock.native(), std::chrono::duration<double>(seconds),
        [&]() REQUIRES(m_restoreMutex) { return !m_restoring.count(window); });
    m_restoring.erase(window);
}

uint64_t X11Desktop::beginOpening()
{
    MutexLock lock(m_openingMutex);
    m_openingUntil = steadySeconds() + kOpeningWaitSeconds;
    return ++m_openings;
}

void X11Desktop::endOpening(uint64_t opening)
{
    MutexLock lock(m_openingMutex);
    if (opening != m_openings)
        return;
    m_openingUntil = 0;
    m_openingEnded.notify_all();
}

bool X11Desktop::openingUnderway()
{
    // The main thread is the one that opens the panel.
    if (isMainThread())
        return false;
    MutexLock lock(m_openingMutex);
    return m_openingUntil > steadySeconds();
}

void X11Desktop::waitForOpening()
{
    if (isMainThread())
        return;
    MutexLock lock(m_openingMutex);
    double seconds = m_openingUntil - steadySeconds();
    if (seconds > 0)
        m_openingEnded.wait_for(lock.native(), std::chrono::duration<double>(seconds),
            [&]() REQUIRES(m_openingMutex) { return m_openingUntil == 0; });
}

std::optional<DesktopImage> X11Desktop::captureWindow(CGWindowID number)
{
    if (auto own = captureOwnWindow(number))
        return own;
    waitForRestore(number);
    auto* c = m_x->connection();
    // A picture kept from before is copied for the caller once the lock is
    // let go (a window's picture is large; the other threads wait for the
    // lock meanwhile).
    auto copyOf = [](const std::shared_ptr<const DesktopImage>& kept) -> std::optional<DesktopImage> {
        if (!kept)
            return std::nullopt;
        return *kept;
    };
    std::shared_ptr<const DesktopImage> kept;
    int width = 0, height = 0;
    bool read = false;
    {
        MutexLock lock(m_mutex);
        auto* client = clientLocked(number);
        if (!client || !m_connected)
            return std::nullopt;
        if (!onScreenLocked(*client)) {
            // A minimised window or one on another desktop is unmapped: its
            // pixels are gone from the server, and what it showed last is
            // what this desktop read while it was mapped.
            kept = keptCaptureLocked(number);
        } else if (client->frame.size.width >= 1 && client->frame.size.height >= 1) {
            // A window larger than the screen is read only as far as the
            // screen could show it (from its top-left corner): a capture
            // never costs more than a screenful.
            width = std::min(int(client->frame.size.width), int(m_x->screen()->width_in_pixels));
            height = std::min(int(client->frame.size.height), int(m_x->screen()->height_in_pixels));
            auto& capture = m_captures[number];
            if (capture.valid && capture.image && capture.image->width == width && capture.image->height == height) {
                kept = capture.image;
            } else {
                if (m_x->hasDamage() && !capture.damage) {
                    capture.damage = xcb_generate_id(c);
                    xcb_damage_create(c, capture.damage, number, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                }
                // Damage that arrives while the pixels travel makes this
                // capture stale again.
                capture.valid = m_x->hasDamage();
                read = true;
            }
        }
    }
    if (!read) {
        // A kept picture waits for an opening too: copying it (and the
        // preview made from the copy) takes processor time the opening
        // needs, for every cell of the panel at once.
        if (kept)
            waitForOpening();
        return copyOf(kept);
    }
    // One read at a time, through one kept segment: the server reads one
    // window at a time anyway, and a fresh segment for each capture cost
    // both sides a fault on each of its pages (an opening's first captures
    // of every window kept the server busy for seconds). A read that waited
    // for its turn into the start of an opening waits for the opening too.
    std::optional<DesktopImage> image;
    for (;;) {
        waitForOpening();
        MutexLock lock(m_captureReadMutex);
        if (openingUnderway())
            continue;
        if (m_sharedMemoryCaptures && m_x->hasShm() && size_t(width) * height >= kSharedMemoryPixels) {
            image = readShared(*m_x, m_capturePixels, number, width, height);
            if (image)
                ++m_sharedReads;
        }
        if (!image) {
            image = readDirect(*m_x, number, width, height);
            if (image)
                ++m_directReads;
        }
        break;
    }
    std::shared_ptr<const DesktopImage> fresh = image ? std::make_shared<const DesktopImage>(std::move(*image)) : nullptr;
    {
        MutexLock lock(m_mutex);
        auto it = m_captures.find(number);
        if (!fresh) {
            // Unmapped meanwhile (a minimise the mirror has not heard of
            // yet): the last picture stands.
            if (it != m_captures.end())
                it->second.valid = false;
            kept = keptCaptureLocked(number);
        } else if (it != m_captures.end()) {
            it->second.image = fresh;
        }
    }
    return copyOf(fresh ? fresh : kept);
}

std::shared_ptr<const DesktopImage> X11Desktop::keptCaptureLocked(CGWindowID number) const
{
    auto it = m_captures.find(number);
    if (it == m_captures.end() || !it->second.image || it->second.image->empty())
        return nullptr;
    return it->second.image;
}

void X11Desktop::readRootAgainAtPress()
{
    auto* c = m_x->connection();
    MutexLock lock(m_rootAtPressMutex);
    if (m_rootAtPress)
        xcb_discard_reply(c, m_rootAtPress->cookie.sequence);
    m_rootAtPress.reset();
    if (CGRectIsNull(m_lastRootRead) || !m_sharedMemoryCaptures || !m_x->hasShm() || !m_connected)
        return;
    const CGRect& r = m_lastRootRead;
    // The screen may have shrunk since.
    if (r.origin.x + r.size.width > m_x->screen()->width_in_pixels
        || r.origin.y + r.size.height > m_x->screen()->height_in_pixels)
        return;
    if (!m_rootAtPressPixels.reserve(*m_x, size_t(r.size.width) * size_t(r.size.height) * 4))
        return;
    auto cookie = xcb_shm_get_image(c, m_x->root(), int16_t(r.origin.x), int16_t(r.origin.y), uint16_t(r.size.width),
        uint16_t(r.size.height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, m_rootAtPressPixels.segment(), 0);
    m_rootAtPress = RootReadAtPress { cookie, r, steadySeconds() };
}

bool X11Desktop::takeRootReadAtPress(CGRect rect, const std::function<void(const uint8_t*)>& take)
{
    MutexLock lock(m_rootAtPressMutex);
    m_lastRootRead = rect;
    if (!m_rootAtPress)
        return false;
    auto asked = *std::exchange(m_rootAtPress, std::nullopt);
    // What the screen showed at a press is what lies beneath the panel it
    // opens, not what it shows a while later.
    if (!CGRectEqualToRect(asked.rect, rect) || steadySeconds() - asked.sentAt > kOpeningWaitSeconds) {
        xcb_discard_reply(m_x->connection(), asked.cookie.sequence);
        return false;
    }
    const size_t bytes = size_t(rect.size.width) * size_t(rect.size.height) * 4;
    auto reply = m_x->reply(xcb_shm_get_image_reply, asked.cookie);
    if (!reply || (reply->depth != 24 && reply->depth != 32) || reply->size < bytes)
        return false;
    ++m_sharedReads;
    ++m_readsAtPress;
    take(m_rootAtPressPixels.data());
    return true;
}

bool X11Desktop::readRoot(int x, int y, int width, int height, const std::function<void(const uint8_t*)>& take)
{
    auto* c = m_x->connection();
    const size_t bytes = size_t(width) * 4 * height;
    if (m_sharedMemoryCaptures && m_x->hasShm() && size_t(width) * height >= kSharedMemoryPixels) {
        if (takeRootReadAtPress(CGRectMake(x, y, width, height), take))
            return true;
        MutexLock lock(m_rootReadMutex);
        if (m_rootPixels.reserve(*m_x, bytes)) {
            auto reply = m_x->reply(xcb_shm_get_image_reply,
                xcb_shm_get_image(c, m_x->root(), int16_t(x), int16_t(y), uint16_t(width), uint16_t(height), ~0u,
                    XCB_IMAGE_FORMAT_Z_PIXMAP, m_rootPixels.segment(), 0));
            if (reply && (reply->depth == 24 || reply->depth == 32) && reply->size >= bytes) {
                ++m_sharedReads;
                take(m_rootPixels.data());
                return true;
            }
        }
    }
    auto reply = m_x->reply(xcb_get_image_reply,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_x->root(), int16_t(x), int16_t(y), uint16_t(width), uint16_t(height),
            ~0u));
    if (!reply || (reply->depth != 24 && reply->depth != 32) || size_t(xcb_get_image_data_length(reply.get())) < bytes)
        return false;
    ++m_directReads;
    take(xcb_get_image_data(reply.get()));
    return true;
}

std::shared_ptr<const X11Desktop::ScreenPixels> X11Desktop::keepScreenPixels(ScreenPixels pixels)
{
    std::weak_ptr<SpareScreenBytes> spare = m_spareScreenBytes;
    return std::shared_ptr<const ScreenPixels>(new ScreenPixels(std::move(pixels)), [spare](const ScreenPixels* gone) {
        std::unique_ptr<ScreenPixels> owned(const_cast<ScreenPixels*>(gone));
        if (auto kept = spare.lock()) {
            MutexLock lock(kept->mutex);
            if (owned->bytes.capacity() > kept->bytes.capacity())
                kept->bytes.swap(owned->bytes);
        }
    });
}

std::optional<X11Desktop::ScreenPixels> X11Desktop::readRootArea(CGRect pixels)
{
    int width = int(pixels.size.width), height = int(pixels.size.height);
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767 || !m_connected)
        return std::nullopt;
    ScreenPixels image;
    image.width = width;
    image.height = height;
    {
        MutexLock lock(m_spareScreenBytes->mutex);
        image.bytes.swap(m_spareScreenBytes->bytes);
    }
    image.bytes.clear();
    const size_t stride = size_t(width) * 4, bytes = stride * height;
    reserveLargeBuffer(image.bytes, bytes);
    CGRect screen = CGRectMake(0, 0, m_x->screen()->width_in_pixels, m_x->screen()->height_in_pixels);
    CGRect shown = CGRectIntersection(pixels, screen);
    int sx = 0, sy = 0, sw = 0, sh = 0;
    if (!CGRectIsNull(shown) && shown.size.width >= 1 && shown.size.height >= 1) {
        sx = int(shown.origin.x), sy = int(shown.origin.y), sw = int(shown.size.width), sh = int(shown.size.height);
        // All of it on the screen: the read is the image (one copy).
        if (sw == width && sh == height) {
            if (!readRoot(sx, sy, sw, sh, [&](const uint8_t* read) { image.bytes.assign(read, read + bytes); }))
                return std::nullopt;
            return image;
        }
    }
    // Beyond the screen's edges the image is the dark of an empty desktop.
    const uint8_t grey[4] = { X11Pixels::kEmptyDesktopGrey, X11Pixels::kEmptyDesktopGrey, X11Pixels::kEmptyDesktopGrey, 255 };
    for (size_t i = 0; i < size_t(width) * height; ++i)
        image.bytes.insert(image.bytes.end(), grey, grey + 4);
    if (sw == 0)
        return image;
    int left = sx - int(pixels.origin.x), top = sy - int(pixels.origin.y);
    auto place = [&](const uint8_t* read) {
        for (int row = 0; row < sh; ++row)
            std::memcpy(image.bytes.data() + stride * size_t(top + row) + size_t(left) * 4, read + size_t(sw) * 4 * row,
                size_t(sw) * 4);
    };
    if (!readRoot(sx, sy, sw, sh, place))
        return std::nullopt;
    return image;
}

std::optional<DesktopImage> X11Desktop::captureBelowOwnWindow(CGWindowID number, const CGRect& area, int reduction)
{
    {
        MutexLock lock(m_mutex);
        auto it = m_ownWindows.find(number);
        // The screen shows what lies beneath a window of this process only
        // until the window is up: then it shows the window.
        if (it == m_ownWindows.end() || it->second.shown || !m_connected)
            return std::nullopt;
    }
    CGRect pixels = CGRectIntegral(area);
    auto read = readRootArea(pixels);
    if (!read)
        return std::nullopt;
    // Kept as read for the window's own translucent parts when it comes up;
    // the caller gets an RGBA copy, shrunk when asked (averaged from the
    // server's pixels: the full-size RGBA picture is never made).
    auto beneath = keepScreenPixels(std::move(*read));
    DesktopImage image;
    int factor = reduction >= 2 && reduction <= X11Pixels::kMaxBlock ? reduction : 1;
    image.width = (beneath->width + factor - 1) / factor;
    image.height = (beneath->height + factor - 1) / factor;
    image.rgba.resize(size_t(image.width) * image.height * 4);
    if (factor > 1)
        X11Pixels::averageBlocksToRGBA(
            beneath->bytes.data(), beneath->width, beneath->height, size_t(beneath->width) * 4, factor, image.rgba.data());
    else
        X11Pixels::serverToRGBA(beneath->bytes.data(), image.rgba.data(), size_t(image.width) * image.height, false);
    MutexLock lock(m_mutex);
    if (auto it = m_ownWindows.find(number); it != m_ownWindows.end()) {
        it->second.beneath = std::move(beneath);
        it->second.beneathRect = pixels;
    }
    return image;
}
