#include "NSWindow.h"

#include <desktop/Desktop.h>

std::vector<CGWindowID> NSWindow::windowNumbersWithOptions(NSWindowNumberListOptions options)
{
    auto& desktop = Desktop::current();
    pid_t own = desktop.ownProcessIdentifier();
    std::vector<CGWindowID> numbers;
    for (const auto& w : desktop.windows()) {
        if (!(options & NSWindowNumberListAllApplications) && w.pid != own)
            continue;
        if (w.minimized)
            continue;
        auto app = desktop.application(w.pid);
        if (!app || app->hidden)
            continue;
        if (!(options & NSWindowNumberListAllSpaces) && !w.onScreen)
            continue;
        numbers.push_back(w.number);
    }
    return numbers;
}
