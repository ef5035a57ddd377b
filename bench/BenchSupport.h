// Helpers shared by the benchmark programs.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

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
