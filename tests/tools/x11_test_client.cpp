// A small X11 client for the X11 backend's tests: it opens titled windows
// filled with one colour, as one process, and takes commands on standard
// input, one per line, answering each with one line on standard output:
//   open TITLE RRGGBB X Y W H [dialog] [nopid]
//                                       -> "window ID" once the window is mapped
//                                          (nopid: without _NET_WM_PID, as xcalc)
//   title ID TITLE                      -> "ok"
//   oldtitle ID TYPE TITLE              -> "ok": only WM_NAME, of the type
//                                          (STRING, COMPOUND_TEXT), is left
//   icon ID W H RRGGBB [W H RRGGBB ...] -> "ok": _NET_WM_ICON of plain images
//   paint ID RRGGBB                     -> "ok" once the server has filled the
//                                          window with the colour
//   close ID                            -> "ok" (the window is destroyed)
//   hang                                -> "ok"; pings and close requests go unanswered
//   ask ID                              -> "ok"; from then on a close request for the
//                                          window opens a dialog "Save changes?" beside
//                                          it, as an editor with unsaved text does,
//                                          and prints "asked ID" instead of closing
//   tray X Y W H                        -> "tray ID": a system tray at the rectangle
//                                          that docks the items that ask ("docked ID"),
//                                          each at the minimum size of its normal
//                                          hints (one pixel square without), as
//                                          trays built on the common toolkits do
//   exit                                -> the process ends
// TITLE is written with %XX escapes for any byte (%20 for a space), so that
// titles that are not UTF-8 can be given. A close request from the window
// manager destroys the window and prints "closed ID". The client ends when
// its standard input closes, so it never outlives the test that started it.
#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

xcb_connection_t* gConnection;
xcb_screen_t* gScreen;
int gScreenNumber = 0;
bool gHung = false;
// Key presses that reached the client's windows.
int gKeyPresses = 0;
// The window manager's pings that reached the client, answered or not.
int gPings = 0;
// Windows that ask before they close.
std::set<xcb_window_t> gAsking;
// The system tray, when asked to be one, and where its next item goes.
xcb_window_t gTray = XCB_WINDOW_NONE;
int gTrayHeight = 0;
int gTrayNext = 0;

xcb_atom_t atom(const char* name)
{
    auto reply = xcb_intern_atom_reply(gConnection, xcb_intern_atom(gConnection, 0, std::strlen(name), name), nullptr);
    xcb_atom_t a = reply ? reply->atom : XCB_ATOM_NONE;
    free(reply);
    return a;
}

