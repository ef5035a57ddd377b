#include "StackBlur.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// The quotient of a window sum by (r + 1)², through a table while the table
// stays small; both give the same truncating division.
class Divider {
public:
    explicit Divider(int radius)
        : m_divisor((radius + 1) * (radius + 1))
    {
        constexpr long kMaxTableEntries = 1 << 20;
        long entries = 256L * m_divisor;
        if (entries <= kMaxTableEntries) {
            m_table.resize(size_t(entries));
            for (long i = 0; i < entries; ++i)
                m_table[size_t(i)] = uint8_t(i / m_divisor);
        }
    }
    uint8_t operator()(int sum) const { return m_table.empty() ? uint8_t(sum / m_divisor) : m_table[size_t(sum)]; }

private:
    int m_divisor;
    std::vector<uint8_t> m_table;
};

} // namespace

// Both passes follow the published ring-buffer steps: the window's weighted
// sum, the sums of its incoming (right or lower) and outgoing (left or
// upper, centre included) halves, and a ring of the 2r + 1 samples in the
// window. Each step writes the quotient, drops the outgoing half from the
// sum, replaces the ring slot of the sample leaving the window by the one
// entering it, and moves the centre one slot on. The vertical pass keeps
// this state for every column at once, so that it walks memory row by row.
void stackBlurRGBX(uint8_t* buffer, int w, int h, int radius)
{
    if (!buffer || w < 1 || h < 1 || radius < 1)
        return;
    const int r = std::min(radius, kStackBlurMaxRadius);
    const int div = 2 * r + 1;
    const int r1 = r + 1;
    const size_t W = size_t(w);
    Divider divide(r);
    auto next = [div](int i) { return i + 1 == div ? 0 : i + 1; };

    // The horizontal pass's results, three channels per pixel.
    std::vector<uint8_t> pass(W * size_t(h) * 3);
    {
        std::vector<uint8_t> ring(size_t(div) * 3);
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = buffer + size_t(y) * W * 4;
            uint8_t* out = pass.data() + size_t(y) * W * 3;
            int sum[3] = {}, inSum[3] = {}, outSum[3] = {};
            for (int i = -r; i <= r; ++i) {
                const uint8_t* p = row + size_t(std::min(w - 1, std::max(i, 0))) * 4;
                uint8_t* slot = &ring[size_t(i + r) * 3];
                for (int c = 0; c < 3; ++c) {
                    slot[c] = p[c];
                    sum[c] += p[c] * (r1 - std::abs(i));
                    (i > 0 ? inSum : outSum)[c] += p[c];
                }
            }
            int sp = r;
            int leaving = (r + r + 1) % div;
            for (int x = 0; x < w; ++x) {
                const uint8_t* entering = row + size_t(std::min(x + r + 1, w - 1)) * 4;
                uint8_t* slot = &ring[size_t(leaving) * 3];
                sp = next(sp);
                const uint8_t* middle = &ring[size_t(sp) * 3];
                for (int c = 0; c < 3; ++c) {
                    out[size_t(x) * 3 + c] = divide(sum[c]);
                    sum[c] -= outSum[c];
                    outSum[c] -= slot[c];
                    slot[c] = entering[c];
                    inSum[c] += slot[c];
                    sum[c] += inSum[c];
                    outSum[c] += middle[c];
                    inSum[c] -= middle[c];
                }
                leaving = next(leaving);
            }
        }
    }

    const size_t lanes = W * 3;
    std::vector<int> sum(lanes), inSum(lanes), outSum(lanes);
    std::vector<uint8_t> ring(size_t(div) * lanes);
    for (int i = -r; i <= r; ++i) {
        const uint8_t* p = pass.data() + size_t(std::min(h - 1, std::max(i, 0))) * lanes;
        uint8_t* slot = &ring[size_t(i + r) * lanes];
        int weight = r1 - std::abs(i);
        auto& half = i > 0 ? inSum : outSum;
        for (size_t k = 0; k < lanes; ++k) {
            slot[k] = p[k];
            sum[k] += p[k] * weight;
            half[k] += p[k];
        }
    }
    int sp = r;
    int leaving = (r + r + 1) % div;
    for (int y = 0; y < h; ++y) {
        const uint8_t* entering = pass.data() + size_t(std::min(y + r + 1, h - 1)) * lanes;
        uint8_t* slot = &ring[size_t(leaving) * lanes];
        sp = next(sp);
        const uint8_t* middle = &ring[size_t(sp) * lanes];
        uint8_t* out = buffer + size_t(y) * W * 4;
        for (size_t k = 0; k < lanes; ++k) {
            out[(k / 3) * 4 + k % 3] = divide(sum[k]);
            sum[k] -= outSum[k];
            outSum[k] -= slot[k];
            slot[k] = entering[k];
            inSum[k] += slot[k];
            sum[k] += inSum[k];
            outSum[k] += middle[k];
            inSum[k] -= middle[k];
        }
        leaving = next(leaving);
    }
}
