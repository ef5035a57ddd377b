// Events of the application framework.
#pragma once

#include <foundation/CGGeometry.h>
#include <foundation/NSObject.h>

class NSEvent : public NSObject {
public:
    // The mouse position in screen coordinates (bottom-left origin).
    static NSPoint mouseLocation();
    // Bit n is set while mouse button n is down.
    static uint32_t pressedMouseButtons();
};
