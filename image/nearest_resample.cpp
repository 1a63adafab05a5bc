// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/nearest_resample.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace pictavo {
namespace {

// The input under the centre of output i, when outputs outputs span inputs inputs.
int centre_source(int i, int inputs, int outputs)
{
    return static_cast<int>((2 * static_cast<std::int64_t>(i) + 1) * inputs / (2 * static_cast<std::int64_t>(outputs)));
}

} // namespace

bool nearest_resample(const PixelBuffer& source, PixelBuffer& destination)
try {
    if (source.empty() || destination.empty() || source.depth() != destination.depth())
        return false;
    const auto pixel_bytes = static_cast<std::size_t>(source.bytes_per_pixel());
    std::vector<std::size_t> column_offset(static_cast<std::size_t>(destination.width()));
    for (std::size_t x = 0; x < column_offset.size(); ++x)
        column_offset[x] = pixel_bytes * static_cast<std::size_t>(
                                             centre_source(static_cast<int>(x), source.width(), destination.width()));
    // Rows are matched from the top of the image, as the user sees it.
    for (int y = 0; y < destination.height(); ++y) {
        const std::uint8_t* in = source.image_row(centre_source(y, source.height(), destination.height()));
        std::uint8_t* out = destination.image_row(y);
        for (std::size_t x = 0; x < column_offset.size(); ++x)
            std::memcpy(out + x * pixel_bytes, in + column_offset[x], pixel_bytes);
    }
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

} // namespace pictavo
