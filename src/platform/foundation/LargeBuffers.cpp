#include "LargeBuffers.h"

#include "MainThread.h"

#include <map>
#include <memory>
#include <mutex>

#include <malloc.h>
#include <sys/mman.h>

namespace {

constexpr uintptr_t kHugePage = uintptr_t(2) << 20;

// The keepers, by registration; never destroyed, so that a token that ends
// during the program's exit finds it.
struct Keepers {
    std::mutex mutex;
    uint64_t next { 0 };
    std::map<uint64_t, std::shared_ptr<std::function<void()>>> letGo;
};

Keepers& keepers()
{
    static auto* registry = new Keepers;
    return *registry;
}

}

void adviseHugePages(void* data, size_t bytes)
{
    auto begin = reinterpret_cast<uintptr_t>(data);
    uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    uintptr_t end = (begin + bytes) & ~(kHugePage - 1);
    // Only advice: a kernel without huge pages keeps the usual ones.
    if (data && end > first)
        madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

void reserveLargeBuffer(std::vector<uint8_t>& buffer, size_t bytes)
{
    if (bytes <= buffer.capacity())
        return;
    buffer.reserve(bytes);
    adviseHugePages(buffer.data() + buffer.size(), buffer.capacity() - buffer.size());
}

void keepLargeBuffersForReuse()
{
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_ARENA_MAX, 1);
}

void returnFreedLargeBuffers()
{
    QV_ASSERT_MAIN_THREAD("returnFreedLargeBuffers");
    // Each is called outside the lock and only while still registered: a
    // keeper may end its own or another's registration as it lets go.
    std::vector<uint64_t> ids;
    {
        std::lock_guard lock(keepers().mutex);
        for (const auto& entry : keepers().letGo)
            ids.push_back(entry.first);
    }
    for (uint64_t id : ids) {
        std::shared_ptr<std::function<void()>> handler;
        {
            std::lock_guard lock(keepers().mutex);
            auto found = keepers().letGo.find(id);
            if (found == keepers().letGo.end())
                continue;
            handler = found->second;
        }
        (*handler)();
    }
    malloc_trim(0);
}

Token addLargeBufferKeeper(std::function<void()> letGo)
{
    auto& registry = keepers();
    std::lock_guard lock(registry.mutex);
    uint64_t id = ++registry.next;
    registry.letGo[id] = std::make_shared<std::function<void()>>(std::move(letGo));
    return Token([id] {
        auto& registry = keepers();
        std::lock_guard lock(registry.mutex);
        registry.letGo.erase(id);
    });
}
