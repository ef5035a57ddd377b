// This process's own windows on the X11 desktop: real X windows that show
// what the interface layer painted. The switcher panel (a window without a
// title bar) is placed by this desktop itself (override-redirect), so it
// lies above the others and never takes the focus from the user's window;
// while it is up at a level above the normal one the keyboard is grabbed,
// standing in for the event tap.
#include "X11Client.h"
#include "X11Connection.h"
#include "X11Desktop.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t coordinate(double v) { return static_cast<uint32_t>(static_cast<int32_t>(std::clamp(v, -32768.0, 32767.0))); }
uint32_t extent(double v) { return static_cast<uint32_t>(std::clamp(v, 1.0, 32767.0)); }

}

void X11Desktop::setOwnActivationPolicy(ActivationPolicy policy)
{
    std::lock_guard lock(m_mutex);
    m_ownPolicy = policy;
    m_apps[m_ownPid].info.policy = policy;
}

CGWindowID X11Desktop::registerOwnWindow(DesktopWindow window)
{
    auto* c = m_x->connection();
    xcb_window_t id = xcb_generate_id(c);
    bool panel = window.subrole && *window.subrole == "AXSystemDialog";
    uint32_t values[] = { XCB_BACK_PIXMAP_NONE, panel ? 1u : 0u, XCB_EVENT_MASK_EXPOSURE };
    xcb_create_window(c, XCB_COPY_FROM_PARENT, id, m_x->root(), coordinate(window.frame.origin.x),
        coordinate(window.frame.origin.y), extent(window.frame.size.width), extent(window.frame.size.height), 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, m_x->screen()->root_visual,
        XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    std::string title = window.title.value_or("Quorvex");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, m_x->ewmh()._NET_WM_NAME, m_x->utf8String(), 8, title.size(), title.data());
    static const char wmClass[] = "quorvex\0Quorvex";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof wmClass, wmClass);
    uint32_t pid = static_cast<uint32_t>(m_ownPid);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, m_x->ewmh()._NET_WM_PID, XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_flush(c);
    window.number = id;
    window.pid = m_ownPid;
    std::lock_guard lock(m_mutex);
    auto& own = m_ownWindows[id];
    own.info = window;
    own.panel = panel;
    return id;
}

void X11Desktop::updateOwnWindow(const DesktopWindow& window)
{
    auto* c = m_x->connection();
    {
        std::lock_guard lock(m_mutex);
        auto it = m_ownWindows.find(window.number);
        if (it == m_ownWindows.end())
            return;
        CGRect before = it->second.info.frame;
        it->second.info = window;
        it->second.info.pid = m_ownPid;
        if (CGRectEqualToRect(before, window.frame))
            return;
    }
    uint32_t values[] = { coordinate(window.frame.origin.x), coordinate(window.frame.origin.y),
        extent(window.frame.size.width), extent(window.frame.size.height) };
    xcb_configure_window(c, window.number,
        XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
    xcb_flush(c);
}

void X11Desktop::removeOwnWindow(CGWindowID number)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_ownWindows.erase(number))
            return;
        std::erase(m_ownOrder, number);
    }
    xcb_destroy_window(m_x->connection(), number);
    xcb_flush(m_x->connection());
    updateKeyboardGrab();
}

void X11Desktop::setOwnWindowContent(CGWindowID number, std::function<DesktopImage()> content)
{
    std::lock_guard lock(m_mutex);
    if (auto it = m_ownWindows.find(number); it != m_ownWindows.end())
        it->second.content = std::move(content);
}

void X11Desktop::orderOwnWindow(CGWindowID number, bool front)
{
    auto* c = m_x->connection();
    {
        std::lock_guard lock(m_mutex);
        auto it = m_ownWindows.find(number);
        if (it == m_ownWindows.end())
            return;
        it->second.shown = true;
        it->second.info.onScreen = true;
        std::erase(m_ownOrder, number);
        if (front)
            m_ownOrder.insert(m_ownOrder.begin(), number);
        else
            m_ownOrder.push_back(number);
    }
    // The keyboard is taken before the panel shows (the grab waits for the
    // server's answer), so no key typed at the panel on the screen goes to
    // the user's window.
    updateKeyboardGrab();
    uint32_t mode = front ? XCB_STACK_MODE_ABOVE : XCB_STACK_MODE_BELOW;
    xcb_configure_window(c, number, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
    xcb_map_window(c, number);
    xcb_flush(c);
    paintOwnWindow(number);
}

void X11Desktop::ownWindowPainted(CGWindowID number) { paintOwnWindow(number); }

void X11Desktop::updateKeyboardGrab()
{
    bool panelUp;
    {
        std::lock_guard lock(m_mutex);
        panelUp = std::any_of(m_ownWindows.begin(), m_ownWindows.end(),
            [](const auto& entry) { return entry.second.shown && entry.second.panel && entry.second.info.layer > 0; });
    }
    setKeyboardGrabbed(panelUp);
    if (panelUp)
        return;
    // With the panel gone the window that has the X focus is in front again
    // (a switch to the window that already had it changes nothing there).
    pid_t active = 0;
    {
        std::lock_guard lock(m_mutex);
        if (auto* client = clientLocked(m_active))
            active = client->pid;
    }
    if (active)
        setFrontmost(active);
}

void X11Desktop::paintOwnWindow(CGWindowID number)
{
    std::function<DesktopImage()> content;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_ownWindows.find(number);
        if (it == m_ownWindows.end() || !it->second.shown || !it->second.content)
            return;
        content = it->second.content;
    }
    // Drawing the content may paint the window first and ask for it to be
    // put on the server; the call that asked for the content does that.
    thread_local CGWindowID painting = 0;
    if (painting == number)
        return;
    painting = number;
    DesktopImage image = content();
    painting = 0;
    if (image.empty() || !m_connected)
        return;
    // The server's 24-bit pixels: blue in the low byte of each word. The
    // panel is drawn over black where it is translucent.
    auto* c = m_x->connection();
    size_t rowBytes = size_t(image.width) * 4;
    size_t maxBytes = size_t(xcb_get_maximum_request_length(c)) * 4 - 64;
    int rowsPerRequest = std::max<int>(1, int(maxBytes / rowBytes));
    xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, number, 0, nullptr);
    // Kept from paint to paint: a fresh buffer costs more than the copy.
    thread_local std::vector<uint8_t> band;
    for (int top = 0; top < image.height; top += rowsPerRequest) {
        int rows = std::min(rowsPerRequest, image.height - top);
        band.resize(rowBytes * rows);
        const uint8_t* in = image.rgba.data() + rowBytes * top;
        for (size_t i = 0; i < size_t(image.width) * rows; ++i) {
            band[i * 4 + 0] = in[i * 4 + 2];
            band[i * 4 + 1] = in[i * 4 + 1];
            band[i * 4 + 2] = in[i * 4 + 0];
            band[i * 4 + 3] = 0xff;
        }
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, number, gc, image.width, rows, 0, top, 0, m_x->screen()->root_depth,
            band.size(), band.data());
    }
    xcb_free_gc(c, gc);
    xcb_flush(c);
    ++m_ownPaints;
}

std::optional<DesktopImage> X11Desktop::captureOwnWindow(CGWindowID number)
{
    std::function<DesktopImage()> content;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_ownWindows.find(number);
        if (it == m_ownWindows.end())
            return std::nullopt;
        content = it->second.content;
    }
    if (!content)
        return DesktopImage {};
    return content();
}
