// SPDX-License-Identifier: GPL-3.0-or-later
// Area-averaging resize: each destination pixel is the mean of the source area it covers,
// every source pixel weighted by the fraction of it that lies inside, separably in x and y.
// Shrinking and enlarging alike; the mean is computed exactly and rounded to nearest (halves
// up), so halving gives the 2 x 2 block means and a constant image stays constant.
#pragma once

#include "image/pixel_buffer.h"

namespace pictavo {

// Fills destination (already created with its size and source's depth) from source.
// False when memory for the working rows runs out; destination is then undefined.
bool area_resample(const PixelBuffer& source, PixelBuffer& destination);

} // namespace pictavo
