// This process's own windows on the X11 desktop: real X windows that show
// what the interface layer painted. The switcher panel (a window without a
// title bar) is placed by this desktop itself (override-redirect), so it
// lies above the others and never takes the focus from the user's window;
// while it is up at a level above the normal one the keyboard is grabbed,
// standing in for the event tap.
#include "X11Client.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Pixels.h"

#include "../InputCodes.h"

#include <foundation/Clock.h>
#include <foundation/ParallelFor.h>
#include <foundation/RunLoop.h>

#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A frame as the server keeps it: whole pixels, as the requests send it.
CGRect onServer(CGRect frame)
{
    return CGRectMake(int32_t(x11Coordinate(frame.origin.x)), int32_t(x11Coordinate(frame.origin.y)),
        x11Extent(frame.size.width), x11Extent(frame.size.height));
}

// The level of the application framework's pop-up menus.
constexpr int kPopUpMenuLayer = 101;
// Two presses of a button closer than this in time and space are a double
// click.
constexpr double kDoubleClickSeconds = 0.5;
constexpr double kDoubleClickDistance = 4;

}

void X11Desktop::setOwnActivationPolicy(ActivationPolicy policy)
{
    MutexLock lock(m_mutex);
    m_apps[m_ownPid].info.policy = policy;
}

CGWindowID X11Desktop::registerOwnWindow(DesktopWindow window)
{
    auto* c = m_x->connection();
    bool statusItem = window.statusItem;
    bool panel = !statusItem && window.subrole && *window.subrole == "AXSystemDialog";
    bool popUp = panel && window.layer == kPopUpMenuLayer;
    std::string title = window.title.value_or("Quorvex");
    // A panel takes the last panel's window where one is kept.
    std::optional<SparePanel> spare;
    if (panel && !popUp)
        spare = takeSparePanel();
    bool moved = spare && !CGRectEqualToRect(spare->frame, window.frame);
    bool mappedAhead = spare && spare->mapped && !moved;
    xcb_window_t id;
    if (spare) {
        id = spare->window;
        if (moved) {
            // Moved while mapped, the window would show the screen it copied
            // where it lay, out of place, until its frame is painted: it
            // goes down first and is mapped as a new panel is.
            if (spare->mapped)
                uncovering(xcb_unmap_window(c, id));
            uint32_t place[] = { x11Coordinate(window.frame.origin.x), x11Coordinate(window.frame.origin.y),
                x11Extent(window.frame.size.width), x11Extent(window.frame.size.height) };
            xcb_configure_window(
                c, id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, place);
        }
    } else {
        id = xcb_generate_id(c);
        uint32_t values[] = { XCB_BACK_PIXMAP_NONE, panel ? 1u : 0u, kOwnWindowEvents };
        xcb_create_window(c, XCB_COPY_FROM_PARENT, id, m_x->root(), x11Coordinate(window.frame.origin.x),
            x11Coordinate(window.frame.origin.y), x11Extent(window.frame.size.width), x11Extent(window.frame.size.height),
            0, XCB_WINDOW_CLASS_INPUT_OUTPUT, m_x->screen()->root_visual,
            XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    }
    auto titled = xcb_change_property(
        c, XCB_PROP_MODE_REPLACE, id, m_x->ewmh()._NET_WM_NAME, m_x->utf8String(), 8, title.size(), title.data());
    if (!spare) {
        static const char wmClass[] = "quorvex\0Quorvex";
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof wmClass, wmClass);
        uint32_t pid = static_cast<uint32_t>(m_ownPid);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, m_x->ewmh()._NET_WM_PID, XCB_ATOM_CARDINAL, 32, 1, &pid);
        if (popUp) {
            xcb_atom_t type = m_x->ewmh()._NET_WM_WINDOW_TYPE_POPUP_MENU;
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, m_x->ewmh()._NET_WM_WINDOW_TYPE, XCB_ATOM_ATOM, 32, 1, &type);
        } else if (statusItem) {
            // XEmbed version 0, mapped once embedded.
            uint32_t info[] = { 0, 1 };
            xcb_atom_t xembedInfo = m_x->atoms().xembedInfo;
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, xembedInfo, xembedInfo, 32, 2, info);
            setStatusItemSizeHints(id, window.frame.size);
        } else if (!panel) {
            // A window the window manager frames: where the application put it
            // (static gravity: the position is the window's own, not its
            // frame's), closed through the close request, not by killing this
            // process's connection.
            xcb_size_hints_t hints {};
            xcb_icccm_size_hints_set_position(&hints, 1, int32_t(window.frame.origin.x), int32_t(window.frame.origin.y));
            xcb_icccm_size_hints_set_size(&hints, 1, int32_t(window.frame.size.width), int32_t(window.frame.size.height));
            xcb_icccm_size_hints_set_win_gravity(&hints, XCB_GRAVITY_STATIC);
            xcb_icccm_set_wm_normal_hints(c, id, &hints);
            xcb_atom_t protocols[] = { m_x->atoms().wmDeleteWindow };
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, m_x->wmProtocols(), XCB_ATOM_ATOM, 32, 1, protocols);
            xcb_atom_t type = m_x->ewmh()._NET_WM_WINDOW_TYPE_NORMAL;
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, m_x->ewmh()._NET_WM_WINDOW_TYPE, XCB_ATOM_ATOM, 32, 1, &type);
        }
    }
    window.number = id;
    window.pid = m_ownPid;
    {
        MutexLock lock(m_mutex);
        auto& own = m_ownWindows[id];
        own.info = window;
        own.panel = panel;
        own.popUp = popUp;
        if (spare) {
            if (moved)
                own.requested.push_back(onServer(window.frame));
            own.mappedAhead = mappedAhead;
            // Exposures of the window's last life, still on their way, need
            // no paint: only those after its map now do.
            own.paintedThrough = mappedAhead ? spare->mapSequence : titled.sequence;
        }
    }
    xcb_flush(c);
    if (statusItem)
        dockStatusItems();
    return id;
}

