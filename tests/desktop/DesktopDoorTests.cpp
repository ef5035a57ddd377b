// The application framework reaches a backend only through the Desktop
// interface: a backend that is not the simulated desktop gets this
// process's windows and activation policy the same way.
#include "support/SimWorld.h"
#include "support/Watchdog.h"

#include <appkit/NSApplication.h>
#include <appkit/NSWindow.h>
#include <desktop/DesktopListeners.h>

namespace {

// A backend of its own kind: it answers from a simulated desktop and
// records what the framework announces about this process.
class ForwardingDesktop final : public Desktop {
public:
    explicit ForwardingDesktop(std::shared_ptr<SimDesktop> inner)
        : d(std::move(inner))
    {
    }
    std::vector<std::string> announced;

    std::vector<DesktopScreen> screens() const override { return d->screens(); }
    CGPoint mouseLocation() const override { return d->mouseLocation(); }
    uint32_t pressedMouseButtons() const override { return d->pressedMouseButtons(); }
    bool isAccessibilityTrusted() const override { return d->isAccessibilityTrusted(); }
    void promptForAccessibility() override { d->promptForAccessibility(); }
    bool isScreenRecordingGranted() const override { return d->isScreenRecordingGranted(); }
    bool createDisplayStream(CGDirectDisplayID display) override { return d->createDisplayStream(display); }
    bool isAssistiveAccessEnabled() const override { return d->isAssistiveAccessEnabled(); }
    pid_t ownProcessIdentifier() const override { return d->ownProcessIdentifier(); }
    std::vector<DesktopApp> runningApplications() const override { return d->runningApplications(); }
    std::optional<DesktopApp> application(pid_t pid) const override { return d->application(pid); }
    pid_t frontmostApplication() const override { return d->frontmostApplication(); }
    bool hideApplication(pid_t pid) override { return d->hideApplication(pid); }
    bool unhideApplication(pid_t pid) override { return d->unhideApplication(pid); }
    bool terminateApplication(pid_t pid, bool force) override { return d->terminateApplication(pid, force); }
    bool activateApplication(pid_t pid, bool front) override { return d->activateApplication(pid, front); }
    std::optional<DesktopApp> startApplication(const DesktopLaunchRequest& r, std::string* e) override { return d->startApplication(r, e); }
    std::vector<DesktopWindow> windows() const override { return d->windows(); }
    std::optional<DesktopWindow> window(CGWindowID n) const override { return d->window(n); }
    std::optional<DesktopImage> captureWindow(CGWindowID n) override { return d->captureWindow(n); }
    std::optional<DesktopImage> captureBelowOwnWindow(CGWindowID n, const CGRect& area, int reduction = 1) override
    {
        return d->captureBelowOwnWindow(n, area, reduction);
    }
    AXError axCopyAttribute(const DesktopElement& e, const std::string& a, DesktopAXValue& v) override
    {
        return d->axCopyAttribute(e, a, v);
    }
    AXError axAttributeNames(const DesktopElement& e, std::vector<std::string>& n) override
    {
        return d->axAttributeNames(e, n);
    }
    AXError axIsAttributeSettable(const DesktopElement& e, const std::string& a, bool& s) override
    {
        return d->axIsAttributeSettable(e, a, s);
    }
    AXError axSetAttribute(const DesktopElement& e, const std::string& a, const DesktopAXValue& v) override
    {
        return d->axSetAttribute(e, a, v);
    }
    AXError axPerformAction(const DesktopElement& e, const std::string& a) override { return d->axPerformAction(e, a); }
    AXError axWindowNumber(const DesktopElement& e, CGWindowID& n) override { return d->axWindowNumber(e, n); }
    AXError axProcessIdentifier(const DesktopElement& e, pid_t& p) override { return d->axProcessIdentifier(e, p); }
    bool axElementIsValid(const DesktopElement& e) const override { return d->axElementIsValid(e); }
    std::vector<DesktopDisplaySpaces> displaySpaces() const override { return d->displaySpaces(); }
    bool screensHaveSeparateSpaces() const override { return d->screensHaveSeparateSpaces(); }
    uint64_t activeSpace() const override { return d->activeSpace(); }
    bool moveWindowToSpace(CGWindowID n, uint64_t s) override { return d->moveWindowToSpace(n, s); }
    CGDirectDisplayID mainDisplay() const override { return d->mainDisplay(); }
    bool requestDisplayProbe(CGDirectDisplayID display, uint32_t o) override { return d->requestDisplayProbe(display, o); }
    void setOwnActivationPolicy(ActivationPolicy policy) override
    {
        announced.push_back("policy " + std::to_string(static_cast<int>(policy)));
        d->setOwnActivationPolicy(policy);
    }
    CGWindowID registerOwnWindow(DesktopWindow w) override
    {
        announced.push_back("register " + w.title.value_or(""));
        return d->registerOwnWindow(w);
    }
    void updateOwnWindow(const DesktopWindow& w) override { d->updateOwnWindow(w); }
    void removeOwnWindow(CGWindowID n) override
    {
        announced.push_back("remove");
        d->removeOwnWindow(n);
    }
    void setOwnWindowContent(CGWindowID n, std::function<DesktopFrame()> c) override
    {
        d->setOwnWindowContent(n, std::move(c));
    }
    void orderOwnWindow(CGWindowID n, bool front) override
    {
        announced.push_back(front ? "front" : "back");
        d->orderOwnWindow(n, front);
    }
    void postEvent(const DesktopInputEvent& e) override { d->postEvent(e); }
    uint64_t keyboardModifierFlags() const override { return d->keyboardModifierFlags(); }
    std::vector<uint16_t> pressedKeyCodes() const override { return d->pressedKeyCodes(); }
    std::vector<DesktopSymbolicHotKey> symbolicHotKeys() const override { return d->symbolicHotKeys(); }
    void sendHardwareInput(const DesktopInputEvent& e, bool now) override { d->sendHardwareInput(e, now); }
    void takeInput(const DesktopInputEvent& e) override { d->takeInput(e); }
    pid_t deliverInput(const DesktopInputEvent& e) override { return d->deliverInput(e); }
    [[nodiscard]] Token subscribe(Listener l) override { return d->subscribe(std::move(l)); }

