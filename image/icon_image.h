// SPDX-License-Identifier: GPL-3.0-or-later
// Icon data (an icon directory of one or more bitmaps) held as an icon image: the pixels of
// the chosen entry's colour bitmap, flagged so that resize and save refuse it.
#pragma once

#include "image/image_error.h"
#include "image/image_object.h"

#include <cstddef>
#include <cstdint>

namespace pictavo {

// The data holds and starts with an icon-directory header: reserved word 0, type 1, count.
bool is_icon_data(const std::uint8_t* data, std::size_t size);

// Fills image from the entry with the first entry's size and the highest bit count among
// those. ImageError::Corrupt when the directory or the entry does not fit in the data,
// TooManyPixels when the entry declares a size beyond the limits.
ImageError load_icon(ImageObject& image, const std::uint8_t* data, std::size_t size);

} // namespace pictavo
