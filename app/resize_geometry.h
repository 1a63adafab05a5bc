// SPDX-License-Identifier: GPL-3.0-or-later
// The sizes and offsets the image job hands to the image library for each resize mode.
//
// Pure arithmetic, kept apart from the job so that every case can be checked on numbers.
// Divisions and subtractions are done in double precision; the values the job keeps are
// rounded to single precision when they are stored, and only then rounded to whole pixels,
// ties to even (562.5 gives 562, 41.5 gives 42).
#pragma once

#include "app/settings.h"

#include <cstdint>

namespace pictavo {

struct ResizePlan {
    bool resize = false;      // false: the image keeps its size
    int width = 0;            // the size to resize to
    int height = 0;
    bool crop = false;        // true: then cut target width x target height at (x, y)
    int x = 0;
    int y = 0;
    int crop_width = 0;
    int crop_height = 0;
};

// Rounds to the nearest integer, ties to even; values beyond the int range are clamped and a
// NaN gives 0, so that a degenerate target can never make the conversion undefined.
int round_half_even(double value);

// The plan for a width x height source under mode with the run's target pair. Modes that do
// not resize (keep, upload, and any unknown value) answer a plan with resize false.
ResizePlan plan_resize(int mode, int width, int height, std::int32_t target_width,
                       std::int32_t target_height);

} // namespace pictavo
