// A running application as the workspace knows it.
#pragma once

#include <desktop/DesktopTypes.h>
#include <foundation/NSObject.h>

#include <optional>
#include <string>

using NSApplicationActivationOptions = uint32_t;
inline constexpr NSApplicationActivationOptions NSApplicationActivateAllWindows = 1 << 0;
inline constexpr NSApplicationActivationOptions NSApplicationActivateIgnoringOtherApps = 1 << 1;

class NSRunningApplication final : public NSObject {
public:
    // Null when no application runs with that id.
    static Ref<NSRunningApplication> runningApplicationWithProcessIdentifier(pid_t pid);
    static Ref<NSRunningApplication> currentApplication();

    explicit NSRunningApplication(const DesktopApp& app)
        : m_app(app)
    {
    }

    pid_t processIdentifier() const { return m_app.pid; }
    // Nothing for a process without a bundle identifier.
    std::optional<std::string> bundleIdentifier() const;
    // The bundle's path; nothing for a bare process.
    std::optional<std::string> bundleURL() const;
    std::string localizedName() const { return m_app.name; }
    long activationPolicy() const { return static_cast<long>(m_app.policy); }
    double launchDate() const { return m_app.launchDate; }
    // Live state, read from the desktop.
    bool isHidden() const;
    bool isTerminated() const;
    bool isActive() const;
    bool ownsMenuBar() const { return isActive(); }

    // Requests; false when the application is gone or refuses.
    bool hide() const;
    bool unhide() const;
    bool terminate() const;
    bool forceTerminate() const;
    bool activateWithOptions(NSApplicationActivationOptions options) const;

    bool isEqual(const NSObject* other) const override;
    size_t hash() const override { return static_cast<size_t>(m_app.pid); }
    std::string description() const override;

private:
    DesktopApp m_app;
};
