// SPDX-License-Identifier: GPL-3.0-or-later
// Reduces 24-bit pixels to a palette of 2^depth colours and packed index rows.
//
// Depth 1 is a fixed black-and-white split by luminance; depths 2, 4 and 8 learn the palette
// with a NeuQuant network (a self-organising map over alpha, red, green and blue with gamma
// correction), which has no randomness: the same pixels always give the same palette.
#pragma once

#include "image/image_plugin.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pictavo {

struct PaletteColour {
    std::uint8_t red = 0, green = 0, blue = 0, alpha = 255;
};

struct QuantizedImage {
    std::vector<PaletteColour> palette;  // 2^depth entries
    std::size_t row_bytes = 0;
    std::vector<std::uint8_t> rows;      // packed index rows, top image row first

    const std::uint8_t* row(int y) const { return rows.data() + static_cast<std::size_t>(y) * row_bytes; }
};

// Quantizes the request's 24-bit pixels to request.depth (1, 2, 4 or 8) bits. Indices are
// packed most significant bits first; the unused bits at the end of a row are zero. The
// quality's error-diffusion bit (0x100) is not implemented and has no effect. False for
// another depth or when memory runs out.
bool quantize_palette(const EncodeRequest& request, QuantizedImage& result);

} // namespace pictavo
