#include "DRTaskHandler.h"

#include "DRExportProtocols.h"

#include <foundation/Log.h>
#include <foundation/RunLoop.h>
#include <foundation/Unicode.h>
#include <javascriptcore/JSExport.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Programs launched whose callbacks have not been handed to the main run
// loop yet.
struct Running {
    std::mutex mutex;
    std::condition_variable changed;
    int count { 0 };
    void add(int delta)
    {
        {
            std::lock_guard lock(mutex);
            count += delta;
        }
        changed.notify_all();
    }
};

Running& running()
{
    static Running shared;
    return shared;
}

}

// What one run gathers on the reading and waiting threads. The callback
// waits for all three ends (both streams and the exit), so no output
// written before the exit is missed whichever thread finishes last.
struct DRTaskHandler::Run {
    std::mutex mutex;
    Value::Bytes output;
    Value::Bytes error;
    int status { 0 };
    int pendingEnds { 3 };
};

namespace {

constexpr const char* kMaximumTaskOutputText = "32 MB";
static_assert(kMaximumTaskOutput == 32 * 1024 * 1024, "the log line names the bound");

}

Ref<DRTaskHandler> DRTaskHandler::create(const std::string& path, std::optional<std::vector<std::string>> arguments, JSValue callback)
{
    auto handler = makeRef<DRTaskHandler>(callback);
    handler->launch(path, arguments);
    return handler;
}

DRTaskHandler::DRTaskHandler(const JSValue& callback)
    : DRHandler(callback)
    , m_task(makeRef<NSTask>())
{
}

DRTaskHandler::~DRTaskHandler()
{
    if (m_task && m_task->isRunning())
        warnCollectedWhileEnabled("Task “" + m_task->launchPath() + "”");
    terminate();
}

bool DRTaskHandler::launch(const std::string& path, const std::optional<std::vector<std::string>>& arguments)
{
    auto describeArguments = [&] {
        Value::Array list;
        for (const auto& a : arguments.value_or(std::vector<std::string> {}))
            list.emplace_back(a);
        return Value(list).description();
    };
    auto output = NSPipe::pipe();
    auto error = NSPipe::pipe();
    if (!output || !error) {
        NSLog("Error: Could not launch task in path “%@” with arguments “%@”. Exception: %@.", path, describeArguments(),
            std::string("no pipe for the task's output"));
        return false;
    }
    m_task->setLaunchPath(path);
    m_task->setStandardOutput(output);
    m_task->setStandardError(error);
    if (arguments)
        m_task->setArguments(*arguments);

    auto run = std::make_shared<Run>();
    Weak<DRTaskHandler> weak = selfRef<DRTaskHandler>();
    auto ended = [run, weak] {
        std::lock_guard lock(run->mutex);
        if (--run->pendingEnds != 0)
            return;
        RunLoop::main().perform([run, weak] {
            if (auto self = weak.lock())
                self->taskDidTerminate(*run);
        });
        running().add(-1);
    };
    auto reader = [run, ended, path](Value::Bytes Run::*buffer, const char* stream) {
        return [run, ended, buffer, path, stream, told = false](const Value::Bytes& chunk) mutable {
            if (chunk.empty()) {
                ended();
                return;
            }
            std::lock_guard lock(run->mutex);
            auto& data = (*run).*buffer;
            // Reading goes on past the bound, so the program is never
            // stalled on a full pipe.
            size_t room = kMaximumTaskOutput - std::min(data.size(), kMaximumTaskOutput);
            if (room < chunk.size() && !std::exchange(told, true))
                NSLog("Warning: Task “%@” wrote more than %@ to its %@; only the first %@ are kept.", path,
                    std::string(kMaximumTaskOutputText), std::string(stream), std::string(kMaximumTaskOutputText));
            data.insert(data.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(std::min(room, chunk.size())));
        };
    };
    m_task->setTerminationHandler([run, ended](NSTask& task) {
        {
            std::lock_guard lock(run->mutex);
            run->status = task.terminationStatus();
        }
        ended();
    });
    std::string reason;
    if (!m_task->launch(&reason)) {
        NSLog("Error: Could not launch task in path “%@” with arguments “%@”. Exception: %@.", path, describeArguments(), reason);
        return false;
    }
    running().add(1);
    // Reading starts once the launch has closed this side's copies of the
    // writing ends, so the readers see the end of the streams.
    output->fileHandleForReading()->setReadabilityHandler(reader(&Run::output, "output"));
    error->fileHandleForReading()->setReadabilityHandler(reader(&Run::error, "error output"));
    return true;
}

void DRTaskHandler::terminate()
{
    if (m_task)
        m_task->terminate();
}

void DRTaskHandler::taskDidTerminate(Run& run)
{
    // The bytes are converted once and let go: the handler keeps the only
    // copy.
    auto take = [](Value::Bytes& bytes) {
        std::string text = stringByReplacingInvalidUTF8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        Value::Bytes().swap(bytes);
        return text;
    };
    m_status = run.status;
    m_output = take(run.output);
    m_error = take(run.error);
    // Reads before the end made script strings of nothing.
    m_scriptOutput = JSManagedValue();
    m_scriptError = JSManagedValue();
    m_terminated = true;
    callWithArguments({ Value(selfRef<DRTaskHandler>()) });
}

JSValue DRTaskHandler::scriptString(JSContextRef context, const std::string& text, JSManagedValue& made) const
{
    JSValue value = made.value();
    if (!value.isEmpty() && JSContextGetGlobalContext(value.contextRef()) == JSContextGetGlobalContext(context))
        return value;
    value = JSValue::string(context, text);
    made = JSManagedValue(value, this);
    return value;
}

bool DRTaskHandler::waitForRunningTasks(double seconds)
{
    bool ended;
    {
        auto& shared = running();
        std::unique_lock lock(shared.mutex);
        ended = shared.changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return shared.count == 0; });
    }
    RunLoop::main().runUntilIdle();
    return ended;
}

const JSExportClass& DRTaskHandler::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRTaskHandler>("Task", &DRHandler::exportClass())
                                        .constructor("initWithPath:arguments:callback:", &DRTaskHandler::create)
                                        .method("terminate", &DRTaskHandler::terminate)
                                        .property("status", &DRTaskHandler::status)
                                        .property("output", &DRTaskHandler::outputForScript)
                                        .property("error", &DRTaskHandler::errorForScript)
                                        .adopt(DRIdentifiableJSExport);
    return c;
}