std::optional<X11Desktop::SparePanel> X11Desktop::takeSparePanel()
{
    MutexLock lock(m_mutex);
    if (!m_sparePanel.window)
        return std::nullopt;
    return std::exchange(m_sparePanel, SparePanel {});
}

void X11Desktop::mapSparePanel()
{
    uint64_t generation;
    {
        MutexLock lock(m_mutex);
        if (!m_sparePanel.window || m_sparePanel.mapped || !m_connected)
            return;
        auto* c = m_x->connection();
        // On top: other windows came up since it was last shown.
        uint32_t mode = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c, m_sparePanel.window, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
        m_sparePanel.mapSequence = xcb_map_window(c, m_sparePanel.window).sequence;
        m_sparePanel.mapped = true;
        generation = m_sparePanel.generation = ++m_sparePanelMaps;
    }
    // Unmapped again unless a panel took it by then (the press's input is
    // handed to the main thread first).
    std::weak_ptr<bool> alive = m_lifetime;
    RunLoop::main().perform([this, alive, generation] {
        if (alive.expired())
            return;
        RunLoop::main().performAfterDelay(this, "unmapUnclaimedSparePanel", kUnclaimedSpareSeconds, [this, alive, generation] {
            if (!alive.expired())
                unmapUnclaimedSparePanel(generation);
        });
    });
}

void X11Desktop::unmapUnclaimedSparePanel(uint64_t generation)
{
    xcb_window_t window;
    {
        MutexLock lock(m_mutex);
        if (!m_sparePanel.window || !m_sparePanel.mapped || m_sparePanel.generation != generation)
            return;
        window = m_sparePanel.window;
        m_sparePanel.mapped = false;
        m_sparePanel.mapSequence = 0;
    }
    uncovering(xcb_unmap_window(m_x->connection(), window));
    xcb_flush(m_x->connection());
}

