// SPDX-License-Identifier: GPL-3.0-or-later
// WebP encoder over libwebp. Lossy by default, at the program quality's WebP quality (or the
// options' native quality), with alpha kept losslessly for 32-bit pixels; lossless when the
// options ask for it, with every pixel's colour kept, under transparent pixels too. The
// request's ICC profile, when it describes RGB data, goes into an ICCP chunk.
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

// libwebp's effort (0 fastest .. 6 smallest). On 1000-pixel photos 3 gives the bytes of 4, its
// default, at the same PSNR in a tenth less time; 2 takes half the time of 3 for files a tenth
// larger at the same PSNR (bench_formats).
constexpr int WEBP_METHOD = 3;

bool webp_encode24(const EncodeRequest& request, const EncodeSink& sink);
bool webp_encode32(const EncodeRequest& request, const EncodeSink& sink);
// From request.ycbcr (lossy only).
bool webp_encode_ycbcr(const EncodeRequest& request, const EncodeSink& sink);

extern const ImageEncoder webp_encoder_plugin;

} // namespace pictavo
