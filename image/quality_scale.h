// SPDX-License-Identifier: GPL-3.0-or-later
// The program's quality (1 smallest files .. 10 best) on each lossy encoder's own scale.
//
// JPEG takes ten times the program quality (libjpeg quality 10..100). WebP and AVIF take the
// quality on their own scale that, over the benchmark's photo corpus, gives the median PSNR of
// JPEG at that program quality, so that one number means about the same quality in every format
// (bench/bench_formats.cpp measures it; the manual has the table).
#pragma once

#include <cstdint>

namespace pictavo {

// The encoder's quality 1..100 for the program quality (clamped to 0..10; 0 is below 1, JPEG's
// 0 included, which libjpeg raises to 1). 0 for an encoder without a quality (PNG).
int native_quality_of(std::uint32_t encoder, int quality);

// The AV1 quantizer (0 best .. 63 smallest) for an AVIF quality 1..100, as later libavif
// versions scale their quality: 100 gives 0, 1 gives 62.
int avif_quantizer_of(int native_quality);

} // namespace pictavo