void X11Desktop::updateOwnWindow(const DesktopWindow& window)
{
    auto* c = m_x->connection();
    bool statusItem;
    {
        MutexLock lock(m_mutex);
        auto it = m_ownWindows.find(window.number);
        if (it == m_ownWindows.end())
            return;
        auto& own = it->second;
        CGRect before = own.info.frame;
        own.info = window;
        own.info.pid = m_ownPid;
        if (CGRectEqualToRect(before, window.frame))
            return;
        own.requested.push_back(onServer(window.frame));
        statusItem = own.info.statusItem;
    }
    // Where a status item lies is the tray's choice; only its width is
    // this process's.
    uint32_t values[] = { x11Coordinate(window.frame.origin.x), x11Coordinate(window.frame.origin.y),
        x11Extent(window.frame.size.width), x11Extent(window.frame.size.height) };
    if (statusItem) {
        setStatusItemSizeHints(window.number, window.frame.size);
        xcb_configure_window(c, window.number, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values + 2);
    } else {
        uncovering(xcb_configure_window(c, window.number,
            XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values));
    }
    xcb_flush(c);
}

void X11Desktop::removeOwnWindow(CGWindowID number)
{
    bool keep;
    CGRect frame;
    {
        MutexLock lock(m_mutex);
        auto it = m_ownWindows.find(number);
        if (it == m_ownWindows.end())
            return;
        // A panel's window is kept for the next panel.
        keep = it->second.panel && !it->second.popUp;
        frame = it->second.info.frame;
        m_ownWindows.erase(it);
        std::erase(m_ownOrder, number);
    }
    // Taken away before it was mapped: its map is dropped.
    if (m_pendingMap && m_pendingMap->number == number)
        mapPendingWindow();
    auto* c = m_x->connection();
    if (keep) {
        uncovering(xcb_unmap_window(c, number));
        SparePanel last;
        {
            MutexLock lock(m_mutex);
            last = std::exchange(m_sparePanel, SparePanel { number, frame });
        }
        if (last.window)
            uncovering(xcb_destroy_window(c, last.window));
    } else {
        uncovering(xcb_destroy_window(c, number));
    }
    xcb_flush(c);
    {
        RecursiveMutexLock lock(m_paintMutex);
        if (auto it = m_ownFrames.find(number); it != m_ownFrames.end()) {
            auto& frame = it->second;
            if (!m_spareFrame || frame->shared.size() > m_spareFrame->shared.size()) {
                frame->width = frame->height = 0;
                m_spareFrame = std::move(frame);
            }
            m_ownFrames.erase(it);
        }
    }
    updateKeyboardGrab();
    updatePointerGrab();
}

void X11Desktop::uncovering(xcb_void_cookie_t request)
{
    // Not sent yet (nothing flushed): the damage it brings cannot be read
    // before its sequence is known.
    {
        MutexLock lock(m_mutex);
        m_uncovering.push_back(request.sequence);
        if (m_uncovering.size() > 16)
            m_uncovering.pop_front();
    }
    xcb_no_operation(m_x->connection());
}

void X11Desktop::setOwnWindowContent(CGWindowID number, std::function<DesktopFrame()> content)
{
    MutexLock lock(m_mutex);
    if (auto it = m_ownWindows.find(number); it != m_ownWindows.end())
        it->second.content = std::move(content);
}

