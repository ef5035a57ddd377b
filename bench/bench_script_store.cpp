// What a script pays on the host's thread for the store and for a task's
// output: one Storage.set on a store of about 10 MB, and reading the output
// of a task that printed more than a task keeps.
#include "BenchSupport.h"

#include "support/TemporaryDirectory.h"

#include <javascriptcore/JSContext.h>
#include <scripting/DRStorage.h>
#include <scripting/DRTaskHandler.h>

#include <foundation/AtomicFile.h>
#include <foundation/JSON.h>
#include <foundation/Log.h>
#include <foundation/RunLoop.h>

#include <filesystem>

namespace {

// A store of about 10 MB in 2,000 keys, as scripts that keep window
// layouts and histories grow it.
Ref<DRStorage> largeStore(const std::string& path)
{
    Value::Dictionary contents;
    for (int key = 0; key < 2000; ++key) {
        Value::Array entries;
        for (int i = 0; i < 100; ++i)
            entries.emplace_back(Value::Dictionary { { "title", "window " + std::to_string(i) + std::string(24, 'x') },
                { "x", i }, { "width", 640.5 } });
        contents["layout " + std::to_string(key)] = Value(entries);
    }
    std::string text = serializeJSON(Value(contents), true);
    writeFileAtomically(path, Value::Bytes(text.begin(), text.end()));
    return makeRef<DRStorage>(path);
}

void BM_StorageSetOnALargeStore(benchmark::State& state)
{
    LogCapture quiet;
    TemporaryDirectory directory;
    auto store = largeStore(directory.file("storage.json"));
    auto context = JSContext::create();
    context->setObject("store", JSValue::object(context->globalContextRef(), store));
    int n = 0;
    for (auto _ : state)
        context->evaluateScript("store.set('counter', " + std::to_string(++n) + ")");
    store->waitUntilPersisted();
    state.counters["file_MB"] = double(std::filesystem::file_size(store->path())) / 1e6;
}
BENCHMARK(BM_StorageSetOnALargeStore)->Unit(benchmark::kMillisecond);

// Ten reads of the output of a task that printed 40 MB, inside its callback.
void BM_TaskOutputReadTenTimes(benchmark::State& state)
{
    LogCapture quiet;
    auto context = JSContext::create();
    context->setObject("Task", context->classObject(DRTaskHandler::exportClass()));
    context->evaluateScript("var seconds = 0, length = 0;"
                            "function read(h) { var t = Date.now(); for (var i = 0; i < 10; ++i) length = h.output.length;"
                            "  seconds = (Date.now() - t) / 1000; }");
    for (auto _ : state) {
        context->evaluateScript("var t = new Task('/bin/sh', ['-c', 'head -c 40000000 /dev/zero | tr \"\\\\0\" a'], read);");
        DRTaskHandler::waitForRunningTasks(60);
        RunLoop::main().runUntilIdle();
        state.SetIterationTime(context->evaluateScript("seconds").toDouble());
    }
    state.counters["kept_MB"] = context->evaluateScript("length").toDouble() / 1e6;
}
BENCHMARK(BM_TaskOutputReadTenTimes)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}

int main(int argc, char** argv) { return runBenchmarks(argc, argv); }
