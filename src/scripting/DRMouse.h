// The pointer as scripts see it (the global "Mouse"): where it is, in
// top-left coordinates, and moving it.
#pragma once

#include <foundation/CGGeometry.h>
#include <foundation/NSObject.h>

class JSExportClass;

class DRMouse : public NSObject {
public:
    static CGPoint location();
    // NO, with a log line, when the pointer cannot be moved there.
    static bool move(CGPoint point);

    static const JSExportClass& exportClass();
};
