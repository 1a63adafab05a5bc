// SPDX-License-Identifier: GPL-3.0-or-later
// Samples of fewer than eight bits packed into bytes as PNG rows hold them.
#pragma once

#include <cstdint>

namespace pictavo {

// Puts a sample of depth bits (1, 2, 4 or 8) at pixel x of a row that starts zeroed: most
// significant bits first, so the first pixel of a byte is in its top bits.
inline void pack_sample(std::uint8_t* row, int x, int depth, int value)
{
    const int per_byte = 8 / depth;
    const int shift = 8 - depth * (x % per_byte + 1);
    row[x / per_byte] = static_cast<std::uint8_t>(row[x / per_byte] | value << shift);
}

} // namespace pictavo
