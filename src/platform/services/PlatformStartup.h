// The process's start-up on a desktop backend.
#pragma once

#include <memory>

class Desktop;

// Installs the backend the process runs on as the current desktop, with the
// window server's input stream (EventStream) as its input router, so that
// every event takes the same road from the first one on. main, the test
// world and the benchmarks call it before anything else asks the desktop.
void PlatformInstallDesktop(std::shared_ptr<Desktop> desktop);
