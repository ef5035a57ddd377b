// One switcher per display. The running one owns the selection
// _QUORVEX_SWITCHER_S<screen>, as a window manager owns WM_S<screen> and a
// system tray _NET_SYSTEM_TRAY_S<screen>; the server hands it back when the
// process ends, however it ends. A second start finds the owner and
// converts the selection to the target _QUORVEX_REOPEN: the owner answers
// the conversion and reopens (the platform's reopen of an application that
// is launched again), and the second start ends.
#include "X11Connection.h"
#include "X11Desktop.h"

#include <foundation/Clock.h>
#include <foundation/Log.h>

#include <poll.h>

#include <cstring>
#include <memory>

namespace {

xcb_atom_t internAtom(xcb_connection_t* c, const std::string& name)
{
    X11Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, name.size(), name.c_str()), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t selectionOwner(xcb_connection_t* c, xcb_atom_t selection)
{
    X11Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

}

X11Desktop::ReopenAnswer X11Desktop::askRunningSwitcherToReopen(const std::string& display, double timeoutSeconds, std::string* error)
{
    auto fail = [&](ReopenAnswer answer, const std::string& message) {
        if (error)
            *error = message;
        return answer;
    };
    const char* name = display.empty() ? std::getenv("DISPLAY") : display.c_str();
    std::string displayName = name ? name : "";
    if (displayName.empty())
        return fail(ReopenAnswer::NoDisplay, "no X display: $DISPLAY is not set");
    int screen = 0;
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(xcb_connect(displayName.c_str(), &screen), &xcb_disconnect);
    auto* c = connection.get();
    if (xcb_connection_has_error(c))
        return fail(ReopenAnswer::NoDisplay, "cannot open the X display \"" + displayName + "\"");
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen && roots.rem; ++i)
        xcb_screen_next(&roots);
    if (!roots.data)
        return fail(ReopenAnswer::NoDisplay, "the X display \"" + displayName + "\" has no screen " + std::to_string(screen));
    xcb_atom_t selection = internAtom(c, X11Connection::switcherSelectionName(screen));
    xcb_atom_t target = internAtom(c, X11Connection::kReopenTargetName);
    if (selectionOwner(c, selection) == XCB_WINDOW_NONE)
        return ReopenAnswer::NoneRunning;

    // The answer comes to a window of this connection.
    xcb_window_t requestor = xcb_generate_id(c);
    xcb_create_window(c, 0, requestor, roots.data->root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_convert_selection(c, requestor, selection, target, target, XCB_CURRENT_TIME);
    xcb_flush(c);
    double deadline = SystemClock().now() + timeoutSeconds;
    for (;;) {
        while (auto* event = xcb_poll_for_event(c)) {
            bool answered = eventType(event) == XCB_SELECTION_NOTIFY
                && reinterpret_cast<xcb_selection_notify_event_t*>(event)->requestor == requestor;
            bool refused = answered && reinterpret_cast<xcb_selection_notify_event_t*>(event)->property == XCB_ATOM_NONE;
            free(event);
            if (refused)
                return fail(ReopenAnswer::NoAnswer, "the switcher running on the X display \"" + displayName
                        + "\" refused to reopen");
            if (answered)
                return ReopenAnswer::Reopened;
        }
        double left = deadline - SystemClock().now();
        pollfd p { xcb_get_file_descriptor(c), POLLIN, 0 };
        if (left <= 0 || poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0 || xcb_connection_has_error(c))
            break;
    }
    // The owner may have ended meanwhile: then nothing runs any more.
    if (!xcb_connection_has_error(c) && selectionOwner(c, selection) == XCB_WINDOW_NONE)
        return ReopenAnswer::NoneRunning;
    return fail(ReopenAnswer::NoAnswer, "the switcher running on the X display \"" + displayName
            + "\" did not answer within " + std::to_string(static_cast<int>(timeoutSeconds)) + " s");
}

bool X11Desktop::claimSwitcherSelection()
{
    auto* c = m_x->connection();
    const auto& atoms = m_x->atoms();
    xcb_window_t owner = xcb_generate_id(c);
    xcb_create_window(c, 0, owner, m_x->root(), -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0,
        nullptr);
    // Only a free selection is taken: a switcher that runs keeps it.
    if (selectionOwner(c, atoms.switcherSelection) != XCB_WINDOW_NONE)
        return false;
    // Owned from before the server hands it over, so that no request that
    // comes at once goes unanswered.
    {
        MutexLock lock(m_mutex);
        m_ownsSwitcherSelection = true;
    }
    xcb_set_selection_owner(c, owner, atoms.switcherSelection, XCB_CURRENT_TIME);
    // Two starts at once: the server settles which one owns it.
    if (selectionOwner(c, atoms.switcherSelection) != owner) {
        MutexLock lock(m_mutex);
        m_ownsSwitcherSelection = false;
        return false;
    }
    // Announced on the root window, as a manager selection is.
    sendClientMessageTo(m_x->root(), atoms.manager, XCB_CURRENT_TIME, atoms.switcherSelection, owner,
        XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    xcb_flush(c);
    return true;
}

// Another program took the selection.
void X11Desktop::handleSelectionClear(const xcb_selection_clear_event_t& e)
{
    {
        MutexLock lock(m_mutex);
        if (!m_ownsSwitcherSelection || e.selection != m_x->atoms().switcherSelection)
            return;
        m_ownsSwitcherSelection = false;
    }
    NSLogString("another program took the selection " + X11Connection::switcherSelectionName(m_x->screenNumber())
        + " on the X display \"" + m_x->displayName() + "\"; starting Quorvex again no longer reaches this one");
}

// A second start asks this one to reopen (or what targets it converts to).
void X11Desktop::handleSelectionRequest(const xcb_selection_request_event_t& e, std::vector<DesktopEvent>& events)
{
    auto* c = m_x->connection();
    const auto& atoms = m_x->atoms();
    {
        MutexLock lock(m_mutex);
        if (!m_ownsSwitcherSelection || e.selection != atoms.switcherSelection)
            return;
    }
    // An old requestor names no property; the target stands in for it.
    xcb_atom_t property = e.property == XCB_ATOM_NONE ? e.target : e.property;
    if (e.target == atoms.reopenTarget) {
        // A conversion done for its side effect answers with an empty
        // property of the type NULL.
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, e.requestor, property, atoms.null, 32, 0, nullptr);
        events.push_back({ DesktopEvent::Kind::ApplicationReopened, m_ownPid });
    } else if (e.target == atoms.targets) {
        xcb_atom_t targets[] = { atoms.targets, atoms.reopenTarget };
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, e.requestor, property, XCB_ATOM_ATOM, 32, 2, targets);
    } else {
        property = XCB_ATOM_NONE;
    }
    xcb_selection_notify_event_t notify {};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = e.time;
    notify.requestor = e.requestor;
    notify.selection = e.selection;
    notify.target = e.target;
    notify.property = property;
    xcb_send_event(c, 0, e.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
}
