// Handing memory back under the program's allocator settings: the keepers
// let go first, then what every thread freed goes back to the system.
#include <foundation/LargeBuffers.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

double residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// Runs in a process of its own: the settings hold only for threads that
// start after them. A thread makes and frees 96 MB of pictures, which the
// allocator keeps, until the memory is handed back.
[[noreturn]] void freeOnAThreadAndHandBack()
{
    keepLargeBuffersForReuse();
    int lettingGo = 0;
    double heldWhenLettingGo = 0;
    Token keeper = addLargeBufferKeeper([&] {
        ++lettingGo;
        heldWhenLettingGo = residentMegabytes();
    });
    double before = residentMegabytes();
    std::thread([] {
        std::vector<std::vector<uint8_t>> pictures;
        for (int i = 0; i < 48; ++i)
            pictures.emplace_back(size_t(2) << 20, uint8_t(i + 1));
    }).join();
    double kept = residentMegabytes();
    returnFreedLargeBuffers();
    double after = residentMegabytes();
    keeper.reset();
    returnFreedLargeBuffers();
    std::fprintf(stderr, "before %.1f kept %.1f when letting go %.1f after %.1f MB, let go %d times\n", before, kept,
        heldWhenLettingGo, after, lettingGo);
    bool handedBack = kept > before + 32 && heldWhenLettingGo > before + 32 && after < before + 16;
    std::exit(handedBack && lettingGo == 1 ? 0 : 1);
}

}

TEST(LargeBuffers, WhatAThreadFreedGoesBackToTheSystemAfterTheKeepersLetGo)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators keep freed memory their own way";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(freeOnAThreadAndHandBack(), ::testing::ExitedWithCode(0), "");
}
