// SPDX-License-Identifier: GPL-3.0-or-later
// How long the preview window waits for its pictures on 12 MP photos ($CORPUS/jpg12/): the
// first preview of an image (decode, size, encode, decode the output), a change of the
// quality (the prepared image is reused: encode and decode only), and "Keep Original
// Dimensions", where the whole 12 MP picture is encoded and decoded again. Medians over
// PICTAVO_BENCH_ROUNDS rounds (5) of every photo.
#include "app/allocator_tuning.h"
#include "bench/measure.h"
#include "image/plugins.h"
#include "window/preview_job.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace pictavo;
using bench::median;

int main()
{
    keep_large_buffers_in_heap();
    register_jpeg_and_png_codecs();
    const std::string corpus = std::getenv("CORPUS") ? std::getenv("CORPUS") : "/tmp/corpus";
    std::vector<std::string> photos;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(corpus + "/jpg12", missing))
        photos.push_back(entry.path().string());
    std::sort(photos.begin(), photos.end());
    if (photos.empty()) {
        std::printf("bench_preview: no photos in %s/jpg12 (make bench builds the corpus)\n", corpus.c_str());
        return 0;
    }
    const int rounds = bench::environment_count("PICTAVO_BENCH_ROUNDS", 5);
    ImageSettings resized; // Normal Resize to 1000 px at quality 6, as the window starts
    ImageSettings other_quality = resized;
    other_quality.quality = 8;
    ImageSettings kept = resized;
    kept.resize_mode = RESIZE_KEEP;
    std::vector<double> first, quality_change, keep_size;
    for (int round = 0; round < rounds; ++round) {
        for (const std::string& photo : photos) {
            auto start = bench::Clock::now();
            const PreviewResult made = make_preview(photo, resized, nullptr);
            first.push_back(bench::milliseconds_since(start));
            start = bench::Clock::now();
            const PreviewResult again = make_preview(photo, other_quality, made.prepared);
            quality_change.push_back(bench::milliseconds_since(start));
            start = bench::Clock::now();
            const PreviewResult whole = make_preview(photo, kept, nullptr);
            keep_size.push_back(bench::milliseconds_since(start));
            if (!made.content.note.empty() || !again.content.note.empty() || !whole.content.note.empty())
                std::printf("bench_preview: %s: %s\n", photo.c_str(), made.content.note.c_str());
        }
    }
    std::printf("preview of a 12 MP photo, median of %zu (ms): first %.0f, quality change %.0f, "
                "keep size %.0f\n",
                first.size(), median(first), median(quality_change), median(keep_size));
    return 0;
}
