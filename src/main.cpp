#include <command/QuorvexCommand.h>

#include <iostream>
#include <malloc.h>

namespace {

// The program handles many pictures of several megabytes at once (window
// captures, screenshots, previews), on several threads. Left to itself the
// allocator maps fresh pages for each such picture and returns them when it
// is freed, so that every picture pays again for the system to clear and map
// its pages (most of a capture's cost). Freed memory is kept for the next
// picture instead, up to a bound, and the threads share two pools, which
// keeps the peak lower than a pool per thread does.
void keepPictureMemoryForReuse()
{
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_ARENA_MAX, 2);
}

}

int main(int argc, char** argv)
{
    keepPictureMemoryForReuse();
    return runQuorvex(argc, argv, std::cout, std::cerr);
}
