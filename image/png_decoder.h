// SPDX-License-Identifier: GPL-3.0-or-later
// PNG decoder over libpng: every colour type and bit depth becomes 8-bit blue, green, red
// (24-bit) or blue, green, red, alpha (32-bit, when the image has alpha or a tRNS chunk).
// Gamma and background chunks are ignored: samples are taken as stored. Check reads the ICC
// profile (iCCP), the sRGB chunk and the EXIF orientation (eXIf) into the context. Image data
// that ends before the last row fails the decode as cut off; a missing trailer does not.
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

bool png_check(DecodeContext& context);
bool png_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags);

extern const ImageDecoder png_decoder_plugin;

} // namespace pictavo
