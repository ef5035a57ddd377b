#include "X11Connection.h"

#include "X11Text.h"

#include <foundation/Log.h>

#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/res.h>
#include <xcb/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// The names of the core protocol's errors, by code.
constexpr const char* kErrorNames[] = { nullptr, "BadRequest", "BadValue", "BadWindow", "BadPixmap", "BadAtom",
    "BadCursor", "BadFont", "BadMatch", "BadDrawable", "BadAccess", "BadAlloc", "BadColormap", "BadGContext",
    "BadIDChoice", "BadName", "BadLength", "BadImplementation" };

}

std::vector<std::string> X11Connection::requiredHints()
{
    return { "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW", "_NET_CLOSE_WINDOW", "_NET_WM_STATE",
        "_NET_WM_STATE_HIDDEN" };
}

std::unique_ptr<X11Connection> X11Connection::open(const std::string& display, std::string* error)
{
    auto fail = [&](const std::string& message) -> std::unique_ptr<X11Connection> {
        if (error)
            *error = message;
        return nullptr;
    };
    std::unique_ptr<X11Connection> x(new X11Connection());
    const char* name = display.empty() ? std::getenv("DISPLAY") : display.c_str();
    x->m_displayName = name ? name : "";
    if (x->m_displayName.empty())
        return fail("no X display: $DISPLAY is not set");
    x->m_connection = xcb_connect(x->m_displayName.c_str(), &x->m_screenNumber);
    if (xcb_connection_has_error(x->m_connection))
        return fail("cannot open the X display \"" + x->m_displayName + "\"");
    auto it = xcb_setup_roots_iterator(xcb_get_setup(x->m_connection));
    for (int i = 0; i < x->m_screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    x->m_screen = it.data;
    if (!x->m_screen)
        return fail("the X display \"" + x->m_displayName + "\" has no screen " + std::to_string(x->m_screenNumber));

    if (!xcb_ewmh_init_atoms_replies(&x->m_ewmh, xcb_ewmh_init_atoms(x->m_connection, &x->m_ewmh), nullptr))
        return fail("the X display \"" + x->m_displayName + "\" does not answer");
    x->m_ewmhReady = true;
    x->internAtoms();
    x->queryExtensions();
    if (auto problem = x->checkWindowManager())
        return fail(*problem);
    return x;
}

X11Connection::~X11Connection()
{
    if (m_ewmhReady)
        xcb_ewmh_connection_wipe(&m_ewmh);
    if (m_connection)
        xcb_disconnect(m_connection);
}

xcb_atom_t X11Connection::atom(const std::string& name)
{
    auto answer = reply(xcb_intern_atom_reply, xcb_intern_atom(m_connection, 0, name.size(), name.c_str()));
    return answer ? answer->atom : xcb_atom_t(XCB_ATOM_NONE);
}

void X11Connection::internAtoms()
{
    std::string screen = std::to_string(m_screenNumber);
    std::pair<xcb_atom_t*, std::string> wanted[] = {
        { &m_atoms.wmDeleteWindow, "WM_DELETE_WINDOW" },
        { &m_atoms.wmChangeState, "WM_CHANGE_STATE" },
        { &m_atoms.compoundText, "COMPOUND_TEXT" },
        { &m_atoms.manager, "MANAGER" },
        { &m_atoms.traySelection, "_NET_SYSTEM_TRAY_S" + screen },
        { &m_atoms.trayOpcode, "_NET_SYSTEM_TRAY_OPCODE" },
        { &m_atoms.xembedInfo, "_XEMBED_INFO" },
        { &m_atoms.switcherSelection, switcherSelectionName(m_screenNumber) },
        { &m_atoms.reopenTarget, kReopenTargetName },
        { &m_atoms.targets, "TARGETS" },
        { &m_atoms.null, "NULL" },
    };
    // Every question travels at once; the answers are read after.
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const auto& [atom, name] : wanted)
        cookies.push_back(xcb_intern_atom(m_connection, 0, name.size(), name.c_str()));
    for (size_t i = 0; i < cookies.size(); ++i) {
        auto answer = reply(xcb_intern_atom_reply, cookies[i]);
        *wanted[i].first = answer ? answer->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
}

bool X11Connection::queryExtensions()
{
    auto present = [&](xcb_extension_t* extension, const char* name) {
        auto* data = xcb_get_extension_data(m_connection, extension);
        if (!data || !data->present)
            return static_cast<const xcb_query_extension_reply_t*>(nullptr);
        m_extensionOpcodes.push_back({ data->major_opcode, name });
        return data;
    };
    if (present(&xcb_composite_id, "Composite")) {
        auto version = reply(xcb_composite_query_version_reply, xcb_composite_query_version(m_connection, 0, 4));
        // Naming a window's pixmap needs version 0.2.
        m_composite = version && (version->major_version > 0 || version->minor_version >= 2);
    }
    if (auto* data = present(&xcb_damage_id, "DAMAGE")) {
        auto version = reply(xcb_damage_query_version_reply, xcb_damage_query_version(m_connection, 1, 1));
        m_damage = static_cast<bool>(version);
        m_damageEventBase = data->first_event;
        m_damageFirstError = data->first_error;
    }
    if (auto* data = present(&xcb_randr_id, "RANDR")) {
        auto version = reply(xcb_randr_query_version_reply, xcb_randr_query_version(m_connection, 1, 5));
        // Monitors came with version 1.5.
        m_randr = version && (version->major_version > 1 || version->minor_version >= 5);
        m_randrEventBase = data->first_event;
    }
    if (auto* data = present(&xcb_shm_id, "MIT-SHM")) {
        m_shmOpcode = data->major_opcode;
        auto version = reply(xcb_shm_query_version_reply, xcb_shm_query_version(m_connection));
        m_shm = static_cast<bool>(version);
    }
    if (present(&xcb_res_id, "X-Resource")) {
        auto version = reply(xcb_res_query_version_reply, xcb_res_query_version(m_connection, 1, 2));
        // Client ids came with version 1.2.
        m_resourceIds = version && (version->server_major > 1 || version->server_minor >= 2);
    }
    return true;
}

std::optional<std::string> X11Connection::checkWindowManager()
{
    std::string where = " on the X display \"" + m_displayName + "\"";
    xcb_window_t check = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_supporting_wm_check_reply(&m_ewmh, xcb_ewmh_get_supporting_wm_check(&m_ewmh, root()), &check, nullptr)
        || check == XCB_WINDOW_NONE) {
        return "no window manager is running" + where
            + " (the root window has no _NET_SUPPORTING_WM_CHECK); start an EWMH window manager first";
    }
    // A check window that does not name itself is left over from a window
    // manager that has gone.
    xcb_window_t self = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_supporting_wm_check_reply(&m_ewmh, xcb_ewmh_get_supporting_wm_check(&m_ewmh, check), &self, nullptr)
        || self != check) {
        return "no window manager is running" + where
            + " (the _NET_SUPPORTING_WM_CHECK window is stale); start an EWMH window manager first";
    }
    xcb_ewmh_get_utf8_strings_reply_t name;
    if (xcb_ewmh_get_wm_name_reply(&m_ewmh, xcb_ewmh_get_wm_name(&m_ewmh, check), &name, nullptr)) {
        m_windowManagerName = X11Text::fromUTF8(name.strings, name.strings_len, X11Text::kMaxTitleBytes);
        xcb_ewmh_get_utf8_strings_reply_wipe(&name);
    }
    xcb_ewmh_get_atoms_reply_t supported;
    if (xcb_ewmh_get_supported_reply(&m_ewmh, xcb_ewmh_get_supported(&m_ewmh, m_screenNumber), &supported, nullptr)) {
        m_supported.assign(supported.atoms, supported.atoms + supported.atoms_len);
        xcb_ewmh_get_atoms_reply_wipe(&supported);
    }
    std::string missing;
    for (const auto& hint : requiredHints()) {
        if (!supports(atom(hint)))
            missing += (missing.empty() ? "" : ", ") + hint;
    }
    if (!missing.empty()) {
        std::string who = m_windowManagerName.empty() ? "the window manager" : "the window manager \"" + m_windowManagerName + "\"";
        return who + where + " does not offer the EWMH hints " + missing;
    }
    return std::nullopt;
}