void X11Desktop::orderOwnWindow(CGWindowID number, bool front)
{
    auto* c = m_x->connection();
    bool statusItem, managed, orderingIn, mappedAhead;
    {
        MutexLock lock(m_mutex);
        auto it = m_ownWindows.find(number);
        if (it == m_ownWindows.end())
            return;
        orderingIn = !it->second.shown;
        mappedAhead = std::exchange(it->second.mappedAhead, false);
        it->second.shown = true;
        it->second.info.onScreen = true;
        statusItem = it->second.info.statusItem;
        managed = !statusItem && !it->second.panel;
        std::erase(m_ownOrder, number);
        if (front)
            m_ownOrder.insert(m_ownOrder.begin(), number);
        else
            m_ownOrder.push_back(number);
    }
    // A status item is mapped by the tray that embeds it.
    if (statusItem) {
        paintOwnWindow(number, true);
        return;
    }
    // Another window waiting for its map goes first: the two show in the
    // order they were asked for.
    if (m_pendingMap && m_pendingMap->number != number)
        mapPendingWindow();
    uint64_t opening = 0;
    if (!managed) {
        opening = beginOpening();
        readBeneath(number);
    }
    // The keyboard is taken before the panel shows (the server takes the
    // grab before the map), so no key typed at the panel on the screen goes
    // to the user's window; its answer is awaited once the panel is painted.
    auto grab = requestKeyboardGrabUpdate();
    uint32_t mode = front ? XCB_STACK_MODE_ABOVE : XCB_STACK_MODE_BELOW;
    xcb_configure_window(c, number, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
    xcb_flush(c);
    // A map already waiting is this window's (another's went above), and
    // its block is queued.
    bool queued = m_pendingMap.has_value();
    PendingMap pending { number, front, managed, grab, opening, mappedAhead };
    if (queued) {
        // Ordered again before it was shown: the first grab request is the
        // one awaited (a second finds the keyboard taken and sends none);
        // a map sent ahead is not sent again.
        pending.grab = m_pendingMap->grab;
        pending.mapped = m_pendingMap->mapped;
    }
    m_pendingMap = pending;
    // A window ordered in on the main thread is mapped and painted once the
    // work that ordered it in is done (as a window server shows a window
    // with the first frame drawn after it), so the first frame on the
    // screen is the finished one: the switcher selects its second window
    // right after it orders the panel in.
    if (orderingIn && isMainThread()) {
        // A panel's map goes out at once: the server's share of it (the
        // clipping of every window the panel covers, long with many
        // windows) is done while this thread finishes the frame. Without a
        // background of its own the window shows what lay beneath it until
        // that frame is painted. (The exposure the map brings is covered
        // by that paint.)
        std::optional<xcb_void_cookie_t> map;
        if (!managed && !queued && !mappedAhead)
            map = xcb_map_window(c, number);
        {
            MutexLock lock(m_mutex);
            auto& own = m_ownWindows.at(number);
            own.mapPending = true;
            if (map)
                own.paintedThrough = map->sequence;
        }
        if (map) {
            m_pendingMap->mapped = true;
            xcb_flush(c);
        }
        if (!queued) {
            std::weak_ptr<bool> alive = m_lifetime;
            RunLoop::main().perform([this, alive] {
                if (!alive.expired())
                    mapPendingWindow();
            });
        }
        return;
    }
    mapPendingWindow();
}

void X11Desktop::mapPendingWindow()
{
    if (!m_pendingMap)
        return;
    PendingMap pending = *m_pendingMap;
    m_pendingMap.reset();
    auto* c = m_x->connection();
    bool shown;
    {
        MutexLock lock(m_mutex);
        auto it = m_ownWindows.find(pending.number);
        shown = it != m_ownWindows.end() && it->second.shown;
        if (it != m_ownWindows.end())
            it->second.mapPending = false;
    }
    if (!shown) {
        // Taken away before it was shown: the grab's answers describe a
        // panel that never came (the keyboard was let go since), so they
        // are dropped unread.
        if (pending.grab.sent) {
            xcb_discard_reply(c, pending.grab.grab.sequence);
            xcb_discard_reply(c, pending.grab.keymap.sequence);
        }
        if (pending.opening)
            endOpening(pending.opening);
        return;
    }
    // The whole window is painted below, after the map: what the map
    // exposes is covered by it. (Not flushed yet: the exposure cannot be
    // read before this is known.)
    if (!pending.mapped) {
        auto map = xcb_map_window(c, pending.number);
        MutexLock lock(m_mutex);
        if (auto it = m_ownWindows.find(pending.number); it != m_ownWindows.end())
            it->second.paintedThrough = map.sequence;
    }
    // A window of this process brought to the front takes the focus, as a
    // person expects of a window they opened (the preferences window).
    if (pending.managed && pending.front)
        requestActivate(pending.number);
    xcb_flush(c);
    updatePointerGrab();
    paintOwnWindow(pending.number, true);
    // The grab's answer came before the paint's: taken before the captures
    // held back by the opening go on and wait for the server in its stead.
    finishKeyboardGrab(pending.grab);
    if (pending.opening) {
        // The captures held back go on once the main thread's work of this
        // turn is done: what it still asks of the server (where the
        // pointer is, for the panel's tracking) comes first.
        std::weak_ptr<bool> alive = m_lifetime;
        RunLoop::main().perform([this, alive, opening = pending.opening] {
            if (!alive.expired())
                endOpening(opening);
        });
    }
}

void X11Desktop::readBeneath(CGWindowID number)
{
    CGRect frame;
    {
        MutexLock lock(m_mutex);
        auto it = m_ownWindows.find(number);
        if (it == m_ownWindows.end())
            return;
        frame = onServer(it->second.info.frame);
        // Read just before (the backdrop of a translucent view asked for
        // the same pixels, around the window): nothing to read again.
        if (it->second.beneath && CGRectContainsRect(it->second.beneathRect, frame))
            return;
    }
    auto image = readRootArea(frame);
    MutexLock lock(m_mutex);
    if (auto it = m_ownWindows.find(number); it != m_ownWindows.end()) {
        it->second.beneath = image ? keepScreenPixels(std::move(*image)) : nullptr;
        it->second.beneathRect = frame;
    }
}

void X11Desktop::ownWindowPainted(CGWindowID number) { paintOwnWindow(number); }

X11Desktop::KeyboardGrabRequest X11Desktop::requestKeyboardGrabUpdate()
{
    bool panelUp;
    {
        MutexLock lock(m_mutex);
        panelUp = std::any_of(m_ownWindows.begin(), m_ownWindows.end(),
            [](const auto& entry) { return entry.second.shown && entry.second.panel && entry.second.info.layer > 0; });
    }
    if (panelUp)
        return requestKeyboardGrab();
    setKeyboardGrabbed(false);
    // With the panel gone the window that has the X focus is in front again
    // (a switch to the window that already had it changes nothing there).
    pid_t active = 0;
    {
        MutexLock lock(m_mutex);
        if (auto* client = clientLocked(m_active))
            active = client->pid;
        m_supersededActivation = XCB_WINDOW_NONE;
    }
    if (active)
        setFrontmost(active);
    return {};
}

void X11Desktop::paintOwnWindow(CGWindowID number, bool whole)
{
    std::function<DesktopFrame()> content;
    std::shared_ptr<const ScreenPixels> beneath;
    std::optional<uint32_t> backdropColor;
    CGRect beneathRect, frame;
    {
        MutexLock lock(m_mutex);
        auto it = m_ownWindows.find(number);
        // A window waiting for its map is painted whole right after it.
        if (it == m_ownWindows.end() || !it->second.shown || it->second.mapPending || !it->second.content)
            return;
        content = it->second.content;
        beneath = it->second.beneath;
        backdropColor = it->second.info.backdropColor;
        beneathRect = it->second.beneathRect;
        frame = onServer(it->second.info.frame);
    }
    // Drawing the content may paint the window first and ask for it to be
    // put on the server; the call that asked for the content does that.
    thread_local CGWindowID painting = 0;
    if (painting == number)
        return;
    // One paint at a time from drawing to sending (the main and the event
    // thread both paint): a frame drawn earlier never lands after a later one.
    RecursiveMutexLock paintLock(m_paintMutex);
    painting = number;
    DesktopFrame image = content();
    painting = 0;
    if (image.empty() || !m_connected)
        return;
    auto* c = m_x->connection();
    size_t rowBytes = size_t(image.width) * 4;
    size_t bytes = rowBytes * image.height;
    auto& kept = m_ownFrames[number];
    if (!kept && m_spareFrame && m_spareFrame->shared.size() >= bytes)
        kept = std::move(m_spareFrame);
    if (!kept)
        kept = std::make_unique<OwnFrame>();
    OwnFrame& last = *kept;
    whole = whole || last.width != image.width || last.height != image.height;
    uint8_t* pixels = nullptr;
    if (m_x->hasShm() && last.shared.reserve(*m_x, bytes)) {
        pixels = last.shared.data();
    } else {
        last.shared.release();
        last.local.resize(bytes);
        pixels = last.local.data();
    }
    last.width = image.width;
    last.height = image.height;
    // Opaque rows are the server's pixels as drawn; translucent ones are
    // laid over what the screen showed beneath the window before it came
    // up; where nothing was read (the part a panel grew by while up), over
    // the opaque colour of the window's material (the theme's), or for a
    // window without one over the content's own colour made opaque (an
    // empty corner over the dark of an empty desktop): never over black.
    const uint8_t fallback[4] = { uint8_t(backdropColor.value_or(0)), uint8_t(backdropColor.value_or(0) >> 8),
        uint8_t(backdropColor.value_or(0) >> 16), 255 };
    int offsetX = 0, offsetY = 0;
    if (beneath) {
        offsetX = int(frame.origin.x - beneathRect.origin.x);
        offsetY = int(frame.origin.y - beneathRect.origin.y);
    }
    // In runs of rows over the cores (a panel's frame is megabytes), each
    // run noting the first and last of its rows that changed.
    constexpr int kRowsARun = 32;
    size_t runs = size_t(image.height + kRowsARun - 1) / kRowsARun;
    std::vector<std::pair<int, int>> changed(runs, { image.height, -1 });
    parallelFor(runs, [&](size_t run) {
        thread_local std::vector<uint8_t> row;
        row.resize(rowBytes);
        int top = int(run) * kRowsARun, bottom = std::min(image.height, top + kRowsARun);
        auto& [firstChanged, lastChanged] = changed[run];
        for (int y = top; y < bottom; ++y) {
            const uint8_t* out = image.row(y);
            if (!X11Pixels::rowIsOpaque(out, image.width)) {
                int by = y + offsetY;
                const uint8_t* under = beneath && by >= 0 && by < beneath->height ? beneath->row(by) : nullptr;
                X11Pixels::blendToServer(out, row.data(), image.width, under, offsetX, beneath ? beneath->width : 0,
                    X11Pixels::kEmptyDesktopGrey, backdropColor ? fallback : nullptr);
                out = row.data();
            }
            uint8_t* target = pixels + rowBytes * y;
            if (whole || std::memcmp(target, out, rowBytes) != 0) {
                std::memcpy(target, out, rowBytes);
                firstChanged = std::min(firstChanged, y);
                lastChanged = y;
            }
        }
    });
    int first = image.height, lastRow = -1;
    for (const auto& [firstChanged, lastChanged] : changed) {
        first = std::min(first, firstChanged);
        lastRow = std::max(lastRow, lastChanged);
    }
    if (lastRow >= 0) {
        // Only the rows from the first to the last that changed travel.
        xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, number, 0, nullptr);
        int rows = lastRow - first + 1;
        uint8_t depth = m_x->screen()->root_depth;
        xcb_void_cookie_t sent;
        if (pixels == last.shared.data()) {
            sent = xcb_shm_put_image(c, number, gc, uint16_t(image.width), uint16_t(image.height), 0, uint16_t(first),
                uint16_t(image.width), uint16_t(rows), 0, int16_t(first), depth, XCB_IMAGE_FORMAT_Z_PIXMAP, 0,
                last.shared.segment(), 0);
        } else {
            size_t maxBytes = size_t(xcb_get_maximum_request_length(c)) * 4 - 64;
            int rowsPerRequest = std::max<int>(1, int(maxBytes / rowBytes));
            for (int top = first; top <= lastRow; top += rowsPerRequest) {
                int band = std::min(rowsPerRequest, lastRow + 1 - top);
                sent = xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, number, gc, image.width, band, 0, top, 0, depth,
                    rowBytes * band, pixels + rowBytes * top);
            }
        }
        xcb_free_gc(c, gc);
        if (first == 0 && lastRow == image.height - 1) {
            MutexLock lock(m_mutex);
            if (auto it = m_ownWindows.find(number); it != m_ownWindows.end())
                it->second.paintedThrough = sent.sequence;
        }
        // The server has read the segment once it answers: the next frame
        // may be written into it, and the pixels are on the screen.
        m_x->reply(xcb_get_input_focus_reply, xcb_get_input_focus(c));
    }
    ++m_ownPaints;
}

