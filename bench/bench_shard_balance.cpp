// SPDX-License-Identifier: GPL-3.0-or-later
// How evenly fnv1a64(relative path) mod N spreads a large tree over N shards, and what the
// hash costs. The tree is synthetic but shaped like the archives the shards are for: camera
// folders by date (2005/07/14/IMG_4711.JPG, DSC_0001.NEF-style counters that restart), scanned
// boxes (scans/box_017/page_0042.png) and a product catalogue (catalog/04/123456_front.jpg),
// PICTAVO_BENCH_PATHS paths in all (default 1 000 000). For each N it prints the largest and
// the smallest shard against the mean, and the spread (standard deviation) against that of a
// perfectly random assignment, sqrt(mean * (1 - 1/N)); a ratio near 1 is as good as chance.
#include "app/shard.h"
#include "bench/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> synthetic_tree(int count)
{
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(count));
    char buffer[96];
    for (int i = 0; paths.size() < static_cast<std::size_t>(count); ++i) {
        switch (i % 3) {
        case 0: // a camera's counter restarts at 10000, so the same names recur in other folders
            std::snprintf(buffer, sizeof buffer, "%d/%02d/%02d/IMG_%04d.JPG", 2000 + (i / 3000) % 25,
                          1 + (i / 250) % 12, 1 + (i / 9) % 28, (i / 3) % 10000);
            break;
        case 1:
            std::snprintf(buffer, sizeof buffer, "scans/box_%03d/page_%04d.png", (i / 1500) % 1000, (i / 3) % 500);
            break;
        default:
            std::snprintf(buffer, sizeof buffer, "catalog/%02d/%06d_%s.jpg", (i / 7) % 100, i / 3,
                          (i % 2) ? "front" : "back");
            break;
        }
        paths.emplace_back(buffer);
    }
    return paths;
}

} // namespace

int main()
{
    const int count = bench::environment_count("PICTAVO_BENCH_PATHS", 1'000'000);
    const std::vector<std::string> paths = synthetic_tree(count);

    const auto start = bench::Clock::now();
    std::vector<std::uint64_t> hashes;
    hashes.reserve(paths.size());
    for (const std::string& path : paths)
        hashes.push_back(pictavo::fnv1a64(path));
    const double hashing = bench::milliseconds_since(start);
    std::printf("%zu paths, hashed in %.1f ms (%.0f ns a path)\n", paths.size(), hashing,
                hashing * 1e6 / static_cast<double>(paths.size()));
    std::printf("%8s %12s %12s %12s %14s\n", "shards", "mean", "largest", "smallest", "spread/chance");
    for (const std::uint64_t shards : {2u, 4u, 16u, 64u, 256u, 1024u, 10000u}) {
        std::vector<std::uint64_t> sizes(shards, 0);
        for (const std::uint64_t hash : hashes)
            ++sizes[hash % shards];
        const double mean = static_cast<double>(paths.size()) / static_cast<double>(shards);
        double squares = 0;
        for (const std::uint64_t size : sizes)
            squares += (static_cast<double>(size) - mean) * (static_cast<double>(size) - mean);
        const double spread = std::sqrt(squares / static_cast<double>(shards));
        const double chance = std::sqrt(mean * (1.0 - 1.0 / static_cast<double>(shards)));
        const auto [smallest, largest] = std::minmax_element(sizes.begin(), sizes.end());
        std::printf("%8llu %12.1f %11.2f%% %11.2f%% %14.2f\n", static_cast<unsigned long long>(shards), mean,
                    100.0 * static_cast<double>(*largest) / mean, 100.0 * static_cast<double>(*smallest) / mean,
                    spread / chance);
    }
    return 0;
}
