// The division of a sum of bytes by their weight or count (the stack blur's
// window sums, the block averages' rounded sums), done by a multiplication
// so that it runs in vector instructions.
#pragma once

#include <cstdint>

namespace gfx {

// sum / divisor, truncated, for 0 <= sum < 256 · divisor, computed as
// trunc((sum + ½) · (1 / divisor)). The exact quotient of sum + ½ lies at
// least ½ / divisor away from every whole number, and the rounding of
// 1 / divisor and of the product moves it by less than 256 · 2⁻²³ in single
// precision: below ½ / divisor for divisors up to 2¹³. Double precision
// (error below 256 · 2⁻⁵²) serves every divisor whose sums fit 31 bits.
template <class Real>
struct BlurQuotient {
    Real inverse;
    explicit BlurQuotient(int divisor)
        : inverse(Real(1) / Real(divisor))
    {
    }
    uint8_t operator()(int32_t sum) const { return uint8_t(int32_t((Real(sum) + Real(0.5)) * inverse)); }
};

inline constexpr int kLargestSinglePrecisionBlurDivisor = 1 << 13;

} // namespace gfx
