// The accessibility interface: elements of other processes, their
// attributes and actions, values of geometric types, and the trust test.
#pragma once

#include <desktop/DesktopTypes.h>
#include <foundation/NSObject.h>
#include <foundation/Value.h>

#include <atomic>
#include <string>

// Core Foundation objects are platform objects here.
using CFTypeRef = Ref<NSObject>;
using CFIndex = long;

bool CFEqual(const CFTypeRef& a, const CFTypeRef& b);
size_t CFHash(const CFTypeRef& object);

class AXUIElement final : public NSObject {
public:
    explicit AXUIElement(const DesktopElement& element)
        : m_element(element)
    {
    }
    const DesktopElement& element() const { return m_element; }
    bool isEqual(const NSObject* other) const override;
    size_t hash() const override;
    std::string description() const override;
    // How long a request to the element waits for its application (0: as
    // long as the desktop waits by itself). Not part of its identity.
    float messagingTimeout() const { return m_messagingTimeout.load(); }

private:
    friend AXError AXUIElementSetMessagingTimeout(const Ref<AXUIElement>&, float);
    DesktopElement m_element;
    std::atomic<float> m_messagingTimeout { 0 };
};
using AXUIElementRef = Ref<AXUIElement>;

enum AXValueType : uint32_t {
    kAXValueIllegalType = 0,
    kAXValueCGPointType = 1,
    kAXValueCGSizeType = 2,
    kAXValueCGRectType = 3,
    kAXValueCFRangeType = 4,
    kAXValueAXErrorType = 5,
};

struct CFRange {
    CFIndex location { 0 };
    CFIndex length { 0 };
};

class AXValue final : public NSObject {
public:
    AXValueType type() const { return m_type; }
    bool isEqual(const NSObject* other) const override;
    std::string description() const override;

private:
    friend Ref<AXValue> AXValueCreate(AXValueType, const void*);
    friend bool AXValueGetValue(const Ref<AXValue>&, AXValueType, void*);
    AXValueType m_type { kAXValueIllegalType };
    CGPoint m_point;
    CGSize m_size;
    CGRect m_rect;
    CFRange m_range;
    AXError m_error { kAXErrorSuccess };
};
using AXValueRef = Ref<AXValue>;

AXValueRef AXValueCreate(AXValueType type, const void* valuePtr);
// Copies the value out when its type is the one asked for.
bool AXValueGetValue(const AXValueRef& value, AXValueType type, void* valuePtr);
AXValueType AXValueGetType(const AXValueRef& value);

// Bounds how long every later request to this element waits for an
// application that is slow to answer; 0 gives back the desktop's own wait.
// kAXErrorIllegalArgument for a negative or not finite time.
AXError AXUIElementSetMessagingTimeout(const AXUIElementRef& element, float timeoutInSeconds);

AXUIElementRef AXUIElementCreateSystemWide();
AXUIElementRef AXUIElementCreateApplication(pid_t pid);

AXError AXUIElementCopyAttributeValue(const AXUIElementRef& element, const std::string& attribute, Value* value);
AXError AXUIElementCopyAttributeNames(const AXUIElementRef& element, Value* names);
// Up to maxValues values of an array attribute, from the index on.
AXError AXUIElementCopyAttributeValues(
    const AXUIElementRef& element, const std::string& attribute, CFIndex index, CFIndex maxValues, Value* values);
AXError AXUIElementGetAttributeValueCount(const AXUIElementRef& element, const std::string& attribute, CFIndex* count);
AXError AXUIElementIsAttributeSettable(const AXUIElementRef& element, const std::string& attribute, bool* settable);
AXError AXUIElementSetAttributeValue(const AXUIElementRef& element, const std::string& attribute, const Value& value);
AXError AXUIElementPerformAction(const AXUIElementRef& element, const std::string& action);
AXError AXUIElementGetPid(const AXUIElementRef& element, pid_t* pid);
// The element at a point (top-left coordinates), asked of the system-wide
// element: the window in front at that point (kAXErrorNoValue when there
// is none). A window element's "AXWindow" is the window itself.
AXError AXUIElementCopyElementAtPosition(const AXUIElementRef& application, float x, float y, AXUIElementRef* element);
// The window-server number of a window element.
AXError _AXUIElementGetWindow(const AXUIElementRef& element, CGWindowID* number);

extern const std::string kAXTrustedCheckOptionPrompt;
bool AXIsProcessTrusted();
// With {kAXTrustedCheckOptionPrompt: true} the user is asked when the
// process is not trusted yet.
bool AXIsProcessTrustedWithOptions(const Value& options);
// The older global switch for assistive devices.
bool AXAPIEnabled();

// Attribute, action and notification names used across the system.
inline const std::string kAXRoleAttribute = "AXRole";
inline const std::string kAXSubroleAttribute = "AXSubrole";
inline const std::string kAXTitleAttribute = "AXTitle";
inline const std::string kAXPositionAttribute = "AXPosition";
inline const std::string kAXSizeAttribute = "AXSize";
inline const std::string kAXMinimizedAttribute = "AXMinimized";
inline const std::string kAXMainAttribute = "AXMain";
inline const std::string kAXHiddenAttribute = "AXHidden";
inline const std::string kAXWindowsAttribute = "AXWindows";
inline const std::string kAXParentAttribute = "AXParent";
inline const std::string kAXCloseButtonAttribute = "AXCloseButton";
inline const std::string kAXWindowAttribute = "AXWindow";
inline const std::string kAXZoomButtonAttribute = "AXZoomButton";
inline const std::string kAXFocusedApplicationAttribute = "AXFocusedApplication";
inline const std::string NSAccessibilityFocusedWindowAttribute = "AXFocusedWindow";
inline const std::string kAXPressAction = "AXPress";
inline const std::string kAXRaiseAction = "AXRaise";
inline const std::string kAXStandardWindowSubrole = "AXStandardWindow";
inline const std::string kAXSheetRole = "AXSheet";
