// The vocabulary shared by the desktop backends and the platform services
// that talk to them. Geometry here is in the accessibility space: origin at
// the top-left corner of the primary screen, y growing downwards, in points.
#pragma once

#include <foundation/CGGeometry.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <variant>
#include <vector>

using CGWindowID = uint32_t;
using CGDirectDisplayID = uint32_t;

// The accessibility interface's status codes, with the platform's numbers.
using AXError = int32_t;
inline constexpr AXError kAXErrorSuccess = 0;
inline constexpr AXError kAXErrorFailure = -25200;
inline constexpr AXError kAXErrorIllegalArgument = -25201;
inline constexpr AXError kAXErrorInvalidUIElement = -25202;
inline constexpr AXError kAXErrorInvalidUIElementObserver = -25203;
inline constexpr AXError kAXErrorCannotComplete = -25204;
inline constexpr AXError kAXErrorAttributeUnsupported = -25205;
inline constexpr AXError kAXErrorActionUnsupported = -25206;
inline constexpr AXError kAXErrorNotificationUnsupported = -25207;
inline constexpr AXError kAXErrorNotImplemented = -25208;
inline constexpr AXError kAXErrorNotificationAlreadyRegistered = -25209;
inline constexpr AXError kAXErrorNotificationNotRegistered = -25210;
inline constexpr AXError kAXErrorAPIDisabled = -25211;
inline constexpr AXError kAXErrorNoValue = -25212;

// Which user-interface element of which process.
struct DesktopElement {
    enum class Kind { SystemWide, Application, Window, CloseButton, ZoomButton, MinimizeButton };
    Kind kind { Kind::SystemWide };
    pid_t pid { 0 };
    CGWindowID window { 0 };
    bool operator==(const DesktopElement&) const = default;
};

// The attributes every desktop answers for an element of the kind.
inline std::vector<std::string> desktopAttributeNames(DesktopElement::Kind kind)
{
    switch (kind) {
    case DesktopElement::Kind::SystemWide:
        return { "AXRole", "AXFocusedApplication" };
    case DesktopElement::Kind::Application:
        return { "AXRole", "AXTitle", "AXHidden", "AXFrontmost", "AXWindows", "AXFocusedWindow", "AXMainWindow" };
    case DesktopElement::Kind::Window:
        return { "AXRole", "AXSubrole", "AXTitle", "AXPosition", "AXSize", "AXMinimized", "AXMain", "AXFocused",
            "AXFullScreen", "AXParent", "AXCloseButton", "AXZoomButton", "AXMinimizeButton" };
    default:
        return { "AXRole", "AXSubrole", "AXPosition", "AXSize", "AXParent" };
    }
}

// An attribute value as the desktop answers it.
using DesktopAXValue = std::variant<std::monostate, bool, int64_t, double, std::string, CGPoint, CGSize, CGRect,
    DesktopElement, std::vector<DesktopElement>>;

enum class ActivationPolicy { Regular = 0, Accessory = 1, Prohibited = 2 };

struct DesktopScreen {
    CGDirectDisplayID displayID { 0 };
    CGRect frame;
    CGRect visibleFrame;
    // Path of the screen's desktop picture; empty when it has none.
    std::string desktopPicture;
};

struct DesktopImage;

struct DesktopApp {
    pid_t pid { 0 };
    std::string name;
    std::string bundleId;
    // Path of the application bundle; empty for a bare process.
    std::string bundlePath;
    ActivationPolicy policy { ActivationPolicy::Regular };
    bool hidden { false };
    // A hung application answers no accessibility request in time.
    bool hung { false };
    // An agent (its bundle's information says LSUIElement).
    bool agent { false };
    // Colour of the generated icon, 0xRRGGBB.
    uint32_t iconColor { 0x808080 };
    // The application's own icon where it has one, an image for each size
    // it offers (premultiplied RGBA); null: the icon is drawn in iconColor.
    // Shared, since application records are copied often.
    std::shared_ptr<const std::vector<DesktopImage>> icons;
    double launchDate { 0 };
};

