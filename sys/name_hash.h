// SPDX-License-Identifier: GPL-3.0-or-later
// A stable 64-bit hash of a name's bytes (FNV-1a), the same on every host and in every run.
#pragma once

#include <cstdint>
#include <string_view>

namespace pictavo {

constexpr std::uint64_t name_hash(std::string_view name)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

} // namespace pictavo
