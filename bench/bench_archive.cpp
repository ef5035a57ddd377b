// Property lists and keyed archives at sizes a hostile settings file can
// reach within the readers' bounds: writing must stay linear in the tree,
// so twice the entries should take about twice the time.
#include <foundation/NSKeyedArchiver.h>
#include <foundation/NSKeyedUnarchiver.h>
#include <foundation/NSPropertyListSerialization.h>

#include <benchmark/benchmark.h>

namespace {

// `count` dictionaries that all differ, as a large settings file holds.
Value distinctEntries(int64_t count)
{
    Value::Array entries;
    entries.reserve(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i)
        entries.push_back(Value(Value::Dictionary { { "id", Value(i) }, { "name", Value("window " + std::to_string(i)) },
            { "frame", Value(Value::Array { Value(i % 1920), Value(i % 1080), Value(640), Value(480) }) } }));
    return Value(std::move(entries));
}

void writeBinaryPropertyList(benchmark::State& state)
{
    Value list = distinctEntries(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) {
        auto data = NSPropertyListSerialization::dataWithPropertyList(list, NSPropertyListBinaryFormat_v1_0);
        bytes = data ? data->size() : 0;
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(writeBinaryPropertyList)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);

// An array holding the next one twice, `levels` deep: read from a shared
// archive it is 2^levels copies; archiving it again writes each level once.
void archiveSharedCopies(benchmark::State& state)
{
    Value value("leaf");
    for (int64_t level = 0; level < state.range(0); ++level)
        value = Value(Value::Array { value, value });
    for (auto _ : state) {
        auto data = NSKeyedArchiver::archivedDataWithRootObject(value);
        benchmark::DoNotOptimize(data);
        if (!data)
            state.SkipWithError("the archive could not be written");
    }
}
BENCHMARK(archiveSharedCopies)->Arg(16)->Arg(18)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
