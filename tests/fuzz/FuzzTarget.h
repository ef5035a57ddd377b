// One fuzz target: a function that takes any bytes and must neither crash
// nor break an invariant it checks (a broken invariant aborts).
//
// QV_FUZZ_TARGET(name) defines the target's function. In the replay program
// every target registers under its name, and the saved inputs of
// tests/fuzz/corpus/NAME run through it as an ordinary test; built with
// QV_LIBFUZZER_TARGET (the fuzz build), the file is a libFuzzer program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

using FuzzFunction = void (*)(const uint8_t* data, size_t size);

// The registered targets by name.
std::map<std::string, FuzzFunction>& fuzzTargets();

struct FuzzRegistration {
    FuzzRegistration(const char* name, FuzzFunction function) { fuzzTargets()[name] = function; }
};

// The world the targets run in, made once: settings in a temporary folder
// and a virtual clock. A target that needs a desktop installs its own.
void fuzzPrepareWorld();

// Aborts with the message when the condition does not hold: a fuzz finding.
inline void fuzzRequire(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
        std::abort();
    }
}

#ifdef QV_LIBFUZZER_TARGET
#define QV_FUZZ_TARGET(name)                                                    \
    static void name##Input(const uint8_t* data, size_t size);                  \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)    \
    {                                                                           \
        fuzzPrepareWorld();                                                     \
        name##Input(data, size);                                                \
        return 0;                                                               \
    }                                                                           \
    static void name##Input(const uint8_t* data, size_t size)
#else
#define QV_FUZZ_TARGET(name)                                                    \
    static void name##Input(const uint8_t* data, size_t size);                  \
    static FuzzRegistration name##Registration(#name, name##Input);             \
    static void name##Input(const uint8_t* data, size_t size)
#endif
