// Child processes: a program started directly (no shell in between) with
// its arguments and environment, its output and error streams through pipes,
// and its exit status.
#pragma once

#include <foundation/NSObject.h>
#include <foundation/Value.h>

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// One end of a pipe.
class NSFileHandle : public NSObject {
public:
    explicit NSFileHandle(int fd)
        : m_fd(fd)
    {
    }
    ~NSFileHandle() override;
    int fileDescriptor() const { return m_fd; }

    // Reads until the end of the file, blocking.
    Value::Bytes readDataToEndOfFile();
    // Reads on a thread of its own: the handler gets each chunk that
    // arrives, then an empty chunk at the end of the file. Set it once.
    void setReadabilityHandler(std::function<void(const Value::Bytes& chunk)> handler);
    void closeFile();

private:
    std::mutex m_mutex;
    int m_fd;
};

class NSPipe : public NSObject {
public:
    // Null when the system has no pipe to give.
    static Ref<NSPipe> pipe();
    const Ref<NSFileHandle>& fileHandleForReading() const { return m_reading; }
    const Ref<NSFileHandle>& fileHandleForWriting() const { return m_writing; }

private:
    Ref<NSFileHandle> m_reading;
    Ref<NSFileHandle> m_writing;
};

class NSTask : public NSObject {
public:
    ~NSTask() override;

    void setLaunchPath(const std::string& path) { m_launchPath = path; }
    const std::string& launchPath() const { return m_launchPath; }
    void setArguments(std::vector<std::string> arguments) { m_arguments = std::move(arguments); }
    const std::vector<std::string>& arguments() const { return m_arguments; }
    // Exactly these variables; without a call the child inherits this
    // process's environment.
    void setEnvironment(std::map<std::string, std::string> environment) { m_environment = std::move(environment); }
    void setStandardOutput(const Ref<NSPipe>& pipe) { m_standardOutput = pipe; }
    void setStandardError(const Ref<NSPipe>& pipe) { m_standardError = pipe; }
    // The child leads a process group of its own, so that what it starts can
    // be stopped with it (killProcessGroup).
    void setStartsProcessGroup(bool starts) { m_startsProcessGroup = starts; }
    // Runs on a thread of the task's own once the child has exited.
    void setTerminationHandler(std::function<void(NSTask&)> handler);

    // Starts the child. False, with the reason, when it cannot start (no
    // such program, not executable, already launched).
    bool launch(std::string* error = nullptr);
    // Asks the child to end (SIGTERM).
    void terminate();
    // Ends the child and every process of its group at once (SIGKILL); only
    // for a child that leads its own group.
    void killProcessGroup();
    void waitUntilExit();
    bool isRunning() const;
    pid_t processIdentifier() const { return m_pid; }
    // The exit status, or 128 + the signal that ended the child.
    int terminationStatus() const;

private:
    void waitForExit();

    std::string m_launchPath;
    std::vector<std::string> m_arguments;
    std::optional<std::map<std::string, std::string>> m_environment;
    Ref<NSPipe> m_standardOutput;
    Ref<NSPipe> m_standardError;
    std::function<void(NSTask&)> m_terminationHandler;
    pid_t m_pid { 0 };
    mutable std::mutex m_mutex;
    std::condition_variable m_exited;
    bool m_launched { false };
    bool m_running { false };
    bool m_startsProcessGroup { false };
    int m_status { 0 };
};
