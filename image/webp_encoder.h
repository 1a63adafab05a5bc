// SPDX-License-Identifier: GPL-3.0-or-later
// WebP encoder over libwebp. Lossy by default, at the program quality's WebP quality (or the
// options' native quality), with alpha kept losslessly for 32-bit pixels; lossless when the
// options ask for it, with every pixel's colour kept, under transparent pixels too. The
// request's ICC profile, when it describes RGB data, goes into an ICCP chunk.
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

// libwebp's effort (0 fastest .. 6 smallest), its own default. On 1000-pixel photos it takes
// about 50 ms each; 2 takes less than half that for files some 10 % larger at the same PSNR,
// 6 half as long again for files 5 % smaller (bench_formats, and the manual's figures).
constexpr int WEBP_METHOD = 4;

bool webp_encode24(const EncodeRequest& request, const EncodeSink& sink);
bool webp_encode32(const EncodeRequest& request, const EncodeSink& sink);

extern const ImageEncoder webp_encoder_plugin;

} // namespace pictavo
