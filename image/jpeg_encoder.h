// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG encoder over libjpeg: 24-bit pixels, quality 0..10 mapped to libjpeg quality 0..100
// (or the options' native quality), every other setting at libjpeg's defaults unless the
// options ask for optimised coding (own Huffman tables, progressive scans, same pixels). The
// request's ICC profile, when it describes RGB data, follows the JFIF header as APP2 pieces.
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

bool jpeg_encode24(const EncodeRequest& request, const EncodeSink& sink);

extern const ImageEncoder jpeg_encoder_plugin;

} // namespace pictavo
