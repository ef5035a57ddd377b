// Helpers shared by the benchmark programs.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// What BENCHMARK_MAIN does, for programs that set something up first.
inline int runBenchmarks(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Runs the operation and a plain copy of the same number of bytes in turn,
// and reports both times and their ratio, so that the measurement says how
// far the operation is from the machine's memory speed in the same run.
template <class Operation>
inline void runBesideMemcpy(benchmark::State& state, size_t bytes, Operation operation)
{
    std::vector<uint8_t> from(bytes, 7), to(bytes);
    double operationSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        operation();
        auto t1 = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
        auto t2 = std::chrono::steady_clock::now();
        operationSeconds += std::chrono::duration<double>(t1 - t0).count();
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    double n = double(state.iterations());
    state.counters["operation_ms"] = operationSeconds / n * 1e3;
    state.counters["memcpy_ms"] = copySeconds / n * 1e3;
    state.counters["ratio_to_memcpy"] = copySeconds > 0 ? operationSeconds / copySeconds : 0;
}

// A desktop of the given number of windows over many applications: each
// application has one to eight windows, of the sizes people keep (from a
// small utility window to a full screen), spread over the screen.
inline std::string manyWindowsScenario(int windowCount)
{
    static const int sizes[][2] = { { 480, 360 }, { 640, 480 }, { 800, 600 }, { 1024, 768 }, { 1280, 800 },
        { 1440, 900 }, { 1920, 1080 } };
    // Most windows are medium sized; a few fill the screen.
    static const int sizeWeights[] = { 1, 2, 3, 3, 2, 1, 1 };
    std::vector<int> sizePool;
    for (int i = 0; i < 7; ++i)
        sizePool.insert(sizePool.end(), sizeWeights[i], i);

    uint32_t seed = 12345;
    auto next = [&seed](uint32_t bound) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % bound;
    };

    std::string apps;
    int made = 0, pid = 1000, id = 1;
    while (made < windowCount) {
        int count = std::min<int>(1 + static_cast<int>(next(8)), windowCount - made);
        if (!apps.empty()) apps += ",";
        apps += "{ \"pid\": " + std::to_string(pid) + ", \"name\": \"App " + std::to_string(pid)
            + "\", \"windows\": [";
        for (int w = 0; w < count; ++w) {
            const int* size = sizes[sizePool[next(static_cast<uint32_t>(sizePool.size()))]];
            int x = static_cast<int>(next(static_cast<uint32_t>(std::max(1, 1920 - size[0]))));
            int y = 25 + static_cast<int>(next(static_cast<uint32_t>(std::max(1, 1055 - size[1]))));
            if (w) apps += ",";
            apps += "{ \"id\": " + std::to_string(id) + ", \"title\": \"Document " + std::to_string(id)
                + "\", \"frame\": [" + std::to_string(x) + ", " + std::to_string(y) + ", "
                + std::to_string(size[0]) + ", " + std::to_string(size[1]) + "] }";
            ++id;
        }
        apps += "] }";
        made += count;
        ++pid;
    }
    return R"({ "screens": [ { "frame": [0, 0, 1920, 1080], "visibleFrame": [0, 25, 1920, 1055] } ], "apps": [)"
        + apps + "] }";
}
