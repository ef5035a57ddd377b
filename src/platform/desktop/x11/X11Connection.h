// One connection to an X server, with what the X11 desktop needs to know of
// it before it can answer: the root window, the atoms of the window
// manager's hints, which extensions the server offers, and whether an EWMH
// window manager runs. XCB connections may be used from several threads.
#pragma once

#include "X11Reply.h"

#include <foundation/CGGeometry.h>
#include <foundation/ThreadSafety.h>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// Numbers as the protocol carries them: a coordinate in 16 signed bits, an
// extent from 1 to 32767.
inline uint32_t x11Coordinate(double v) { return static_cast<uint32_t>(static_cast<int32_t>(std::clamp(v, -32768.0, 32767.0))); }
inline uint32_t x11Extent(double v) { return static_cast<uint32_t>(std::clamp(v, 1.0, 32767.0)); }

// The type of an event, without the bit that marks one another client sent.
inline uint8_t eventType(const xcb_generic_event_t* event) { return event->response_type & ~0x80; }

class X11Connection {
public:
    // Opens the display (empty: $DISPLAY). Null with a message for people
    // in `error` when the display cannot be opened, when no window manager
    // runs, or when the one that runs does not offer the hints this
    // desktop reads.
    static std::unique_ptr<X11Connection> open(const std::string& display, std::string* error);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* connection() const { return m_connection; }
    xcb_ewmh_connection_t& ewmh() { return m_ewmh; }
    xcb_screen_t* screen() const { return m_screen; }
    xcb_window_t root() const { return m_screen->root; }
    int screenNumber() const { return m_screenNumber; }
    const std::string& displayName() const { return m_displayName; }

    // Atoms the EWMH helper does not hold, looked up once as the connection
    // opens (so they are read from any thread without a lock).
    struct Atoms {
        xcb_atom_t wmDeleteWindow { XCB_ATOM_NONE };
        xcb_atom_t wmChangeState { XCB_ATOM_NONE };
        xcb_atom_t compoundText { XCB_ATOM_NONE };
        // A manager selection's announcement on the root window.
        xcb_atom_t manager { XCB_ATOM_NONE };
        // The system tray: its selection _NET_SYSTEM_TRAY_S<screen>, its
        // requests and an embedded window's XEmbed information.
        xcb_atom_t traySelection { XCB_ATOM_NONE };
        xcb_atom_t trayOpcode { XCB_ATOM_NONE };
        xcb_atom_t xembedInfo { XCB_ATOM_NONE };
        // The switcher's selection (see switcherSelectionName), the target
        // that asks it to reopen, and the standard targets and empty type of
        // a selection's answers.
        xcb_atom_t switcherSelection { XCB_ATOM_NONE };
        xcb_atom_t reopenTarget { XCB_ATOM_NONE };
        xcb_atom_t targets { XCB_ATOM_NONE };
        xcb_atom_t null { XCB_ATOM_NONE };
    };
    const Atoms& atoms() const { return m_atoms; }
    xcb_atom_t utf8String() const { return m_ewmh.UTF8_STRING; }
    xcb_atom_t wmProtocols() const { return m_ewmh.WM_PROTOCOLS; }
    // The selection that the display's running switcher owns, and the
    // target a second start converts it to.
    static std::string switcherSelectionName(int screen) { return "_QUORVEX_SWITCHER_S" + std::to_string(screen); }
    static constexpr const char* kReopenTargetName = "_QUORVEX_REOPEN";

    // Extensions, as the server offers them.
    bool hasComposite() const { return m_composite; }
    bool hasDamage() const { return m_damage; }
    uint8_t damageEventBase() const { return m_damageEventBase; }
    bool hasRandR() const { return m_randr; }
    uint8_t randrEventBase() const { return m_randrEventBase; }
    bool hasShm() const { return m_shm; }
    // X-Resource 1.2: which process a client is.
    bool hasResourceIds() const { return m_resourceIds; }

    // The window manager's name, as its check window says.
    const std::string& windowManagerName() const { return m_windowManagerName; }
    // Where the server shows the window, in root coordinates; null when the
    // window is gone.
    CGRect rootFrame(xcb_window_t window);

    // Whether the window manager says it supports the hint.
    bool supports(xcb_atom_t hint) const;

    // Sends a request and waits for it to be carried out; false with the
    // error's code when the server refused it.
    bool check(xcb_void_cookie_t cookie, uint8_t* errorCode = nullptr) EXCLUDES(m_replyTurn);

    // The server's errors of this connection's requests. Those of a window
    // that went away between two requests (a client that ended, a window
    // unmapped while its pixels were read) are expected and ignored; any
    // other says the server refused something this process asked (a window
    // it could not make, an image it could not take) and is logged, once
    // per kind of error and request. From any thread.
    void noteError(const xcb_generic_error_t* error) EXCLUDES(m_errorsMutex);
    bool isWindowGoneError(const xcb_generic_error_t& error) const;
    // Waits for the reply of a request (`function` is the request's reply
    // function, as xcb_get_geometry_reply), owned; its error is noted.
    template <class Function, class Cookie>
    auto reply(Function function, Cookie cookie) EXCLUDES(m_replyTurn)
    {
        xcb_generic_error_t* error = nullptr;
        decltype(function(m_connection, cookie, &error)) answer;
        {
            MutexLock turn(m_replyTurn);
            answer = function(m_connection, cookie, &error);
        }
        noteError(error);
        std::free(error);
        return X11Reply<std::remove_pointer_t<decltype(answer)>>(answer);
    }

    // The hints this desktop cannot do without; a window manager that lacks
    // one is named in the message of `open`.
    static std::vector<std::string> requiredHints();

private:
    X11Connection() = default;
    bool queryExtensions();
    void internAtoms();
    xcb_atom_t atom(const std::string& name);
    std::optional<std::string> checkWindowManager();

    xcb_connection_t* m_connection { nullptr };
    // Replies are waited for one thread at a time. When the server goes away
    // while two threads wait for replies, the library can hand the reading
    // back and forth between them for ever (both spin, neither learns that
    // the connection is gone), so the program never ends; taken only around
    // the wait, after any other lock.
    Mutex m_replyTurn;
    xcb_ewmh_connection_t m_ewmh {};
    bool m_ewmhReady { false };
    xcb_screen_t* m_screen { nullptr };
    int m_screenNumber { 0 };
    std::string m_displayName;
    Atoms m_atoms;
    std::vector<xcb_atom_t> m_supported;
    std::string m_windowManagerName;
    bool m_composite { false };
    bool m_damage { false };
    uint8_t m_damageEventBase { 0 };
    bool m_randr { false };
    uint8_t m_randrEventBase { 0 };
    uint8_t m_damageFirstError { 0 };
    uint8_t m_shmOpcode { 0 };
    // The extensions' request codes, for the errors' messages.
    std::vector<std::pair<uint8_t, const char*>> m_extensionOpcodes;
    Mutex m_errorsMutex;
    // The kinds of error logged: error code and request code.
    std::set<std::pair<uint8_t, uint8_t>> m_reportedErrors GUARDED_BY(m_errorsMutex);
    bool m_shm { false };
    bool m_resourceIds { false };
};