std::optional<DesktopImage> X11Desktop::captureOwnWindow(CGWindowID number)
{
    std::function<DesktopFrame()> content;
    {
        MutexLock lock(m_mutex);
        auto it = m_ownWindows.find(number);
        if (it == m_ownWindows.end())
            return std::nullopt;
        content = it->second.content;
    }
    if (!content)
        return DesktopImage {};
    return content().image();
}

// MARK: Where this process's windows are

// The server says where one of this process's windows is. A frame this
// process asked for is its own change coming back (and every change it asked
// for before); any other is the window manager's, a person's or the tray's,
// which the window hears of.
void X11Desktop::ownFrameSeenLocked(OwnWindow& window, CGRect frame, std::vector<DesktopEvent>& events)
{
    if (CGRectIsNull(frame))
        return;
    auto& requested = window.requested;
    if (auto it = std::find_if(requested.begin(), requested.end(), [&](const CGRect& r) { return CGRectEqualToRect(r, frame); });
        it != requested.end()) {
        requested.erase(requested.begin(), it + 1);
        return;
    }
    CGRect before = window.info.frame;
    if (CGRectEqualToRect(onServer(before), frame))
        return;
    requested.clear();
    window.info.frame = frame;
    auto element = windowElement(m_ownPid, window.info.number);
    if (!CGPointEqualToPoint(before.origin, frame.origin))
        events.push_back({ DesktopEvent::Kind::AXNotification, m_ownPid, element, "AXWindowMoved" });
    if (!CGSizeEqualToSize(before.size, frame.size))
        events.push_back({ DesktopEvent::Kind::AXNotification, m_ownPid, element, "AXWindowResized" });
}

