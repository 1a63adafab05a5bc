// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/png_raster.h"

#include <limits>
#include <new>

namespace pictavo {

int PngRaster::channels() const
{
    switch (colour_type) {
    case PngColourType::Grey:
    case PngColourType::Palette: return 1;
    case PngColourType::GreyAlpha: return 2;
    case PngColourType::Rgb: return 3;
    case PngColourType::RgbAlpha: return 4;
    }
    return 1;
}

int PngRaster::filter_distance() const
{
    return bit_depth < 8 ? 1 : channels() * bit_depth / 8;
}

bool PngRaster::allocate_rows()
{
    if (width < 1 || height < 1)
        return false;
    const auto bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels() * bit_depth);
    row_bytes = (bits + 7) / 8;
    if (row_bytes > std::numeric_limits<std::size_t>::max() / static_cast<std::size_t>(height))
        return false;
    rows.assign(row_bytes * static_cast<std::size_t>(height), 0);
    return true;
}

bool pack_samples(PngRaster& raster, int bit_depth)
{
    PngRaster packed;
    packed.width = raster.width;
    packed.height = raster.height;
    packed.colour_type = raster.colour_type;
    packed.bit_depth = bit_depth;
    try {
        if (!packed.allocate_rows())
            return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int y = 0; y < raster.height; ++y) {
        const std::uint8_t* samples = raster.row(y);
        for (int x = 0; x < raster.width; ++x)
            pack_sample(packed.row(y), x, bit_depth, samples[x]);
    }
    raster.bit_depth = bit_depth;
    raster.row_bytes = packed.row_bytes;
    raster.rows = std::move(packed.rows);
    return true;
}

} // namespace pictavo
