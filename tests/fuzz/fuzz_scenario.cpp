// Desktop files: a desktop that loads can be pictured and driven.
#include "FuzzTarget.h"

#include <desktop/sim/SimDesktop.h>

QV_FUZZ_TARGET(scenario)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto desktop = SimDesktop::fromScenario(text, "fuzz.json", &error);
    if (!desktop) {
        fuzzRequire(!error.empty(), "a refused desktop says why");
        return;
    }
    for (const auto& window : desktop->windows()) {
        desktop->focusWindow(window.number);
        desktop->windowContent(window.number);
    }
    desktop->screenshot();
}
