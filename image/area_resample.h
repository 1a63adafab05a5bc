// SPDX-License-Identifier: GPL-3.0-or-later
// Area-averaging resize: each destination pixel is the mean of the source area it covers,
// every source pixel weighted by the fraction of it that lies inside, separably in x and y.
// Shrinking and enlarging alike; the mean is computed exactly and rounded to nearest (halves
// up), so halving gives the 2 x 2 block means and a constant image stays constant.
#pragma once

#include "image/pixel_buffer.h"
#include "image/sample_plane.h"

#include <cstdint>

namespace pictavo {

// Which end of the image row 0 of a source is.
enum class RowOrder {
    BottomUp,  // a PixelBuffer's order
    TopDown,   // a decoder's order
};

// The rows an area resize reads. Each destination row reads a run of consecutive source rows,
// and the run of every later destination row starts at the same row or a later one, so a
// source may drop the rows below the start of the run asked for last: it never has to hold
// more than area_rows_at_once rows. Every source row is asked for at least once.
class AreaSource {
public:
    AreaSource(int width, int height, int depth, RowOrder order)
        : width_(width), height_(height), depth_(depth), order_(order)
    {
    }
    virtual ~AreaSource() = default;
    AreaSource(const AreaSource&) = delete;
    AreaSource& operator=(const AreaSource&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    int depth() const { return depth_; }
    RowOrder order() const { return order_; }
    // Source row index (0 <= index < height), width pixels at depth. A source that cannot
    // deliver it returns some readable row of that length and reports the failure itself.
    virtual const std::uint8_t* row(int index) = 0;

private:
    int width_;
    int height_;
    int depth_;
    RowOrder order_;
};

// Fills destination (already created with its size and source's depth) from source.
// False when memory for the working rows runs out; destination is then undefined.
bool area_resample(const PixelBuffer& source, PixelBuffer& destination);
// The same from rows that come one run at a time. The destination is written in the source's
// row order; the result does not depend on that order, since the areas of an axis are the
// same counted from either end.
bool area_resample(AreaSource& source, PixelBuffer& destination);
// The same for planes of one sample per pixel (from a source of depth 8).
bool area_resample(const SamplePlane& source, SamplePlane& destination);
bool area_resample(AreaSource& source, SamplePlane& destination);

// The most consecutive rows of source_rows that one of rows output rows covers; 0 when a
// count is below 1.
int area_rows_at_once(int source_rows, int rows);

} // namespace pictavo
