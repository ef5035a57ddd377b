// The window record's spaces rest on the scripting layer's window and space
// objects, so they are defined here, beside them.
#include "DRSpace.h"
#include "DRWindow.h"

#include <model/SWWindow.h>

std::vector<Ref<DRSpace>> SWWindow::spaces() const
{
    if (!axElementRef())
        return {};
    return DRSpace::spacesForWindow(DRWindow(axElementRef()));
}