bool X11Desktop::ownWindowAtLocked(CGPoint location) const
{
    return std::any_of(m_ownWindows.begin(), m_ownWindows.end(), [&](const auto& entry) {
        const auto& own = entry.second;
        return own.shown && !own.info.ignoresMouseEvents && CGRectContainsPoint(own.info.frame, location);
    });
}

// Takes a window back from the window manager (the withdrawal of the
// window-manager conventions: unmapped, and a synthetic unmap notice to the
// root), which then hands it back to the root.
void X11Desktop::withdraw(xcb_window_t window)
{
    xcb_unmap_window(m_x->connection(), window);
    xcb_unmap_notify_event_t notice {};
    notice.response_type = XCB_UNMAP_NOTIFY;
    notice.event = m_x->root();
    notice.window = window;
    notice.from_configure = 0;
    xcb_send_event(m_x->connection(), 0, m_x->root(),
        XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT, reinterpret_cast<const char*>(&notice));
}

// Structure events and close requests of this process's windows.
void X11Desktop::handleOwnWindowConfigured(const xcb_configure_notify_event_t& e, std::vector<DesktopEvent>& events)
{
    bool reparented;
    {
        MutexLock lock(m_mutex);
        auto it = m_ownWindows.find(e.window);
        // The panel and menus lie where this process put them.
        if (it == m_ownWindows.end() || e.event != e.window || it->second.panel)
            return;
        reparented = it->second.reparented;
    }
    // On the root the numbers are root coordinates; in a frame or a tray
    // the server is asked.
    CGRect frame = reparented ? m_x->rootFrame(e.window) : CGRectMake(e.x, e.y, e.width, e.height);
    MutexLock lock(m_mutex);
    if (auto it = m_ownWindows.find(e.window); it != m_ownWindows.end())
        ownFrameSeenLocked(it->second, frame, events);
}

