// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding an image so that its file takes at most a given number of bytes.
//
// Every try is an encode into memory; the number of tries is small and bounded, and the file is
// written once, from the try that was chosen. The same image and settings always choose the same
// try, so outputs do not depend on how many images run at once.
#pragma once

#include "image/encode_options.h"
#include "image/image_error.h"
#include "image/image_object.h"

#include <cstdint>
#include <vector>

namespace pictavo {

// The palette sizes a PNG is tried with once a full palette is too large: each step gives up
// about a quarter of the colours, so a handful of tries finds the most that fit.
constexpr int PALETTE_COLOUR_STEPS[] = {256, 192, 128, 96, 64, 48, 32, 24, 16, 12, 8, 6, 4, 3, 2};

struct LimitedEncode {
    ImageError error = ImageError::None; // the encoder failed (no try was made)
    std::vector<std::uint8_t> bytes;     // the chosen file
    EncodeOutcome outcome;               // what the encoder did for it
    bool fits = false;                   // bytes is within the limit
    int tries = 0;                       // encodes made
};

// The file of image in the format of encoder within limit bytes, or its smallest try.
// JPEG, WebP, AVIF: the highest quality on the encoder's own scale, up to the one the program
// quality maps to (image/quality_scale.h), whose file fits; the next quality up was tried and
// does not fit. A lossless WebP asked for is tried before that search. PNG: the file as
// options ask for it, then (unless a palette was asked for) the lossless optimised one, then an
// optimised lossy palette with as many of PALETTE_COLOUR_STEPS as fit, whatever quality that
// palette keeps; the next step up was tried and does not fit. A try that fits at once is the
// file the options give without a limit.
LimitedEncode encode_within_limit(const ImageObject& image, std::uint32_t encoder, int quality,
                                  const EncodeOptions& options, std::int64_t limit);

} // namespace pictavo
