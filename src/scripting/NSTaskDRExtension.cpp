#include "NSTaskDRExtension.h"

#include <services/NSTask.h>

#include <foundation/Format.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace {

constexpr const char* kFallbackShell = "/bin/sh";

std::string text(const Value::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Ref<NSError> taskError(const std::string& reason)
{
    return NSError::errorWithDomain(
        NSTaskErrorDomain, -1, { { NSLocalizedDescriptionKey, "Task failed." }, { NSLocalizedFailureReasonErrorKey, reason } });
}

}

std::string NSTaskDRExtension::shellPath()
{
    const char* shell = std::getenv("SHELL");
    return shell && shell[0] ? shell : kFallbackShell;
}

std::string NSTaskDRExtension::outputFromLaunchedTaskWithEnvironment(const std::map<std::string, std::string>& environment,
    const std::vector<std::string>& arguments, Ref<NSError>* error, double timeLimit)
{
    auto task = makeRef<NSTask>();
    task->setLaunchPath(shellPath());
    task->setEnvironment(environment);
    task->setArguments(arguments);
    task->setStartsProcessGroup(timeLimit > 0);
    auto output = NSPipe::pipe();
    auto errors = NSPipe::pipe();
    if (!output || !errors) {
        if (error)
            *error = taskError("no pipe for the task's output");
        return {};
    }
    task->setStandardOutput(output);
    task->setStandardError(errors);

    // Both streams are drained on threads of their own, so neither can stall
    // the child, and this thread waits for their ends with the deadline.
    struct Drain {
        std::mutex mutex;
        std::condition_variable changed;
        Value::Bytes data[2];
        int ended { 0 };
    };
    auto drain = std::make_shared<Drain>();
    std::string launchError;
    if (!task->launch(&launchError)) {
        if (error)
            *error = taskError(launchError);
        return {};
    }
    const Ref<NSPipe>* pipes[2] = { &output, &errors };
    for (int i = 0; i < 2; ++i)
        (*pipes[i])->fileHandleForReading()->setReadabilityHandler([drain, i](const Value::Bytes& chunk) {
            std::lock_guard lock(drain->mutex);
            if (chunk.empty())
                ++drain->ended;
            else
                drain->data[i].insert(drain->data[i].end(), chunk.begin(), chunk.end());
            drain->changed.notify_all();
        });
    bool inTime = true;
    {
        std::unique_lock lock(drain->mutex);
        auto ended = [&] { return drain->ended == 2; };
        if (timeLimit > 0)
            inTime = drain->changed.wait_for(lock, std::chrono::duration<double>(timeLimit), ended);
        else
            drain->changed.wait(lock, ended);
    }
    if (!inTime) {
        task->killProcessGroup();
        // A program that left the group may still hold the streams open:
        // the reading threads keep what they share and end with it.
        task->waitUntilExit();
        if (error)
            *error = taskError(stringWithFormat("The command did not end within %g seconds and was stopped.", timeLimit));
        return {};
    }
    task->waitUntilExit();
    std::lock_guard lock(drain->mutex);
    if (error && task->terminationStatus() != 0)
        *error = taskError(text(drain->data[1]));
    return text(drain->data[0]);
}

std::string NSTaskDRExtension::searchPath(double timeLimit)
{
    Ref<NSError> error;
    std::string path = outputFromLaunchedTaskWithEnvironment({}, { "-l", "-c", "echo $PATH" }, &error, timeLimit);
    if (error)
        return {};
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
        path.pop_back();
    return path;
}
