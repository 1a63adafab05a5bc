// SPDX-License-Identifier: GPL-3.0-or-later
// Codec figures on a generated photo-like image: JPEG encode and decode (12 MP and 1000 px),
// turning the 12 MP photo upright, PNG true-colour encode, and the palette form (quantizer
// included) at 1000 px.
#include "app/allocator_tuning.h"
#include "image/image_load.h"
#include "image/image_object.h"
#include "image/image_orientation.h"
#include "image/image_save.h"
#include "image/plugins.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace pictavo;

// Smooth gradients with fine detail and a little noise, like a photograph compresses.
void make_photo(ImageNumber number, int width, int height, int source_depth)
{
    ImageObject& image = *image_allocate(number);
    image.pixels = PixelBuffer::create(width, height, 24);
    image.width = static_cast<std::int16_t>(width);
    image.height = static_cast<std::int16_t>(height);
    image.depth = 24;
    image.source_depth = static_cast<std::int8_t>(source_depth);
    image.frame_count = 1;
    unsigned seed = 12345;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.pixels.image_row(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>(seed >> 28) - 8;
            const double wave = 40 * std::sin(x * 0.013) * std::cos(y * 0.017);
            row[3 * x] = static_cast<std::uint8_t>(std::clamp(80 + x * 120 / width + static_cast<int>(wave) + noise, 0, 255));
            row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(60 + y * 150 / height + noise, 0, 255));
            row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(200 - static_cast<int>(wave) + noise, 0, 255));
        }
    }
}

double median_ms(const std::function<void()>& run, int repeats)
{
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void report(const char* what, double ms) { std::printf("%-44s %9.1f ms\n", what, ms); }

} // namespace

int main()
{
    // As the program runs: large buffers stay in the heap, so figures are not page faults.
    keep_large_buffers_in_heap();
    register_jpeg_and_png_codecs();
    make_photo(0, 4000, 3000, 24);
    std::vector<std::uint8_t> jpeg;
    report("JPEG encode 4000x3000, quality 6", median_ms([&] { jpeg = image_save_memory(0, IMAGE_CODE_JPEG, 6); }, 3));
    report("JPEG decode 4000x3000", median_ms([&] { image_load_memory(1, jpeg.data(), jpeg.size()); }, 3));
    // Each run turns the decoded photo back by a quarter, so it always has work to do.
    ImageObject& photo = *image_lookup(1);
    report("Turn 4000x3000 upright (orientation 6)", median_ms([&] {
        photo.orientation = 6;
        image_apply_orientation(photo);
    }, 5));

    make_photo(0, 1000, 667, 24);
    report("JPEG encode 1000x667, quality 6", median_ms([&] { jpeg = image_save_memory(0, IMAGE_CODE_JPEG, 6); }, 9));
    report("PNG encode 1000x667 RGB (level 9, no filter)", median_ms([] { image_save_memory(0, IMAGE_CODE_PNG); }, 3));
    make_photo(0, 1000, 667, 8);
    report("PNG encode 1000x667 palette 256 (quantizer)", median_ms([] { image_save_memory(0, IMAGE_CODE_PNG); }, 3));
    image_free(IMAGE_ANY);
    return 0;
}