void X11Desktop::handleReparentNotify(const xcb_reparent_notify_event_t& e, std::vector<DesktopEvent>& events)
{
    if (e.event != e.window)
        return;
    bool unmap = false, withdrawn = false;
    {
        MutexLock lock(m_mutex);
        auto it = m_ownWindows.find(e.window);
        if (it == m_ownWindows.end())
            return;
        auto& own = it->second;
        own.reparented = e.parent != m_x->root();
        if (own.info.statusItem) {
            // A tray that goes hands its items back to the root, mapped:
            // the item waits, out of sight, for the next tray. A window
            // manager that saw that map may frame the item as a window of
            // its own (the tray is gone by then): it is withdrawn from it.
            own.docked = own.reparented && m_tray.owner != XCB_WINDOW_NONE;
            unmap = !own.reparented;
            withdrawn = own.reparented && !own.docked;
        }
    }
    if (unmap)
        xcb_unmap_window(m_x->connection(), e.window);
    else if (withdrawn)
        withdraw(e.window);
    CGRect frame = m_x->rootFrame(e.window);
    MutexLock lock(m_mutex);
    if (auto it = m_ownWindows.find(e.window); it != m_ownWindows.end())
        ownFrameSeenLocked(it->second, frame, events);
}

void X11Desktop::handleCloseRequest(xcb_window_t window, std::vector<DesktopEvent>& events)
{
    MutexLock lock(m_mutex);
    if (m_ownWindows.count(window))
        events.push_back({ DesktopEvent::Kind::AXNotification, m_ownPid, windowElement(m_ownPid, window),
            kDesktopCloseRequestNotification });
}

