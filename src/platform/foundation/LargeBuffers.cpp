#include "LargeBuffers.h"

#include <malloc.h>
#include <sys/mman.h>

namespace {
constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
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
    mallopt(M_ARENA_MAX, 2);
}

void returnFreedLargeBuffers() { malloc_trim(0); }
