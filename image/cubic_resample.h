// SPDX-License-Identifier: GPL-3.0-or-later
// Separable Mitchell-Netravali cubic resize (B = C = 1/3) of 32-bit images.
//
// Two one-dimensional passes; each of blue, green, red and alpha is filtered on its own
// (colour is not weighted by alpha). Sums are taken in double precision in input order and
// stored as trunc(sum + 0.5) limited to 0..255 after each pass, so the second pass reads byte
// samples, as if through a temporary image of 4 bytes per pixel. The pass whose intermediate
// is smaller goes first (horizontal on a tie). When shrinking, the filter is widened by the
// inverse scale. The vertical pass counts rows in buffer order (bottom-up).
#pragma once

#include "image/pixel_buffer.h"

namespace pictavo {

// Fills destination (already created with its size, depth 32) from source (depth 32).
// False when memory runs out or a depth is not 32; destination is then undefined.
bool cubic_resample(const PixelBuffer& source, PixelBuffer& destination);

} // namespace pictavo