// MARK: The pointer

void X11Desktop::updatePointerGrab()
{
    auto* c = m_x->connection();
    xcb_window_t menu = XCB_WINDOW_NONE;
    {
        MutexLock lock(m_mutex);
        for (CGWindowID n : m_ownOrder) {
            const auto& own = m_ownWindows.at(n);
            if (own.shown && own.popUp) {
                menu = n;
                break;
            }
        }
        if (!menu) {
            if (m_pointer.grabbed) {
                xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
                xcb_flush(c);
            }
            m_pointer.grabbed = false;
            return;
        }
    }
    // Events over this process's windows are reported for them; the others
    // (a click elsewhere) for the menu.
    auto reply = m_x->reply(xcb_grab_pointer_reply,
        xcb_grab_pointer(c, 1, menu, XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION,
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_WINDOW_NONE, XCB_CURSOR_NONE, XCB_CURRENT_TIME));
    MutexLock lock(m_mutex);
    m_pointer.grabbed = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
}

void X11Desktop::translatePointerLocked(uint8_t type, const xcb_button_press_event_t& e, std::vector<DesktopEvent>& events,
    std::vector<DesktopInputEvent>& input)
{
    DesktopInputEvent out;
    out.location = { double(e.root_x), double(e.root_y) };
    out.timestamp = Clock::current().now();
    out.flags = flagsOfStateLocked(e.state);
    // A window the tray or the window manager moved without a word: where
    // the pointer is in it says where it is.
    if (auto it = m_ownWindows.find(e.event); it != m_ownWindows.end() && !it->second.panel && type != XCB_MOTION_NOTIFY) {
        CGPoint origin { double(e.root_x - e.event_x), double(e.root_y - e.event_y) };
        CGRect frame = onServer(it->second.info.frame);
        if (!CGPointEqualToPoint(origin, frame.origin))
            ownFrameSeenLocked(it->second, { origin, frame.size }, events);
    }
    if (type == XCB_MOTION_NOTIFY) {
        out.type = (e.state & XCB_BUTTON_MASK_1) ? kCGEventLeftMouseDragged
            : (e.state & XCB_BUTTON_MASK_3)      ? kCGEventRightMouseDragged
                                                  : kCGEventMouseMoved;
        input.push_back(out);
        return;
    }
    bool press = type == XCB_BUTTON_PRESS;
    uint8_t button = e.detail;
    if (button >= 4 && button <= 7) {
        // Wheel steps: one line each, up and left positive.
        if (!press)
            return;
        out.type = kCGEventScrollWheel;
        out.scrollDeltaY = button == 4 ? 1 : button == 5 ? -1 : 0;
        out.scrollDeltaX = button == 6 ? 1 : button == 7 ? -1 : 0;
        input.push_back(out);
        return;
    }
    if (button < 1 || button > 3)
        return;
    if (press) {
        double now = out.timestamp;
        bool again = button == m_pointer.lastClickButton && now - m_pointer.lastClickTime <= kDoubleClickSeconds
            && std::hypot(out.location.x - m_pointer.lastClickPoint.x, out.location.y - m_pointer.lastClickPoint.y) <= kDoubleClickDistance;
        m_pointer.clickCount = again ? m_pointer.clickCount + 1 : 1;
        m_pointer.lastClickTime = now;
        m_pointer.lastClickPoint = out.location;
        m_pointer.lastClickButton = button;
    }
    out.clickState = m_pointer.clickCount;
    switch (button) {
    case 1:
        out.type = press ? kCGEventLeftMouseDown : kCGEventLeftMouseUp;
        out.mouseButton = 0;
        break;
    case 3:
        out.type = press ? kCGEventRightMouseDown : kCGEventRightMouseUp;
        out.mouseButton = 1;
        break;
    default:
        out.type = press ? kCGEventOtherMouseDown : kCGEventOtherMouseUp;
        out.mouseButton = 2;
        break;
    }
    input.push_back(out);
}