// A program to start as an application of the desktop's session.
struct DesktopLaunchRequest {
    // The program (looked up on PATH when it holds no slash), then its
    // arguments.
    std::vector<std::string> arguments;
    // The folder it runs in; empty: the home folder.
    std::string workingDirectory;
    // What the application is called and where it was found (a desktop
    // entry or the program itself), and the desktop entry's identifier.
    std::string name;
    std::string bundleId;
    std::string bundlePath;
    // Whether it comes to the front.
    bool activate { true };
};

struct DesktopWindow {
    CGWindowID number { 0 };
    pid_t pid { 0 };
    // No value means the window has no title at all.
    std::optional<std::string> title;
    std::string role { "AXWindow" };
    // No value means the attribute is absent.
    std::optional<std::string> subrole { "AXStandardWindow" };
    CGRect frame;
    int layer { 0 };
    double alpha { 1 };
    bool minimized { false };
    // Filling its screen, without the window's frame, as a full-screen
    // window does.
    bool fullScreen { false };
    // The desktop space the window is on; 0 means every space.
    uint64_t space { 1 };
    bool hasCloseButton { true };
    bool hasZoomButton { true };
    bool hasMinimizeButton { true };
    bool movable { true };
    bool resizable { true };
    // A window that refuses to become main through accessibility.
    bool refusesMain { false };
    bool isMain { false };
    // Clicks and pointer moves pass through to what lies below.
    bool ignoresMouseEvents { false };
    // Identifier of one of the system's own windows (empty for others).
    std::string identifier;
    // One of this process's windows that shows a status item: the desktop
    // puts it in its status area (see Desktop::hasStatusArea), which also
    // decides where it lies.
    bool statusItem { false };
    // Whether the window currently shows on screen (not minimised, its
    // application not hidden, on the current space).
    bool onScreen { false };
    // One of this process's windows: the opaque colour (0xRRGGBB) its
    // translucent parts lie over where the desktop has nothing of what lay
    // beneath it, the colour of the material it blends with what lies
    // behind it. None: its content's own colour made opaque.
    std::optional<uint32_t> backdropColor;
};

// A desktop space (a virtual desktop). Its identifier is never 0: a window
// whose space is 0 is on every space.
struct DesktopSpace {
    uint64_t identifier { 0 };
    // A space that one full-screen window has to itself.
    bool fullScreen { false };
};

// The spaces one display offers, in the user's order, and the one it shows.
struct DesktopDisplaySpaces {
    CGDirectDisplayID display { 0 };
    std::vector<DesktopSpace> spaces;
    uint64_t current { 0 };
};

// A picture of pixels: RGBA, 8 bits per component, premultiplied alpha.
struct DesktopImage {
    int width { 0 };
    int height { 0 };
    std::vector<uint8_t> rgba;
    bool empty() const { return width <= 0 || height <= 0; }

    // From pixels as the drawing code keeps them: 32-bit words holding
    // alpha, red, green, blue from the high byte down (Cairo's ARGB32),
    // stride bytes from one row to the next.
    static DesktopImage fromARGB32(const uint8_t* data, int width, int height, size_t stride);
    // The same from pixels already in rows of exactly width words (as a
    // drawing made straight into an image's buffer leaves them): converted
    // where they are, without a copy. An empty image when the size does
    // not match.
    static DesktopImage fromARGB32(std::vector<uint8_t>&& words, int width, int height);
    // The other way: the pixels of columns x0..x1 and rows y0..y1 (within
    // the image) as ARGB32 words, a row every stride bytes from data.
    void copyARGB32(int x0, int y0, int x1, int y1, uint8_t* data, size_t stride) const;
};

