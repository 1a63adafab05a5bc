// SPDX-License-Identifier: GPL-3.0-or-later
// How an encoder spends effort and loss beyond its plain output, and what it reports back.
//
// One value serves every encoder: each reads the fields that mean something for its format and
// ignores the rest. The default value asks for the plain output, byte for byte.
#pragma once

namespace pictavo {

// libimagequant's quality scale (0..100, as pngquant's --quality minimum): a lossy palette that
// cannot keep an image at least this close stays unused, and the image is written as without it.
constexpr int PALETTE_QUALITY_FLOOR = 60;
// The most colours a palette can hold (8-bit PNG indices).
constexpr int PALETTE_COLOURS_MAXIMUM = 256;
// The encoders' own quality scale (libjpeg's).
constexpr int NATIVE_QUALITY_MAXIMUM = 100;

struct EncodeOptions {
    // Lossless, pixels identical to the plain output: JPEG with optimised Huffman tables and
    // progressive scans; PNG in its smallest exact colour type (exact palette with tRNS, grey,
    // no alpha when opaque) with the row filters and deflate that give the smallest file. A
    // palette output of the defined palette form keeps its palette and indices.
    bool optimize = false;
    // PNG, lossy: a true-colour or alpha output becomes an 8-bit palette with alpha (tRNS),
    // dithered, when it keeps the image at least palette_quality_floor close; a palette or grey
    // source's output gets such a palette of at most 2^depth colours instead of the defined one.
    bool lossy_palette = false;
    int palette_quality_floor = PALETTE_QUALITY_FLOOR; // 0 takes whatever palette comes out
    int palette_colours = PALETTE_COLOURS_MAXIMUM;     // 2..256, fewer to make files smaller
    // 1..100: the encoder's own quality, in place of the program quality's mapping (JPEG: libjpeg
    // quality instead of ten times the program quality; WebP: libwebp's; AVIF: see
    // avif_quantizer_of). 0: the mapping (image/quality_scale.h).
    int native_quality = 0;
    // WebP: every pixel kept (lossless WebP, the colours under transparent pixels included)
    // instead of the lossy form. Other formats ignore it.
    bool lossless = false;

    bool operator==(const EncodeOptions&) const = default;
};

// What an encode did, for a size search and the run's report.
struct EncodeOutcome {
    bool lossy_palette = false; // the lossy palette was used
    int palette_colours = 0;    // colours in the written palette; 0 for a true-colour output
    int native_quality = 0;     // the encoder's own quality written; 0 for a lossless output
    int palette_quality = 0;    // how close the lossy palette keeps the image (libimagequant's 0..100)
};

} // namespace pictavo
