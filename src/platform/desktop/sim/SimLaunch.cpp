// The simulated desktop's launches: the program really runs, and the desktop
// lists it as an application (with no windows) until it ends.
#include "SimDesktop.h"

#include "../DesktopProcess.h"

#include <chrono>
#include <csignal>

std::optional<DesktopApp> SimDesktop::startApplication(const DesktopLaunchRequest& request, std::string* error)
{
    log("LSOpenApplication " + request.name);
    auto started = m_started;
    // The program may end at once: its end waits until it is listed.
    std::unique_lock lock(started->mutex);
    pid_t pid = spawnApplicationProcess(
        request, &started->mutex,
        [started](pid_t pid) {
            started->running.erase(pid);
            if (started->desktop)
                started->desktop->quitApplication(pid);
            started->ended.notify_all();
        },
        error);
    if (!pid)
        return std::nullopt;
    DesktopApp app = desktopAppForLaunch(request, pid);
    started->running.insert(pid);
    if (!addApplication(app, {}, request.activate)) {
        // A simulated application already has the number: the program runs
        // unlisted.
        if (error)
            *error = "process " + std::to_string(pid) + " is already a simulated application";
        return std::nullopt;
    }
    return app;
}

bool SimDesktop::signalStartedProgram(pid_t pid, int signal)
{
    // Under the lock, so the process cannot have been reaped (and its
    // number reused) in between.
    std::lock_guard lock(m_started->mutex);
    return m_started->running.count(pid) && ::kill(pid, signal) == 0;
}

bool SimDesktop::waitForStartedPrograms(double seconds)
{
    std::unique_lock lock(m_started->mutex);
    return m_started->ended.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return m_started->running.empty(); });
}
