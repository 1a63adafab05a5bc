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

// The palette sizes a PNG is tried with: each step halves the colours (one bit less per
// pixel), so a few tries after the full palette find the most that fit.
constexpr int PALETTE_COLOUR_STEPS[] = {256, 128, 64, 32, 16, 8, 4, 2};

// How much smaller a dithered palette file gets, about, for each halving of its colours
// (0.71 to 0.83 on the artwork corpus): where the search of the steps starts.
constexpr double PALETTE_STEP_SHRINK = 0.8;

// On artwork and photos the lossless optimised PNG is never below 40 % of the plain one unless
// the image has at most 256 colours (an exact palette then does far better), so a plain file
// this many times the limit is not tried losslessly.
constexpr double LOSSLESS_REACH = 2.5;

struct LimitedEncode {
    ImageError error = ImageError::None; // the encoder failed (no try was made)
    std::vector<std::uint8_t> bytes;     // the chosen file
    EncodeOutcome outcome;               // what the encoder did for it
    bool fits = false;                   // bytes is within the limit
    int tries = 0;                       // encodes made
    int palette_limit = 0;               // PNG: the step of PALETTE_COLOUR_STEPS chosen; 0: none
};

// The file of image in the format of encoder within limit bytes, or its smallest try.
// JPEG, WebP, AVIF: the highest quality on the encoder's own scale, up to the one the program
// quality maps to (image/quality_scale.h), whose file fits; the next quality up was tried and
// does not fit. A lossless WebP asked for is tried before that search. PNG: the file as
// options ask for it, then (unless a palette was asked for, or LOSSLESS_REACH says it cannot
// fit) the lossless optimised one, then an optimised lossy palette of as many of
// PALETTE_COLOUR_STEPS colours as fit, whatever quality that palette keeps (the step above was
// tried and does not fit). A try that fits at once is the file the options give without a limit.
LimitedEncode encode_within_limit(const ImageObject& image, std::uint32_t encoder, int quality,
                                  const EncodeOptions& options, std::int64_t limit);

} // namespace pictavo
