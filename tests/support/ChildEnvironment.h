#pragma once

#include <cstdlib>
#include <string>
#include <vector>

// The environment for a program a test starts: the variables the test gives,
// plus the sanitizers' option variables of the test's own environment (and the
// script engine's polling and collector switches that `make tsan` sets), so a
// sanitizer build judges the child by the same rules (suppressions included)
// as the test itself.
inline std::vector<std::string> childEnvironment(std::vector<std::string> variables)
{
    for (const char* name : { "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS", "JSC_usePollingTraps",
             "JSC_useConcurrentGC" }) {
        if (const char* value = std::getenv(name))
            variables.push_back(std::string(name) + "=" + value);
    }
    return variables;
}

// Pointers into `variables` for exec and posix_spawn, ending with a null.
inline std::vector<char*> environmentPointers(std::vector<std::string>& variables)
{
    std::vector<char*> pointers;
    for (auto& variable : variables)
        pointers.push_back(variable.data());
    pointers.push_back(nullptr);
    return pointers;
}
