// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG decoder over libjpeg: greyscale and YCbCr streams decode to RGB, YCCK to CMYK, which
// is turned into RGB by multiplying each of C, M, Y with K. Check reads the EXIF orientation
// (APP1) and the ICC profile (APP2 pieces) into the context; they do not change the pixels.
// Data that ends before the last rows fails the decode as cut off; a stream that lacks only
// its end marker after complete scan data decodes.
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

bool jpeg_check(DecodeContext& context);
bool jpeg_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags);
bool jpeg_decode_row(DecodeContext& context, std::uint8_t* row);

extern const ImageDecoder jpeg_decoder_plugin;

} // namespace pictavo
