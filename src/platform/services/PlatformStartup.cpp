#include "PlatformStartup.h"

#include "EventStream.h"

#include <desktop/Desktop.h>

void PlatformInstallDesktop(std::shared_ptr<Desktop> desktop)
{
    EventStream::shared();
    Desktop::setCurrent(std::move(desktop));
}