// A window's picture as its drawing keeps it, handed over without a copy:
// 32-bit words holding alpha, red, green, blue from the high byte down
// (Cairo's ARGB32, premultiplied; blue, green, red, alpha in memory on this
// little-endian machine), `stride` bytes from one row to the next. `owner`
// keeps the memory alive; the pixels are read before the drawing goes on
// (by the caller of the content function, on its thread).
struct DesktopFrame {
    const uint8_t* pixels { nullptr };
    int width { 0 };
    int height { 0 };
    size_t stride { 0 };
    std::shared_ptr<const void> owner;
    bool empty() const { return !pixels || width <= 0 || height <= 0; }
    const uint8_t* row(int y) const { return pixels + stride * size_t(y); }

    // The picture as RGBA (a copy).
    DesktopImage image() const;
    // A frame holding its own copy of the pixels: of an RGBA image, or of
    // ARGB32 rows.
    static DesktopFrame of(const DesktopImage& image);
    static DesktopFrame copyOf(const uint8_t* data, int width, int height, size_t stride);
};

// What the desktop tells the services about, as it happens.
struct DesktopEvent {
    enum class Kind {
        AXNotification,
        ApplicationLaunched,
        ApplicationTerminated,
        ApplicationActivated,
        ApplicationHidden,
        ApplicationUnhidden,
        ActiveSpaceChanged,
        ScreensChanged,
        PermissionsChanged,
        // This process was started again: a person asks the running one to
        // reopen (pid: this process).
        ApplicationReopened,
    };
    DesktopEvent() = default;
    DesktopEvent(Kind k, pid_t p = 0)
        : kind(k)
        , pid(p)
    {
    }
    DesktopEvent(Kind k, pid_t p, DesktopElement e, std::string name)
        : kind(k)
        , pid(p)
        , element(e)
        , notification(std::move(name))
    {
    }

    Kind kind { Kind::AXNotification };
    pid_t pid { 0 };
    // The element the accessibility notification is about.
    DesktopElement element;
    std::string notification;
};

// The notification a desktop sends (with the window's element) when a
// person asks to close one of this process's windows through the desktop,
// as a window manager's close button does.
inline constexpr const char* kDesktopCloseRequestNotification = "QVWindowCloseRequested";

// An input event as it travels through the window server: keys, modifier
// changes, mouse and scroll wheel. Type and flag values are the platform's.
struct DesktopInputEvent {
    uint32_t type { 0 };
    uint16_t keyCode { 0 };
    uint64_t flags { 0 };
    CGPoint location;
    double timestamp { 0 };
    int64_t mouseButton { 0 };
    int64_t clickState { 0 };
    bool autorepeat { false };
    double scrollDeltaX { 0 };
    double scrollDeltaY { 0 };
    bool scrollContinuous { false };
    // Where the event was posted: 0 the HID system, 1 the session.
    uint32_t tapLocation { 0 };
    // The process that posted it (0: the hardware).
    pid_t sourcePid { 0 };
};

// One of the desktop's own keyboard shortcuts (a symbolic hot key): a
// virtual key code with Carbon modifier bits (Command 0x100, Shift 0x200,
// Option 0x800, Control 0x1000), and whether the user has it switched on.
struct DesktopSymbolicHotKey {
    int32_t identifier { 0 };
    uint16_t keyCode { 0 };
    uint32_t modifiers { 0 };
    bool enabled { true };
    // What it does, for people reading a test or a log.
    std::string name;
};

// Window-list options with the platform's values.
using CGWindowListOption = uint32_t;
inline constexpr CGWindowListOption kCGWindowListOptionAll = 0;
inline constexpr CGWindowListOption kCGWindowListOptionOnScreenOnly = 1 << 0;
inline constexpr CGWindowListOption kCGWindowListOptionOnScreenAboveWindow = 1 << 1;
inline constexpr CGWindowListOption kCGWindowListOptionOnScreenBelowWindow = 1 << 2;
inline constexpr CGWindowListOption kCGWindowListOptionIncludingWindow = 1 << 3;
inline constexpr CGWindowListOption kCGWindowListExcludeDesktopElements = 1 << 4;
inline constexpr CGWindowID kCGNullWindowID = 0;
