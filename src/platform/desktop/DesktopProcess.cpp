#include "DesktopProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

DesktopApp desktopAppForLaunch(const DesktopLaunchRequest& request, pid_t pid)
{
    DesktopApp app;
    app.pid = pid;
    app.name = request.name;
    app.bundleId = request.bundleId;
    app.bundlePath = request.bundlePath;
    app.iconColor = static_cast<uint32_t>((pid * 2654435761u) & 0xffffff);
    return app;
}

pid_t spawnApplicationProcess(
    const DesktopLaunchRequest& request, std::mutex* reapLock, std::function<void(pid_t)> onExit, std::string* error)
{
    auto fail = [&](const std::string& reason) {
        if (error)
            *error = reason;
        return pid_t(0);
    };
    if (request.arguments.empty() || request.arguments.front().empty())
        return fail("no program to start");
    std::string folder = request.workingDirectory;
    if (folder.empty()) {
        const char* home = std::getenv("HOME");
        folder = home && *home ? home : "/";
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    // A session of its own, default signal handling and no blocked signals:
    // the application outlives this process and behaves as if a person
    // started it.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (const auto& a : request.arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = posix_spawnp(&pid, argv.front(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (status != 0)
        return fail(request.arguments.front() + ": " + std::strerror(status));

    std::thread([pid, reapLock, onExit = std::move(onExit)] {
        siginfo_t info {};
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
        std::unique_lock<std::mutex> lock;
        if (reapLock)
            lock = std::unique_lock(*reapLock);
        int ignored = 0;
        while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
        }
        if (onExit)
            onExit(pid);
    }).detach();
    return pid;
}
