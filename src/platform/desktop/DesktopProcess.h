// Starting the programs of applications, for the desktops.
#pragma once

#include "DesktopTypes.h"

#include <functional>
#include <mutex>
#include <string>

// Starts the request's program in a session of its own, reading from
// /dev/null, in its folder (the home folder when it names none). Returns
// its pid; 0, with the reason, when it cannot start (no such program, a
// folder it cannot enter). When it ends, a thread of its own takes the lock
// (when one is given), reaps the process and runs onExit under the lock:
// whoever signals the process under that lock never signals a reused pid.
// The application a started process is: the request's name, identifier and
// path.
DesktopApp desktopAppForLaunch(const DesktopLaunchRequest& request, pid_t pid);

pid_t spawnApplicationProcess(
    const DesktopLaunchRequest& request, std::mutex* reapLock, std::function<void(pid_t)> onExit, std::string* error);
