// What every layout controller offers the switcher panel.
#pragma once

#include <foundation/CGGeometry.h>
#include <foundation/Ref.h>

#include <cstdint>

class NSArrayController;

class SwitchViewControllerProtocol {
public:
    virtual ~SwitchViewControllerProtocol() = default;

    // The size the panel needs for the current list.
    virtual CGSize getContentSize() = 0;
    // The initial selection when the panel opens.
    virtual void selectSecond() = 0;
    // A further hotkey press.
    virtual void selectNext() = 0;
    virtual void selectPrev() = 0;
    // Takes the window list: an array controller of window records.
    virtual void setArrayController(const Ref<NSArrayController>& arrayController) = 0;
    // Subscribes to the Control+arrow bus event.
    virtual void startMonitoringControlKeysEvent() = 0;
    // Acts on an arrow key code.
    virtual void processControlKeys(uint16_t keyCode) = 0;
    // The height at the bottom of the layout's view, in its own coordinates,
    // that the panel's hint line takes: rows scroll above it, never under it.
    // Zero when there is no hint line.
    virtual void setBottomClearance(CGFloat) { }
};
