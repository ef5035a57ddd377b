// The scripts' storage file: any file content loads (or is kept aside) and
// the store stays usable and saves.
#include "FuzzTarget.h"

#include <scripting/DRStorage.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

QV_FUZZ_TARGET(storage)
{
    namespace fs = std::filesystem;
    static const auto folder = [] {
        auto path = fs::temp_directory_path() / ("quorvex-fuzz-storage-" + std::to_string(getpid()));
        return path;
    }();
    fs::remove_all(folder);
    fs::create_directories(folder);
    auto path = (folder / "storage.json").string();
    {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    auto storage = makeRef<DRStorage>(path);
    fuzzRequire(storage->setObject("fuzz", Value(int64_t(1))), "a number can be stored");
    storage->waitUntilPersisted();
    auto reread = makeRef<DRStorage>(path);
    fuzzRequire(reread->objectForKey("fuzz") == Value(int64_t(1)), "the stored value reads back");
}
