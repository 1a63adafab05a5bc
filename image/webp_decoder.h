// SPDX-License-Identifier: GPL-3.0-or-later
// WebP decoder over libwebp: lossy and lossless still images into 24-bit blue, green, red, or
// 32-bit with alpha when the file has an alpha channel. Check reads the ICC profile (ICCP) and
// the EXIF orientation (EXIF chunk) into the context. An animation is refused as a kind this
// program does not read: taking one of its frames would pass for the whole picture. Data that
// ends before the image does fails as cut off.
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

bool webp_check(DecodeContext& context);
bool webp_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags);

extern const ImageDecoder webp_decoder_plugin;

} // namespace pictavo
