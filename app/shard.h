// SPDX-License-Identifier: GPL-3.0-or-later
// Which share of a tree one of N cooperating runs takes.
//
// An image belongs to shard fnv1a64(relative path) mod N, the relative path being its path
// below the input folder with '/' separators, as raw bytes. A hash rather than ranges of a
// sorted list: an image's shard never depends on the other images, so runs that scan the
// tree at different moments still agree, and an image added meanwhile is taken by exactly one.
#pragma once

#include "sys/name_hash.h"

#include <cstdint>
#include <string_view>

namespace pictavo {

// The rule as the reports name it.
inline constexpr std::string_view SHARD_RULE = "fnv1a64(relative path) mod N";

// More shards than this is a typing mistake rather than a cluster: even a million-image tree
// would leave most of them empty.
constexpr std::uint32_t SHARD_COUNT_MAXIMUM = 1'000'000;

// FNV-1a, 64 bits: offset basis 0xcbf29ce484222325, prime 0x100000001b3. The shard rule is
// part of the reports, so it is named for what it is rather than for the hash in use.
constexpr std::uint64_t fnv1a64(std::string_view bytes)
{
    return name_hash(bytes);
}

struct Shard {
    std::uint32_t index = 0; // 0 .. count-1
    std::uint32_t count = 1;

    // Whether the image (or failed folder) of this relative path is this shard's.
    bool owns(std::string_view relative_path) const { return fnv1a64(relative_path) % count == index; }
    bool operator==(const Shard&) const = default;
};

} // namespace pictavo
