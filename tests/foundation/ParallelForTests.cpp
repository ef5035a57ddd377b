#include <foundation/ParallelFor.h>
#include <graphics/internal/BlurQuotient.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

// Every index runs once, also when several threads post jobs at once and
// when a body posts a job of its own (the caller works on its job itself,
// so neither waits for the other's parts).
TEST(ParallelFor, EveryPartRunsOnceForConcurrentAndNestedCallers)
{
    constexpr size_t kParts = 200;
    std::vector<std::vector<std::atomic<int>>> runs(4);
    for (auto& job : runs)
        job = std::vector<std::atomic<int>>(kParts);
    std::vector<std::thread> callers;
    for (size_t c = 0; c < runs.size(); ++c)
        callers.emplace_back([&, c] {
            parallelFor(kParts, [&](size_t i) {
                runs[c][i]++;
                if (i % 50 == 0) {
                    std::atomic<int> inner { 0 };
                    parallelFor(8, [&](size_t) { inner++; });
                    EXPECT_EQ(inner, 8);
                }
            });
        });
    for (auto& caller : callers)
        caller.join();
    for (size_t c = 0; c < runs.size(); ++c)
        for (size_t i = 0; i < kParts; ++i)
            ASSERT_EQ(runs[c][i], 1) << "caller " << c << " part " << i;
    EXPECT_GE(parallelForWidth(), 1u);
}

// A part that throws ends the job only after every other part has run (the
// bodies use the caller's stack), and the caller gets the exception.
TEST(ParallelFor, AThrowingPartReachesTheCallerAfterTheOtherParts)
{
    std::atomic<int> ran { 0 };
    EXPECT_THROW(parallelFor(64,
                     [&](size_t i) {
                         if (i == 3)
                             throw std::runtime_error("part 3");
                         ran++;
                     }),
        std::runtime_error);
    EXPECT_EQ(ran, 63);
    // The kept threads are still there for the next job.
    std::atomic<int> again { 0 };
    parallelFor(32, [&](size_t) { again++; });
    EXPECT_EQ(again, 32);
    parallelFor(0, [](size_t) { FAIL(); });
}

// The blur divides by multiplying; every sum a window can reach must give
// the truncated quotient, above all the exact multiples and the sums just
// below them, where a rounded product would tip over.
TEST(BlurQuotient, EqualsTruncatedDivisionForEveryReachableSum)
{
    for (int r = 1; (r + 1) * (r + 1) <= gfx::kLargestSinglePrecisionBlurDivisor; ++r) {
        int d = (r + 1) * (r + 1);
        gfx::BlurQuotient<float> quotient(d);
        for (int32_t sum = 0; sum <= 255 * d; ++sum)
            if (quotient(sum) != sum / d)
                FAIL() << "radius " << r << " sum " << sum << ": " << int(quotient(sum));
    }
    // Double precision from there up to the largest radius (2895), every
    // multiple and its neighbours; the first radii past single precision
    // in full.
    for (int r = 90; r <= 2895; ++r) {
        int d = (r + 1) * (r + 1);
        gfx::BlurQuotient<double> quotient(d);
        if (r < 100) {
            for (int32_t sum = 0; sum <= 255 * d; ++sum)
                if (quotient(sum) != sum / d)
                    FAIL() << "radius " << r << " sum " << sum;
            continue;
        }
        for (int32_t v = 0; v <= 255; ++v)
            for (int32_t sum : { v * d - 1, v * d, v * d + 1, v * d + d - 1 })
                if (sum >= 0 && sum <= 255 * d && quotient(sum) != sum / d)
                    FAIL() << "radius " << r << " sum " << sum;
    }
}
