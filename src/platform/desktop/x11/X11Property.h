// Reading window properties: the request is sent first and the answer read
// later, so that many reads travel to the server together.
#pragma once

#include "X11Connection.h"

#include <xcb/xcb.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct X11PropertyReply {
    X11Reply<xcb_get_property_reply_t> reply;
    // False when the window is gone or the property is absent.
    bool exists() const { return reply && reply->type != XCB_ATOM_NONE; }
    xcb_atom_t type() const { return reply ? reply->type : xcb_atom_t(XCB_ATOM_NONE); }
    const char* bytes() const { return reply ? static_cast<const char*>(xcb_get_property_value(reply.get())) : nullptr; }
    size_t length() const { return reply ? static_cast<size_t>(xcb_get_property_value_length(reply.get())) : 0; }
    // 32-bit items (cardinals, atoms, windows).
    std::vector<uint32_t> words() const
    {
        if (!reply || reply->format != 32)
            return {};
        const auto* p = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        return std::vector<uint32_t>(p, p + length() / 4);
    }
    std::optional<uint32_t> word() const
    {
        auto w = words();
        return w.empty() ? std::nullopt : std::optional<uint32_t>(w.front());
    }
};

class X11PropertyRequest {
public:
    // Asks for at most `maxBytes` of the property.
    X11PropertyRequest(X11Connection& x, xcb_window_t window, xcb_atom_t property, uint32_t maxBytes = 1 << 16)
        : m_x(x)
        , m_cookie(xcb_get_property(x.connection(), 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, (maxBytes + 3) / 4))
    {
    }
    // The answer; an error (other than the window's being gone) is noted.
    X11PropertyReply get() { return { m_x.reply(xcb_get_property_reply, m_cookie) }; }

private:
    X11Connection& m_x;
    xcb_get_property_cookie_t m_cookie;
};

// Seconds of a steady clock, for time-outs of the X server's answers (real
// time, whatever clock the system's code runs on).
inline double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
