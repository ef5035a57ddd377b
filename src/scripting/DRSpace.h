// The window server's spaces as scripts see them (the global "Space"):
// desktops and full-screen spaces, which screens show them, which windows
// are on them, and moving windows onto them.
#pragma once

#include "DRExportProtocols.h"

#include <foundation/NSObject.h>
#include <foundation/Value.h>

#include <cstdint>
#include <vector>

class DRWindow;
class JSExportClass;
class NSScreen;

class DRSpace : public NSObject, public DRIterable {
public:
    // initWithIdentifier:
    explicit DRSpace(uint64_t identifier)
        : m_identifier(identifier)
    {
    }
    uint64_t identifier() const { return m_identifier; }
    size_t hash() const override { return m_identifier; }
    bool isEqual(const NSObject* other) const override;

    bool isNormal() const;
    bool isFullScreen() const;
    // The screens that show the space: every screen when they share their
    // spaces, else the one whose display lists it (none when that display
    // is not a current screen).
    std::vector<Ref<NSScreen>> screens() const;
    std::vector<Ref<DRWindow>> windows() const;
    std::vector<Ref<DRWindow>> windowsWithOptions(const Value& options) const;
    // Whether every window went on (or off) the space; a failure is logged.
    // A window is on one space here: adding it moves it, and taking it off
    // the only space it is on is refused.
    bool addWindows(const std::vector<Ref<DRWindow>>& windows) const;
    bool removeWindows(const std::vector<Ref<DRWindow>>& windows) const;
    Ref<NSObject> next() const override;
    Ref<NSObject> previous() const override;

    // Nothing when there is no active space.
    static Ref<DRSpace> active();
    // Every display's spaces, display by display, in order.
    static std::vector<Ref<DRSpace>> all();
    static Ref<DRSpace> currentSpaceForScreen(const NSScreen& screen);
    static std::vector<Ref<DRSpace>> spacesForWindow(const DRWindow& window);

    static const JSExportClass& exportClass();

private:
    uint64_t m_identifier;
};
