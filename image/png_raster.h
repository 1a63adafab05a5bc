// SPDX-License-Identifier: GPL-3.0-or-later
// Image data laid out as a PNG file stores it before row filtering: one colour type and bit
// depth, packed rows, and the palette or transparent colour that goes with them.
#pragma once

#include "image/packed_samples.h"
#include "image/palette_quantizer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pictavo {

// PNG colour types (PNG standard, IHDR).
enum class PngColourType : std::uint8_t { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, RgbAlpha = 6 };

struct PngRaster {
    int width = 0;
    int height = 0;
    PngColourType colour_type = PngColourType::Rgb;
    int bit_depth = 8;
    std::size_t row_bytes = 0;
    std::vector<std::uint8_t> rows;  // packed rows, top image row first, row_bytes each
    // Palette type: the entries in index order. Their alpha is written (as tRNS, up to the
    // last entry that is not opaque) only when palette_alpha is set.
    std::vector<PaletteColour> palette;
    bool palette_alpha = false;
    // Grey and RGB types: the one colour that stands for fully transparent pixels (tRNS),
    // in the raster's own sample values (grey in red).
    bool has_transparent_colour = false;
    PaletteColour transparent_colour;

    int channels() const;
    // Bytes from a sample to the same sample of the pixel before it, as the row filters see
    // it: the bytes of one pixel, at least one.
    int filter_distance() const;
    std::uint8_t* row(int y) { return rows.data() + static_cast<std::size_t>(y) * row_bytes; }
    const std::uint8_t* row(int y) const { return rows.data() + static_cast<std::size_t>(y) * row_bytes; }

    // Sizes the rows for width, height, colour type and bit depth, all zero. False when the
    // size cannot be held (std::bad_alloc is left to the caller).
    bool allocate_rows();
};

// Packs the 8-bit samples of a one-channel raster into bit_depth bits (1, 2 or 4); every
// sample must fit. False when memory runs out.
bool pack_samples(PngRaster& raster, int bit_depth);

} // namespace pictavo
