// SPDX-License-Identifier: GPL-3.0-or-later
// AVIF encoder over libavif with the AOM encoder: 8-bit 4:2:0 at the program quality's AVIF
// quality (or the options' native quality), sRGB colours signalled, alpha kept losslessly for
// 32-bit pixels. The request's ICC profile, when it describes RGB data, goes into the colr box.
// One thread per encode, so the bytes do not depend on the machine.
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

// libavif's speed for the AOM encoder (0 slowest .. 10 fastest). At 7 a 1000-pixel photo takes
// about an eighth of a second on one core (bench_formats). 8 takes as long for files a fifth
// larger at the same PSNR; 6 takes nearly twice as long for files about 1 % smaller.
constexpr int AVIF_ENCODER_SPEED = 7;

bool avif_encode24(const EncodeRequest& request, const EncodeSink& sink);
bool avif_encode32(const EncodeRequest& request, const EncodeSink& sink);
// From request.ycbcr.
bool avif_encode_ycbcr(const EncodeRequest& request, const EncodeSink& sink);

extern const ImageEncoder avif_encoder_plugin;

} // namespace pictavo
