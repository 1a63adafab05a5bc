// SPDX-License-Identifier: GPL-3.0-or-later
// PNG encoder over libpng: 8-bit RGB (encode24) or RGB-alpha (encode32); for depths 1, 2, 4
// and 8 a palette image built by the palette quantizer. No row filter, zlib level 9. Besides
// IHDR, PLTE, IDAT and IEND only the source's colour description is written: its ICC profile
// as iCCP when it describes RGB data, or else its sRGB chunk.
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

bool png_encode24(const EncodeRequest& request, const EncodeSink& sink);
bool png_encode32(const EncodeRequest& request, const EncodeSink& sink);

extern const ImageEncoder png_encoder_plugin;

} // namespace pictavo
