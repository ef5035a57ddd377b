// Replays saved inputs through one fuzz target: `fuzz_replay NAME PATH...`,
// each path a file or a folder of files. Exits 0 when every input ran; an
// input that breaks the target crashes the program, and the last input
// named on standard error is the one.
#include "FuzzTarget.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::cerr << "usage: fuzz_replay TARGET PATH...\n";
        return 2;
    }
    auto target = fuzzTargets().find(argv[1]);
    if (target == fuzzTargets().end()) {
        std::cerr << "fuzz_replay: no target named " << argv[1] << "\n";
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 2; i < argc; ++i) {
        fs::path path(argv[i]);
        if (fs::is_directory(path)) {
            for (const auto& entry : fs::recursive_directory_iterator(path))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else if (fs::is_regular_file(path)) {
            inputs.push_back(path);
        } else {
            std::cerr << "fuzz_replay: cannot read " << path.string() << "\n";
            return 2;
        }
    }
    if (inputs.empty()) {
        std::cerr << "fuzz_replay: no inputs for " << argv[1] << "\n";
        return 2;
    }
    std::sort(inputs.begin(), inputs.end());
    fuzzPrepareWorld();
    for (const auto& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::cerr << "input " << path.string() << "\n";
        target->second(bytes.data(), bytes.size());
    }
    std::cout << inputs.size() << " inputs of " << argv[1] << " replayed\n";
    return 0;
}
