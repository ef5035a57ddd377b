// A program run for a script: new Task(path, arguments, callback). The
// program is started directly (no shell); when it has exited and both of
// its output streams have ended, callback(handler) runs on the main run
// loop with status, output and error set. Of each stream the first
// kMaximumTaskOutput bytes are kept (the rest is read and dropped, with a
// log line); each is made a script string once, however often it is read.
#pragma once

#include "DRHandler.h"

#include <services/NSTask.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

inline constexpr size_t kMaximumTaskOutput = 32 * 1024 * 1024;

class DRTaskHandler : public DRHandler {
public:
    // initWithPath:arguments:callback:. A program that cannot be started is
    // logged; its handler never calls back.
    static Ref<DRTaskHandler> create(const std::string& path, std::optional<std::vector<std::string>> arguments, JSValue callback);
    DRTaskHandler(const JSValue& callback);
    ~DRTaskHandler() override;

    const Ref<NSTask>& task() const { return m_task; }
    int status() const { return m_status; }
    const std::string& output() const { return m_output; }
    const std::string& error() const { return m_error; }
    bool hasTerminated() const { return m_terminated; }
    // Asks the program to end; nothing once it has.
    void terminate();

    // Waits, at most the given real time, until every launched program has
    // exited and its output has been read, then runs the main run loop so
    // their callbacks run. Returns whether none was still running (test and
    // session support).
    static bool waitForRunningTasks(double seconds);

    static const JSExportClass& exportClass();

protected:
    void contextDidInvalidate() override { terminate(); }

private:
    struct Run;
    bool launch(const std::string& path, const std::optional<std::vector<std::string>>& arguments);
    void taskDidTerminate(Run& run);
    // The stream as a script string, made at the first read.
    JSValue scriptString(JSContextRef context, const std::string& text, JSManagedValue& made) const;
    JSValue outputForScript(JSContextRef context) const { return scriptString(context, m_output, m_scriptOutput); }
    JSValue errorForScript(JSContextRef context) const { return scriptString(context, m_error, m_scriptError); }

    Ref<NSTask> m_task;
    int m_status { 0 };
    std::string m_output;
    std::string m_error;
    mutable JSManagedValue m_scriptOutput;
    mutable JSManagedValue m_scriptError;
    bool m_terminated { false };
};
