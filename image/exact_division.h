// SPDX-License-Identifier: GPL-3.0-or-later
// Division of whole numbers up to a known bound by a fixed divisor as one 32-bit multiply and
// a shift, which vector units do where they have no integer division.
#pragma once

#include <cstdint>
#include <optional>

namespace pictavo {

struct ExactReciprocal {
    std::uint32_t multiplier = 1;
    int shift = 0;
    std::uint32_t divide(std::uint32_t numerator) const { return (numerator * multiplier) >> shift; }
};

// A multiplier m = ceil(2^s / divisor) with e = m * divisor - 2^s gives
// n * m / 2^s = n / divisor + n * e / (divisor * 2^s); when n * e < 2^s the second term is
// below 1 / divisor and cannot carry the quotient past the next whole number, so the shifted
// product is floor(n / divisor). Returns the first shift for which that holds for every
// n <= largest and n * m still fits in 32 bits; none when no shift does.
inline std::optional<ExactReciprocal> exact_reciprocal(std::uint32_t divisor, std::uint32_t largest)
{
    if (divisor == 0)
        return std::nullopt;
    for (int shift = 0; shift < 32; ++shift) {
        const std::uint64_t power = std::uint64_t{1} << shift;
        const std::uint64_t multiplier = (power + divisor - 1) / divisor;
        const std::uint64_t excess = multiplier * divisor - power;
        if (multiplier * largest <= UINT32_MAX && excess * largest < power)
            return ExactReciprocal{static_cast<std::uint32_t>(multiplier), shift};
    }
    return std::nullopt;
}

} // namespace pictavo
