// SPDX-License-Identifier: GPL-3.0-or-later
// A JPEG's YCbCr planes resized as they are decoded, for the encoders that code YCbCr: the luma
// rows pass through a ring of the few rows the resize needs at once, the chroma rows (at most
// half of the samples, a third in the common 4:2:0) are held until the luma is done.
#pragma once

#include "image/image_load.h"
#include "image/image_object.h"

#include <cstddef>
#include <cstdint>

namespace pictavo {

// The JPEG in data as YCbCr 4:2:0 planes at the size choose gives (see
// image_read_file_sized_as_planes). ImageError::Unsupported, with nothing decoded, when the
// data is no JPEG of a YCbCr stream or choose gives no size; any failure leaves image as it was.
ImageError decode_ycbcr_sized(const std::uint8_t* data, std::size_t size, const SizeChoice& choose, ImageObject& image);

} // namespace pictavo