    std::shared_ptr<SimDesktop> d;
};

}

TEST(DesktopDoor, TheFrameworkAnnouncesItsWindowsAndPolicyToAnyBackend)
{
    SimWorld world(SimWorld::emptyScenario());
    auto desktop = std::make_shared<ForwardingDesktop>(SimDesktop::fromScenario(SimWorld::emptyScenario(), "door", nullptr));
    Desktop::setCurrent(desktop);

    auto window = makeRef<NSWindow>(CGRectMake(100, 100, 300, 200), NSWindowStyleMaskTitled);
    window->setTitle("Door");
    window->orderFront(nullptr);
    ASSERT_NE(window->windowNumber(), 0);
    auto listed = desktop->d->window(static_cast<CGWindowID>(window->windowNumber()));
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->title, "Door");
    EXPECT_EQ(listed->pid, desktop->ownProcessIdentifier());
    auto content = desktop->d->windowContent(static_cast<CGWindowID>(window->windowNumber()));
    EXPECT_EQ(content.width, 300) << "the backend composites what the window painted";

    EXPECT_TRUE(NSApp().setActivationPolicy(NSApplicationActivationPolicyAccessory));
    EXPECT_EQ(NSApp().activationPolicy(), NSApplicationActivationPolicyAccessory) << "read back from the backend";
    window->orderBack(nullptr);
    window->orderOut(nullptr);
    EXPECT_FALSE(desktop->d->window(static_cast<CGWindowID>(listed->number)));

    EXPECT_EQ(desktop->announced,
        (std::vector<std::string> { "register Door", "front", "policy 1", "front", "back", "remove" }));
    NSApp().setActivationPolicy(NSApplicationActivationPolicyRegular);
}

TEST(DesktopListenersTest, AListenerEndedMayEndOtherSubscriptionsAsItGoes)
{
    // The listener holds the last reference to something that ends its own
    // subscription when it goes.
    Watchdog watchdog("ending a listener that ends another subscription");
    DesktopListeners listeners;
    auto held = std::make_shared<Token>();
    int heard = 0;
    Token outer = listeners.subscribe([held](const DesktopEvent&) { });
    *held = listeners.subscribe([&heard](const DesktopEvent&) { ++heard; });
    held = nullptr;
    outer.reset();
    listeners.emit({ DesktopEvent {} });
    EXPECT_EQ(heard, 0) << "the held subscription ended with the listener holding it";
}

TEST(DesktopDoorDeathTest, AskingForTheDesktopBeforeOneIsInstalledStopsWithAMessage)
{
    EXPECT_DEATH(
        {
            Desktop::setCurrent(nullptr);
            Desktop::current();
        },
        "no desktop is installed");
}
