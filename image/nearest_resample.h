// SPDX-License-Identifier: GPL-3.0-or-later
// Raw resize: every destination pixel is a copy of the source pixel under its centre (all its
// bytes, alpha included); no blending.
#pragma once

#include "image/pixel_buffer.h"

namespace pictavo {

// Fills destination (already created with its size and source's depth) from source.
// False when memory for the column map runs out.
bool nearest_resample(const PixelBuffer& source, PixelBuffer& destination);

} // namespace pictavo
