#include "NSTask.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

NSFileHandle::~NSFileHandle() { closeFile(); }

void NSFileHandle::closeFile()
{
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

Value::Bytes NSFileHandle::readDataToEndOfFile()
{
    Value::Bytes data;
    uint8_t buffer[16384];
    for (;;) {
        ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.insert(data.end(), buffer, buffer + n);
    }
    return data;
}

void NSFileHandle::setReadabilityHandler(std::function<void(const Value::Bytes&)> handler)
{
    auto self = selfRef<NSFileHandle>();
    int fd = m_fd;
    std::thread([self, fd, handler = std::move(handler)] {
        uint8_t buffer[16384];
        for (;;) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            handler(Value::Bytes(buffer, buffer + n));
        }
        handler({});
    }).detach();
}

Ref<NSPipe> NSPipe::pipe()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;
    auto p = makeRef<NSPipe>();
    p->m_reading = makeRef<NSFileHandle>(fds[0]);
    p->m_writing = makeRef<NSFileHandle>(fds[1]);
    return p;
}

NSTask::~NSTask()
{
    // A child still running is left to run; its exit is collected by the
    // waiting thread, which holds the task.
}

void NSTask::setTerminationHandler(std::function<void(NSTask&)> handler)
{
    std::lock_guard lock(m_mutex);
    m_terminationHandler = std::move(handler);
}

bool NSTask::launch(std::string* error)
{
    auto fail = [&](const std::string& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (m_launched)
        return fail("task already launched");
    struct stat info {};
    if (::stat(m_launchPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || ::access(m_launchPath.c_str(), X_OK) != 0)
        return fail("launch path not accessible: " + m_launchPath);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (m_standardOutput)
        posix_spawn_file_actions_adddup2(&actions, m_standardOutput->fileHandleForWriting()->fileDescriptor(), STDOUT_FILENO);
    if (m_standardError)
        posix_spawn_file_actions_adddup2(&actions, m_standardError->fileHandleForWriting()->fileDescriptor(), STDERR_FILENO);

    std::vector<std::string> argumentStrings { m_launchPath };
    argumentStrings.insert(argumentStrings.end(), m_arguments.begin(), m_arguments.end());
    std::vector<char*> argv;
    for (auto& a : argumentStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environmentStrings;
    std::vector<char*> envp;
    if (m_environment) {
        for (const auto& [name, value] : *m_environment)
            environmentStrings.push_back(name + "=" + value);
        for (auto& e : environmentStrings)
            envp.push_back(e.data());
        envp.push_back(nullptr);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (m_startsProcessGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid = 0;
    int result = posix_spawn(&pid, m_launchPath.c_str(), &actions, &attributes, argv.data(), m_environment ? envp.data() : environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    // The child has its own copies of the writing ends; without closing
    // ours, readers would never see the end of the output.
    if (m_standardOutput)
        m_standardOutput->fileHandleForWriting()->closeFile();
    if (m_standardError)
        m_standardError->fileHandleForWriting()->closeFile();
    if (result != 0)
        return fail(std::string("could not launch ") + m_launchPath + ": " + std::strerror(result));
    {
        std::lock_guard lock(m_mutex);
        m_pid = pid;
        m_launched = true;
        m_running = true;
    }
    auto self = selfRef<NSTask>();
    std::thread([self] { self->waitForExit(); }).detach();
    return true;
}

void NSTask::waitForExit()
{
    // Wait for the exit without collecting it, then collect it under the
    // lock: terminate() checks m_running under the same lock, so it never
    // signals a process id that was already reaped (and may be reused).
    siginfo_t info {};
    while (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) { }
    int status = 0;
    std::function<void(NSTask&)> handler;
    {
        std::lock_guard lock(m_mutex);
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) { }
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
        m_running = false;
        handler = m_terminationHandler;
    }
    m_exited.notify_all();
    if (handler)
        handler(*this);
}

void NSTask::terminate()
{
    std::lock_guard lock(m_mutex);
    if (m_running)
        ::kill(m_pid, SIGTERM);
}

void NSTask::killProcessGroup()
{
    // The group's number stays taken while any member lives, so it cannot
    // name another program's group even after the child itself has ended.
    std::lock_guard lock(m_mutex);
    if (m_launched && m_startsProcessGroup)
        ::kill(-m_pid, SIGKILL);
}

void NSTask::waitUntilExit()
{
    std::unique_lock lock(m_mutex);
    m_exited.wait(lock, [this] { return !m_running; });
}

bool NSTask::isRunning() const
{
    std::lock_guard lock(m_mutex);
    return m_running;
}

int NSTask::terminationStatus() const
{
    std::lock_guard lock(m_mutex);
    return m_status;
}
