// The window server's window list, window capture and display services.
#pragma once

#include <desktop/DesktopTypes.h>
#include <foundation/NSObject.h>
#include <foundation/Value.h>

#include <functional>

inline const std::string kCGWindowNumber = "kCGWindowNumber";
inline const std::string kCGWindowOwnerPID = "kCGWindowOwnerPID";
inline const std::string kCGWindowOwnerName = "kCGWindowOwnerName";
inline const std::string kCGWindowName = "kCGWindowName";
inline const std::string kCGWindowLayer = "kCGWindowLayer";
inline const std::string kCGWindowAlpha = "kCGWindowAlpha";
inline const std::string kCGWindowBounds = "kCGWindowBounds";
inline const std::string kCGWindowIsOnscreen = "kCGWindowIsOnscreen";
inline const std::string kCGWindowSharingState = "kCGWindowSharingState";
inline const std::string kCGWindowStoreType = "kCGWindowStoreType";
inline const std::string kCGWindowMemoryUsage = "kCGWindowMemoryUsage";

// Descriptions of the windows the options select, front to back; each is a
// dictionary with the keys above ("X", "Y", "Width", "Height" in the bounds).
// Window names are only given for the process's own windows unless the
// Screen Recording permission is granted.
Value CGWindowListCopyWindowInfo(CGWindowListOption option, CGWindowID relativeToWindow);
// The numbers of the same selection.
std::vector<CGWindowID> CGWindowListCreate(CGWindowListOption option, CGWindowID relativeToWindow);
// Whether the desktop asks for a Screen Recording permission at all; where
// it does not, every window's name is visible and captures need no grant.
bool CGScreenRecordingIsGated();

using CGError = int32_t;
inline constexpr CGError kCGErrorSuccess = 0;
inline constexpr CGError kCGErrorFailure = 1000;
inline constexpr CGError kCGErrorIllegalArgument = 1001;

CGDirectDisplayID CGMainDisplayID();
// Moves the pointer to a point (top-left coordinates): a mouse-moved event
// posted into the input stream, which the desktop follows.
// kCGErrorIllegalArgument for a point that is not finite.
CGError CGWarpMouseCursorPosition(CGPoint point);
// A display's UUID as text (upper-case hexadecimal groups 8-4-4-4-12). It
// is made from the display's number, so a display always has the same one;
// two displays sharing one is as unlikely as for random UUIDs.
std::string CGDisplayCreateUUIDFromDisplayID(CGDirectDisplayID display);
// The displays that a rectangle in global display coordinates (top-left
// origin) touches.
CGError CGGetDisplaysWithRect(CGRect rect, uint32_t maxDisplays, CGDirectDisplayID* displays, uint32_t* matchingDisplayCount);

// A display stream. Creating one asks for the Screen Recording permission.
class CGDisplayStream final : public NSObject {
public:
    using FrameHandler = std::function<void(int status, uint64_t displayTime)>;
    CGDisplayStream(CGDirectDisplayID display, size_t width, size_t height, int32_t pixelFormat, FrameHandler handler)
        : m_display(display)
        , m_width(width)
        , m_height(height)
        , m_pixelFormat(pixelFormat)
        , m_handler(std::move(handler))
    {
    }
    CGDirectDisplayID display() const { return m_display; }
    int32_t pixelFormat() const { return m_pixelFormat; }

private:
    CGDirectDisplayID m_display;
    size_t m_width;
    size_t m_height;
    int32_t m_pixelFormat;
    FrameHandler m_handler;
};
using CGDisplayStreamRef = Ref<CGDisplayStream>;

CGDisplayStreamRef CGDisplayStreamCreate(CGDirectDisplayID display, size_t outputWidth, size_t outputHeight,
    int32_t pixelFormat, const Value& properties, CGDisplayStream::FrameHandler handler);

// IOKit: the framebuffer service of a display and its probe request.
using io_service_t = uint32_t;
using kern_return_t = int32_t;
inline constexpr kern_return_t KERN_SUCCESS = 0;
inline constexpr kern_return_t kIOReturnNotFound = static_cast<kern_return_t>(0xe00002f0);
inline constexpr uint32_t kIOFBSetTransform = 0x00000400;
io_service_t CGDisplayIOServicePort(CGDirectDisplayID display);
kern_return_t IOServiceRequestProbe(io_service_t service, uint32_t options);

class CGImage;
using CGImageRef = std::shared_ptr<CGImage>;

using CGWindowImageOption = uint32_t;
inline constexpr CGWindowImageOption kCGWindowImageDefault = 0;
inline constexpr CGWindowImageOption kCGWindowImageBoundsIgnoreFraming = 1 << 0;
inline constexpr CGWindowImageOption kCGWindowImageShouldBeOpaque = 1 << 1;
inline constexpr CGWindowImageOption kCGWindowImageOnlyShadows = 1 << 2;
inline constexpr CGWindowImageOption kCGWindowImageBestResolution = 1 << 3;
inline constexpr CGWindowImageOption kCGWindowImageNominalResolution = 1 << 4;

struct DesktopImage;
// The desktop's picture as an image over its own bytes (premultiplied,
// R, G, B, A in memory, as window captures come); null for an empty one.
CGImageRef CGImageCreateWithDesktopImage(DesktopImage image);
// Writes an image to a PNG file; false when there is no image or writing fails.
bool CGImageWritePNGFile(const CGImageRef& image, const std::string& path);

// A picture of one window (list option kCGWindowListOptionIncludingWindow
// with the window's number; the null rectangle means the window's own
// bounds). Null when the window is gone or cannot be captured (another
// process's window without the Screen Recording permission). Other list
// options are not supported and give null.
CGImageRef CGWindowListCreateImage(
    CGRect screenBounds, CGWindowListOption listOption, CGWindowID windowID, CGWindowImageOption imageOption);