std::string unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void answer(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void setTitle(xcb_window_t window, const std::string& title)
{
    xcb_change_property(gConnection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8,
        title.size(), title.data());
    xcb_change_property(gConnection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, title.size(),
        title.data());
}

// Handles the events that are waiting; returns the window that was mapped
// when `waitingFor` is given and its map arrives.
// Embeds an item as an XEmbed embedder does: into the tray window, sized
// and mapped, with the embedded notice.
void dock(xcb_window_t item)
{
    uint32_t width = 1, height = 1;
    xcb_size_hints_t hints {};
    if (xcb_icccm_get_wm_normal_hints_reply(gConnection, xcb_icccm_get_wm_normal_hints(gConnection, item), &hints, nullptr)
        && (hints.flags & XCB_ICCCM_SIZE_HINT_P_MIN_SIZE)) {
        width = uint32_t(std::max(1, int(hints.min_width)));
        height = uint32_t(std::max(1, int(hints.min_height)));
    }
    // The item comes back to the root, mapped, when the tray ends.
    xcb_change_save_set(gConnection, XCB_SET_MODE_INSERT, item);
    xcb_reparent_window(gConnection, item, gTray, int16_t(gTrayNext), int16_t((gTrayHeight - int(height)) / 2));
    uint32_t size[] = { width, height };
    xcb_configure_window(gConnection, item, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    xcb_map_window(gConnection, item);
    xcb_client_message_event_t notice {};
    notice.response_type = XCB_CLIENT_MESSAGE;
    notice.format = 32;
    notice.window = item;
    notice.type = atom("_XEMBED");
    notice.data.data32[1] = 0; // XEMBED_EMBEDDED_NOTIFY
    notice.data.data32[3] = gTray;
    xcb_send_event(gConnection, 0, item, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notice));
    xcb_flush(gConnection);
    gTrayNext += int(width);
    answer("docked " + std::to_string(item));
}

xcb_window_t create(
    const std::string& title, uint32_t colour, int x, int y, int width, int height, bool dialog, bool withPid = true);

// The close request of a window with unsaved work: a dialog comes up and the
// window stays.
void askBeforeClosing(xcb_window_t window)
{
    xcb_window_t dialog = create("Save changes?", 0xdddddd, 60, 60, 240, 100, true);
    xcb_icccm_set_wm_transient_for(gConnection, dialog, window);
    xcb_map_window(gConnection, dialog);
    answer("asked " + std::to_string(window));
}

bool pump(xcb_window_t waitingFor)
{
    bool mapped = false;
    while (auto* event = xcb_poll_for_event(gConnection)) {
        uint8_t type = event->response_type & 0x7f;
        if (type == XCB_MAP_NOTIFY && reinterpret_cast<xcb_map_notify_event_t*>(event)->window == waitingFor) {
            mapped = true;
        } else if (type == XCB_KEY_PRESS) {
            ++gKeyPresses;
        } else if (type == XCB_CLIENT_MESSAGE && gTray
            && reinterpret_cast<xcb_client_message_event_t*>(event)->type == atom("_NET_SYSTEM_TRAY_OPCODE")) {
            auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            if (message->data.data32[1] == 0) // SYSTEM_TRAY_REQUEST_DOCK
                dock(message->data.data32[2]);
        } else if (type == XCB_CLIENT_MESSAGE && gHung) {
            gPings += reinterpret_cast<xcb_client_message_event_t*>(event)->data.data32[0] == atom("_NET_WM_PING");
        } else if (type == XCB_CLIENT_MESSAGE) {
            auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            xcb_atom_t protocol = message->data.data32[0];
            if (protocol == atom("_NET_WM_PING")) {
                ++gPings;
                message->window = gScreen->root;
                xcb_send_event(gConnection, 0, gScreen->root,
                    XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                    reinterpret_cast<const char*>(message));
            } else if (protocol == atom("WM_DELETE_WINDOW") && gAsking.count(message->window)) {
                askBeforeClosing(message->window);
            } else if (protocol == atom("WM_DELETE_WINDOW")) {
                xcb_destroy_window(gConnection, message->window);
                answer("closed " + std::to_string(message->window));
            }
            xcb_flush(gConnection);
        }
        free(event);
    }
    return mapped;
}

// A titled window of this process, not yet mapped.
xcb_window_t create(const std::string& title, uint32_t colour, int x, int y, int width, int height, bool dialog, bool withPid)
{
    xcb_window_t window = xcb_generate_id(gConnection);
    uint32_t values[] = { colour, XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_KEY_PRESS };
    xcb_create_window(gConnection, XCB_COPY_FROM_PARENT, window, gScreen->root, x, y, width, height, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, gScreen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    setTitle(window, title);
    static const char wmClass[] = "qvclient\0QvTestClient";
    xcb_change_property(gConnection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
        sizeof(wmClass), wmClass);
    uint32_t pid = getpid();
    if (withPid)
        xcb_change_property(gConnection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_atom_t protocols[] = { atom("WM_DELETE_WINDOW"), atom("_NET_WM_PING") };
    xcb_change_property(
        gConnection, XCB_PROP_MODE_REPLACE, window, atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 32, 2, protocols);
    xcb_atom_t type = atom(dialog ? "_NET_WM_WINDOW_TYPE_DIALOG" : "_NET_WM_WINDOW_TYPE_NORMAL");
    xcb_change_property(gConnection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
        &type);
    // The position and size are the user's, so the window manager keeps them.
    xcb_size_hints_t hints {};
    xcb_icccm_size_hints_set_position(&hints, 1, x, y);
    xcb_icccm_size_hints_set_size(&hints, 1, width, height);
    xcb_icccm_set_wm_normal_hints(gConnection, window, &hints);
    return window;
}

xcb_window_t open(const std::string& title, uint32_t colour, int x, int y, int width, int height, bool dialog, bool withPid)
{
    xcb_window_t window = create(title, colour, x, y, width, height, dialog, withPid);
    xcb_map_window(gConnection, window);
    xcb_flush(gConnection);
    pollfd fd { xcb_get_file_descriptor(gConnection), POLLIN, 0 };
    while (!pump(window)) {
        if (poll(&fd, 1, 5000) <= 0 || xcb_connection_has_error(gConnection))
            return XCB_WINDOW_NONE;
    }
    return window;
}

// Becomes the screen's system tray: takes the selection and tells every
// client on the root window.
xcb_window_t startTray(int x, int y, int width, int height)
{
    gTray = xcb_generate_id(gConnection);
    uint32_t values[] = { 0x404040, 1 };
    xcb_create_window(gConnection, XCB_COPY_FROM_PARENT, gTray, gScreen->root, x, y, width, height, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, gScreen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(gConnection, gTray);
    gTrayHeight = height;
    xcb_atom_t selection = atom(("_NET_SYSTEM_TRAY_S" + std::to_string(gScreenNumber)).c_str());
    xcb_set_selection_owner(gConnection, gTray, selection, XCB_CURRENT_TIME);
    xcb_client_message_event_t manager {};
    manager.response_type = XCB_CLIENT_MESSAGE;
    manager.format = 32;
    manager.window = gScreen->root;
    manager.type = atom("MANAGER");
    manager.data.data32[0] = XCB_CURRENT_TIME;
    manager.data.data32[1] = selection;
    manager.data.data32[2] = gTray;
    xcb_send_event(gConnection, 0, gScreen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&manager));
    xcb_flush(gConnection);
    return gTray;
}

void command(const std::string& line)
{
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb == "open") {
        std::string title, colour, flag;
        int x, y, width, height;
        in >> title >> colour >> x >> y >> width >> height;
        bool dialog = false, withPid = true;
        while (in >> flag) {
            dialog = dialog || flag == "dialog";
            withPid = withPid && flag != "nopid";
        }
        xcb_window_t window = open(unescape(title), std::strtoul(colour.c_str(), nullptr, 16), x, y, width, height,
            dialog, withPid);
        answer(window ? "window " + std::to_string(window) : "error");
    } else if (verb == "oldtitle") {
        xcb_window_t window;
        std::string type, title;
        in >> window >> type >> title;
        title = unescape(title);
        xcb_delete_property(gConnection, window, atom("_NET_WM_NAME"));
        xcb_change_property(gConnection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, atom(type.c_str()), 8,
            title.size(), title.data());
        xcb_flush(gConnection);
        answer("ok");
    } else if (verb == "icon") {
        xcb_window_t window;
        in >> window;
        std::vector<uint32_t> words;
        int width, height;
        std::string colour;
        while (in >> width >> height >> colour) {
            words.push_back(width);
            words.push_back(height);
            words.insert(words.end(), size_t(width) * height, 0xff000000 | std::strtoul(colour.c_str(), nullptr, 16));
        }
        xcb_change_property(gConnection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_ICON"), XCB_ATOM_CARDINAL, 32,
            words.size(), words.data());
        xcb_flush(gConnection);
        answer("ok");
    } else if (verb == "title") {
        xcb_window_t window;
        std::string title;
        in >> window >> title;
        setTitle(window, unescape(title));
        xcb_flush(gConnection);
        answer("ok");
    } else if (verb == "paint") {
        xcb_window_t window;
        std::string colour;
        in >> window >> colour;
        // The window's background becomes the colour and is drawn again, as
        // a client redrawing its contents would; the server's answer to the
        // request after it says the pixels are there.
        uint32_t pixel = std::strtoul(colour.c_str(), nullptr, 16);
        xcb_change_window_attributes(gConnection, window, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(gConnection, 0, window, 0, 0, 0, 0);
        free(xcb_get_input_focus_reply(gConnection, xcb_get_input_focus(gConnection), nullptr));
        answer("ok");
    } else if (verb == "close") {
        xcb_window_t window;
        in >> window;
        xcb_destroy_window(gConnection, window);
        xcb_flush(gConnection);
        answer("ok");
    } else if (verb == "tray") {
        int x, y, width, height;
        in >> x >> y >> width >> height;
        answer("tray " + std::to_string(startTray(x, y, width, height)));
    } else if (verb == "keys") {
        // A round trip first: every key the server gave the client before
        // this request is in hand then.
        free(xcb_get_input_focus_reply(gConnection, xcb_get_input_focus(gConnection), nullptr));
        pump(XCB_WINDOW_NONE);
        answer("keys " + std::to_string(gKeyPresses));
    } else if (verb == "pings") {
        free(xcb_get_input_focus_reply(gConnection, xcb_get_input_focus(gConnection), nullptr));
        pump(XCB_WINDOW_NONE);
        answer("pings " + std::to_string(gPings));
    } else if (verb == "ask") {
        xcb_window_t window;
        in >> window;
        gAsking.insert(window);
        answer("ok");
    } else if (verb == "hang") {
        gHung = true;
        answer("ok");
    } else if (verb == "exit") {
        std::exit(0);
    } else {
        answer("error");
    }
}

}

int main()
{
    gConnection = xcb_connect(nullptr, &gScreenNumber);
    if (xcb_connection_has_error(gConnection)) {
        std::fprintf(stderr, "x11_test_client: cannot open the display\n");
        return 1;
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(gConnection));
    for (int i = 0; i < gScreenNumber; ++i)
        xcb_screen_next(&it);
    gScreen = it.data;
    answer("ready " + std::to_string(getpid()));

    std::string pending;
    pollfd fds[] = { { STDIN_FILENO, POLLIN, 0 }, { xcb_get_file_descriptor(gConnection), POLLIN, 0 } };
    for (;;) {
        pump(XCB_WINDOW_NONE);
        if (poll(fds, 2, -1) < 0 || xcb_connection_has_error(gConnection))
            return 1;
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buffer[4096];
            ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0)
                return 0;
            pending.append(buffer, n);
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                command(pending.substr(0, end));
                pending.erase(0, end + 1);
            }
        }
    }
}
