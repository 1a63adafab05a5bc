// SPDX-License-Identifier: GPL-3.0-or-later
// BMP encoder: an uncompressed bottom-up bitmap, 24-bit (encode24) or 32-bit with the alpha
// byte kept (encode32). The requested depth does not change the output.
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

bool bmp_encode24(const EncodeRequest& request, const EncodeSink& sink);
bool bmp_encode32(const EncodeRequest& request, const EncodeSink& sink);

extern const ImageEncoder bmp_encoder_plugin;

} // namespace pictavo
