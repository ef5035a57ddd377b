#include "NSTaskDRExtension.h"

#include <services/NSTask.h>

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

std::string NSTaskDRExtension::outputFromLaunchedTaskWithEnvironment(
    const std::map<std::string, std::string>& environment, const std::vector<std::string>& arguments, Ref<NSError>* error)
{
    auto task = makeRef<NSTask>();
    task->setLaunchPath(shellPath());
    task->setEnvironment(environment);
    task->setArguments(arguments);
    auto output = NSPipe::pipe();
    auto errors = NSPipe::pipe();
    if (!output || !errors) {
        if (error)
            *error = taskError("no pipe for the task's output");
        return {};
    }
    task->setStandardOutput(output);
    task->setStandardError(errors);

    // Standard error is drained on its own thread while standard output is
    // read here.
    struct Drain {
        std::mutex mutex;
        std::condition_variable done;
        Value::Bytes data;
        bool ended { false };
    };
    auto drain = std::make_shared<Drain>();
    std::string launchError;
    if (!task->launch(&launchError)) {
        if (error)
            *error = taskError(launchError);
        return {};
    }
    errors->fileHandleForReading()->setReadabilityHandler([drain](const Value::Bytes& chunk) {
        std::lock_guard lock(drain->mutex);
        if (chunk.empty())
            drain->ended = true;
        else
            drain->data.insert(drain->data.end(), chunk.begin(), chunk.end());
        drain->done.notify_all();
    });
    std::string standardOutput = text(output->fileHandleForReading()->readDataToEndOfFile());
    std::string standardError;
    {
        std::unique_lock lock(drain->mutex);
        drain->done.wait(lock, [&] { return drain->ended; });
        standardError = text(drain->data);
    }
    task->waitUntilExit();
    if (error && task->terminationStatus() != 0)
        *error = taskError(standardError);
    return standardOutput;
}

std::string NSTaskDRExtension::searchPath()
{
    Ref<NSError> error;
    std::string path = outputFromLaunchedTaskWithEnvironment({}, { "-l", "-c", "echo $PATH" }, &error);
    if (error)
        return {};
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
        path.pop_back();
    return path;
}
