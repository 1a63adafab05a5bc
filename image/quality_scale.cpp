// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/quality_scale.h"

#include "image/encode_options.h"
#include "image/image_object.h"

#include <algorithm>

namespace pictavo {
namespace {

// Indexed by the program quality 0..10 (0 as 1). Each entry is the lowest quality whose median
// PSNR over the benchmark's photos, sized to 1000 pixels, reaches that of JPEG at ten times the
// program quality (bench_formats; WebP at WEBP_METHOD, AVIF at AVIF_ENCODER_SPEED, each given
// the photos' YCbCr planes as a run gives them). JPEG at
// 100 is beyond what lossy WebP reaches at all, so 10 takes WebP's best.
constexpr int webp_qualities[11] = {1, 1, 12, 29, 40, 49, 60, 72, 81, 90, 100};
constexpr int avif_qualities[11] = {1, 16, 33, 41, 46, 49, 52, 55, 63, 81, 100};

} // namespace

int native_quality_of(std::uint32_t encoder, int quality)
{
    const auto index = static_cast<std::size_t>(std::clamp(quality, 0, 10));
    switch (encoder) {
    case IMAGE_CODE_JPEG: return static_cast<int>(index) * 10;
    case IMAGE_CODE_WEBP: return webp_qualities[index];
    case IMAGE_CODE_AVIF: return avif_qualities[index];
    default: return 0;
    }
}

int avif_quantizer_of(int native_quality)
{
    constexpr int worst_quantizer = 63;
    const int quality = std::clamp(native_quality, 0, NATIVE_QUALITY_MAXIMUM);
    return ((NATIVE_QUALITY_MAXIMUM - quality) * worst_quantizer + NATIVE_QUALITY_MAXIMUM / 2) / NATIVE_QUALITY_MAXIMUM;
}

} // namespace pictavo