CGRect X11Connection::rootFrame(xcb_window_t window)
{
    auto geometryCookie = xcb_get_geometry(m_connection, window);
    auto translateCookie = xcb_translate_coordinates(m_connection, window, root(), 0, 0);
    auto geometry = reply(xcb_get_geometry_reply, geometryCookie);
    auto origin = reply(xcb_translate_coordinates_reply, translateCookie);
    if (!geometry || !origin)
        return CGRectNull;
    return CGRectMake(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

bool X11Connection::supports(xcb_atom_t hint) const
{
    return hint != XCB_ATOM_NONE && std::find(m_supported.begin(), m_supported.end(), hint) != m_supported.end();
}

bool X11Connection::check(xcb_void_cookie_t cookie, uint8_t* errorCode)
{
    xcb_generic_error_t* e;
    {
        MutexLock turn(m_replyTurn);
        e = xcb_request_check(m_connection, cookie);
    }
    if (errorCode)
        *errorCode = e ? e->error_code : 0;
    bool ok = e == nullptr;
    free(e);
    return ok;
}

bool X11Connection::isWindowGoneError(const xcb_generic_error_t& error) const
{
    switch (error.error_code) {
    case XCB_WINDOW:
    case XCB_DRAWABLE:
        return true;
    case XCB_MATCH:
        // The pixels of a window that was unmapped meanwhile.
        return error.major_code == XCB_GET_IMAGE
            || (m_shm && error.major_code == m_shmOpcode && error.minor_code == XCB_SHM_GET_IMAGE);
    default:
        // A window's damage ends with the window.
        return m_damage && error.error_code == m_damageFirstError + XCB_DAMAGE_BAD_DAMAGE;
    }
}

void X11Connection::noteError(const xcb_generic_error_t* error)
{
    if (!error || isWindowGoneError(*error))
        return;
    {
        MutexLock lock(m_errorsMutex);
        if (!m_reportedErrors.insert({ error->error_code, error->major_code }).second)
            return;
    }
    std::string name = error->error_code < std::size(kErrorNames) && kErrorNames[error->error_code]
        ? kErrorNames[error->error_code]
        : "error " + std::to_string(error->error_code);
    std::string request = std::to_string(error->major_code);
    for (const auto& [opcode, extension] : m_extensionOpcodes)
        if (opcode == error->major_code)
            request = std::string(extension) + " " + std::to_string(error->minor_code);
    NSLogString("the X server refused a request of this process: " + name + " to request " + request
        + " (resource " + std::to_string(error->resource_id) + "); later errors of this kind are not reported");
}
