// SPDX-License-Identifier: GPL-3.0-or-later
// PNG encoder: 8-bit RGB (encode24) or RGB-alpha (encode32); for depths 1, 2, 4 and 8 a palette
// image built by the palette quantizer. The plain output has no row filter and zlib level 9
// (image/png_writer.h). The options add a smallest exact form with the best filters and
// deflate (optimize), and a lossy palette with alpha from libimagequant (lossy_palette).
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

bool png_encode24(const EncodeRequest& request, const EncodeSink& sink);
bool png_encode32(const EncodeRequest& request, const EncodeSink& sink);

extern const ImageEncoder png_encoder_plugin;

} // namespace pictavo
