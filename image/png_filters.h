// SPDX-License-Identifier: GPL-3.0-or-later
// PNG row filtering (PNG standard, filter method 0): each row is stored as a filter type byte
// and the row's bytes minus a prediction from the bytes to its left and above.
#pragma once

#include "image/png_raster.h"

#include <cstdint>
#include <vector>

namespace pictavo {

// How the filter type of each row is chosen: one type for every row, or per row by a measure
// of how well the filtered row will compress.
enum class FilterChoice : std::uint8_t {
    None,
    Sub,
    Up,
    Average,
    Paeth,
    MinimumSum,  // the type whose bytes, read as signed, have the smallest sum of magnitudes
    Entropy,     // the type whose bytes have the smallest Shannon entropy
};

// Rows first_row .. first_row + row_count - 1 of the raster, each with its filter type byte in
// front, into filtered (resized to (row_bytes + 1) x row_count). A row's filtering depends only
// on it and the row above, so the rows of an image may be filtered a part at a time.
// std::bad_alloc is left to the caller.
void filter_rows(const PngRaster& raster, FilterChoice choice, int first_row, int row_count,
                 std::vector<std::uint8_t>& filtered);

} // namespace pictavo
