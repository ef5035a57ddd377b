#include "DRMouse.h"

#include <appkit/CGEvent.h>
#include <foundation/Log.h>
#include <javascriptcore/JSExport.h>
#include <services/CGWindow.h>

CGPoint DRMouse::location() { return CGEventGetLocation(CGEventCreate(nullptr)); }

bool DRMouse::move(CGPoint point)
{
    CGError error = CGWarpMouseCursorPosition(point);
    if (error != kCGErrorSuccess) {
        NSLog("Error: Could not move cursor position to “%@”. (%d)", NSStringFromPoint(point), error);
        return false;
    }
    return true;
}

const JSExportClass& DRMouse::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRMouse>("Mouse")
                                        .classMethod("location", &DRMouse::location)
                                        .classMethod("move:", &DRMouse::move);
    return c;
}
