// The platform's integer types and its "no such index".
#pragma once

#include <cstdint>
#include <limits>

using NSInteger = int64_t;
using NSUInteger = uint64_t;
inline constexpr NSInteger NSIntegerMax = std::numeric_limits<NSInteger>::max();
// "No such index" or "no such value", for signed and unsigned values alike.
inline constexpr NSInteger NSNotFound = NSIntegerMax;
