// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/resize_geometry.h"

#include <climits>
#include <cmath>

namespace pictavo {

int round_half_even(double value)
{
    if (std::isnan(value))
        return 0;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    const double below = std::floor(value);
    const double fraction = value - below;
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        rounded = below + 1.0;
    return static_cast<int>(rounded);
}

namespace {

// A value the job stores: the double result rounded to single precision.
float stored(double value)
{
    return static_cast<float>(value);
}

ResizePlan plan_normal(double width, double height, double target)
{
    ResizePlan plan;
    plan.resize = true;
    if (width >= height) {
        const float ratio = stored(width / target);
        plan.width = round_half_even(target);
        plan.height = round_half_even(stored(height / ratio));
    } else {
        const float ratio = stored(height / target);
        plan.height = round_half_even(target);
        plan.width = round_half_even(stored(width / ratio));
    }
    return plan;
}

ResizePlan plan_fill_fit(int width, int height, std::int32_t target_width, std::int32_t target_height)
{
    ResizePlan plan;
    plan.resize = true;
    // A portrait source gets the pair swapped, so it stays portrait.
    plan.width = width >= height ? target_width : target_height;
    plan.height = width >= height ? target_height : target_width;
    return plan;
}

// Cover target width x target height, then cut the centred rectangle of that size.
ResizePlan plan_uniform(double width, double height, double target_width, double target_height)
{
    const float source_aspect = stored(width / height);
    const float target_aspect = stored(target_width / target_height);
    float fit_width = 0;
    float fit_height = 0;
    float x = 0;
    float y = 0;
    if (target_aspect > source_aspect) {
        // Relatively taller than the target: fit the width, cut top and bottom. The inner
        // quotient stays in double precision.
        fit_width = stored(target_width);
        fit_height = stored(height / (width / target_width));
        y = stored((static_cast<double>(fit_height) - target_height + 0.0) / 2.0);
    } else {
        fit_height = stored(target_height);
        fit_width = stored(width / (height / target_height));
        x = stored((static_cast<double>(fit_width) - target_width + 0.0) / 2.0);
    }
    ResizePlan plan;
    plan.resize = true;
    plan.width = round_half_even(fit_width);
    plan.height = round_half_even(fit_height);
    plan.crop = true;
    plan.x = round_half_even(x);
    plan.y = round_half_even(y);
    plan.crop_width = static_cast<int>(target_width);
    plan.crop_height = static_cast<int>(target_height);
    return plan;
}

} // namespace

ResizePlan plan_resize(int mode, int width, int height, std::int32_t target_width,
                       std::int32_t target_height)
{
    switch (mode) {
    case RESIZE_NORMAL:
        return plan_normal(width, height, target_width);
    case RESIZE_FILL_FIT:
        return plan_fill_fit(width, height, target_width, target_height);
    case RESIZE_UNIFORM:
        return plan_uniform(width, height, target_width, target_height);
    default:
        return {};
    }
}

} // namespace pictavo
