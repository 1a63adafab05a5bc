// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/resize_geometry.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace pictavo {
namespace {

struct Size {
    int width;
    int height;
};

TEST(ResizeGeometry, RoundsHalfToEvenAndClampsWhatDoesNotFit)
{
    EXPECT_EQ(round_half_even(562.5), 562);
    EXPECT_EQ(round_half_even(41.5), 42);
    EXPECT_EQ(round_half_even(166.5), 166);
    EXPECT_EQ(round_half_even(92.88892), 93);
    EXPECT_EQ(round_half_even(1333.3334), 1333);
    EXPECT_EQ(round_half_even(-0.5), 0);
    EXPECT_EQ(round_half_even(-1.5), -2);
    EXPECT_EQ(round_half_even(-2.6), -3);
    EXPECT_EQ(round_half_even(1e300), INT_MAX);
    EXPECT_EQ(round_half_even(-INFINITY), INT_MIN);
    EXPECT_EQ(round_half_even(NAN), 0);
}

// Common photo and screen sizes with the default targets: normal 1000, fill-fit and uniform
// 1000 x 667. The odd cases are the ties (562.5, 41.5, 166.5) and the single-precision fits.
TEST(ResizeGeometry, DefaultTargetsOnCommonSizes)
{
    struct Row {
        Size source;
        Size normal;
        Size fill;
        Size fit;   // what "Uniform" resizes to
        Size cut;   // where it cuts 1000 x 667
    };
    const Row rows[] = {
        {{4000, 3000}, {1000, 750}, {1000, 667}, {1000, 750}, {0, 42}},
        {{3000, 4000}, {750, 1000}, {667, 1000}, {1000, 1333}, {0, 333}},
        {{1920, 1080}, {1000, 562}, {1000, 667}, {1186, 667}, {93, 0}},
        {{1000, 1000}, {1000, 1000}, {1000, 667}, {1000, 1000}, {0, 166}},
        {{640, 480}, {1000, 750}, {1000, 667}, {1000, 750}, {0, 42}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.source.width) + "x" + std::to_string(row.source.height));
        const ResizePlan normal = plan_resize(RESIZE_NORMAL, row.source.width, row.source.height, 1000, 1000);
        EXPECT_TRUE(normal.resize);
        EXPECT_FALSE(normal.crop);
        EXPECT_EQ(normal.width, row.normal.width);
        EXPECT_EQ(normal.height, row.normal.height);

        const ResizePlan fill = plan_resize(RESIZE_FILL_FIT, row.source.width, row.source.height, 1000, 667);
        EXPECT_FALSE(fill.crop);
        EXPECT_EQ(fill.width, row.fill.width);
        EXPECT_EQ(fill.height, row.fill.height);

        const ResizePlan uniform = plan_resize(RESIZE_UNIFORM, row.source.width, row.source.height, 1000, 667);
        EXPECT_EQ(uniform.width, row.fit.width);
        EXPECT_EQ(uniform.height, row.fit.height);
        EXPECT_TRUE(uniform.crop);
        EXPECT_EQ(uniform.x, row.cut.width);
        EXPECT_EQ(uniform.y, row.cut.height);
        EXPECT_EQ(uniform.crop_width, 1000);
        EXPECT_EQ(uniform.crop_height, 667);
    }
}

TEST(ResizeGeometry, ModesWithoutResizeAndOtherTargets)
{
    for (int mode : {0, 3, 4, -1})
        EXPECT_FALSE(plan_resize(mode, 4000, 3000, 1000, 667).resize) << mode;

    // Only the longer side is compared with the target; a square source takes the first branch.
    const ResizePlan portrait = plan_resize(RESIZE_NORMAL, 1080, 1920, 800, 800);
    EXPECT_EQ(portrait.width, 450);
    EXPECT_EQ(portrait.height, 800);

    // Equal aspects (as single values) take the wider branch: nothing is cut sideways.
    const ResizePlan equal = plan_resize(RESIZE_UNIFORM, 2000, 1334, 1000, 667);
    EXPECT_EQ(equal.width, 1000);
    EXPECT_EQ(equal.height, 667);
    EXPECT_EQ(equal.x, 0);
    EXPECT_EQ(equal.y, 0);

    // Portrait targets stay as given in "Uniform": the output is always the target size.
    const ResizePlan tall = plan_resize(RESIZE_UNIFORM, 4000, 3000, 300, 600);
    EXPECT_EQ(tall.width, 800);
    EXPECT_EQ(tall.height, 600);
    EXPECT_EQ(tall.x, 250);
    EXPECT_EQ(tall.crop_width, 300);
    EXPECT_EQ(tall.crop_height, 600);
}

TEST(ResizeGeometry, DegenerateTargetsGiveDefinedNumbers)
{
    // A zero target cannot come from a checked field, but must not make the arithmetic undefined.
    const ResizePlan zero = plan_resize(RESIZE_NORMAL, 100, 50, 0, 0);
    EXPECT_EQ(zero.width, 0);
    EXPECT_EQ(zero.height, 0);
    const ResizePlan uniform = plan_resize(RESIZE_UNIFORM, 100, 50, 0, 0);
    EXPECT_TRUE(uniform.crop);
    // Extreme aspect ratios ask for sizes far beyond any image; they are clamped, not wrapped.
    const ResizePlan extreme = plan_resize(RESIZE_UNIFORM, 32767, 1, 8000, 8000);
    EXPECT_EQ(extreme.height, 8000);
    EXPECT_GT(extreme.width, 32767);
}

} // namespace
} // namespace pictavo
