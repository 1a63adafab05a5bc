// SPDX-License-Identifier: GPL-3.0-or-later
// AVIF decoder over libavif: the file's primary image (a grid is put together by the library)
// at 8 bits per channel, 24-bit blue, green, red, or 32-bit with alpha when the file has an
// alpha plane. Higher bit depths are scaled down, premultiplied alpha is undone. Check reads
// the ICC profile and turns the rotation and mirror boxes (irot, imir) into the orientation
// the image task applies, as viewers apply them; the clean-aperture crop is not applied. An
// image sequence without a primary image is refused as a kind this program does not read.
#pragma once

#include "image/image_plugin.h"

namespace pictavo {

bool avif_check(DecodeContext& context);
bool avif_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags);

extern const ImageDecoder avif_decoder_plugin;

// The EXIF orientation (1..8) of the HEIF transforms: a rotation of angle x 90 degrees
// anticlockwise (0..3), then a mirror (mirror_mode 0: top and bottom exchanged, 1: left and
// right exchanged, -1: none).
int orientation_of_transforms(int angle, int mirror_mode);

} // namespace pictavo
