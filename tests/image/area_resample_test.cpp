// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/area_resample.h"
#include "image/exact_division.h"
#include "image/vector_dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace pictavo {
namespace {

TEST(ExactReciprocal, DividesEveryNumeratorInRangeExactly)
{
    // The divisors and numerator bounds the resampler asks for (2 * area and 511 * area),
    // checked exhaustively wherever a reciprocal is offered.
    int found = 0;
    for (std::uint32_t area = 1; area <= 300; ++area) {
        const std::uint32_t divisor = 2 * area;
        const std::uint32_t largest = 511 * area;
        const std::optional<ExactReciprocal> reciprocal = exact_reciprocal(divisor, largest);
        if (!reciprocal)
            continue;
        ++found;
        for (std::uint32_t n = 0; n <= largest; ++n)
            ASSERT_EQ(reciprocal->divide(n), n / divisor) << n << " / " << divisor;
    }
    // Small areas, the common shrinks among them, always get one.
    for (std::uint32_t area = 1; area <= 137; ++area)
        EXPECT_TRUE(exact_reciprocal(2 * area, 511 * area)) << area;
    EXPECT_GT(found, 137);
    // Beyond what a 32-bit product can serve exactly there is none rather than a wrong one.
    EXPECT_FALSE(exact_reciprocal(2 * 138, 511 * 138));
    EXPECT_FALSE(exact_reciprocal(3, UINT32_MAX));
    EXPECT_FALSE(exact_reciprocal(0, 10));
}

// Source pixel s of an axis spans [s * new_size, (s + 1) * new_size) and output pixel o spans
// [o * size, (o + 1) * size): the length they share.
std::int64_t overlap(int source, int output, int size, int new_size)
{
    const std::int64_t start = std::max<std::int64_t>(std::int64_t{source} * new_size, std::int64_t{output} * size);
    const std::int64_t end
        = std::min<std::int64_t>(std::int64_t{source + 1} * new_size, std::int64_t{output + 1} * size);
    return std::max<std::int64_t>(0, end - start);
}

// The exact coverage-weighted mean of every output byte, rounded to nearest with halves up,
// in whole numbers: floor((2 * sum + area) / (2 * area)). sample(x, y, c) is a source byte;
// the result holds new_height rows of new_width * channels bytes, in the source's row order.
template <class Sample>
std::vector<std::uint8_t> area_definition(int width, int height, int channels, int new_width, int new_height,
                                          Sample sample)
{
    const auto row_bytes = static_cast<std::size_t>(new_width) * static_cast<std::size_t>(channels);
    std::vector<std::uint8_t> expected(row_bytes * static_cast<std::size_t>(new_height));
    const std::int64_t area = std::int64_t{width} * height;
    for (int y = 0; y < new_height; ++y) {
        const int first_row = static_cast<int>(std::int64_t{y} * height / new_height);
        for (int x = 0; x < new_width; ++x) {
            const int first_column = static_cast<int>(std::int64_t{x} * width / new_width);
            for (int c = 0; c < channels; ++c) {
                std::int64_t sum = 0;
                for (int sy = first_row; sy < height; ++sy) {
                    const std::int64_t row_weight = overlap(sy, y, height, new_height);
                    if (row_weight == 0)
                        break;
                    for (int sx = first_column; sx < width; ++sx) {
                        const std::int64_t weight = overlap(sx, x, width, new_width);
                        if (weight == 0)
                            break;
                        sum += row_weight * weight * sample(sx, sy, c);
                    }
                }
                expected[static_cast<std::size_t>(y) * row_bytes + static_cast<std::size_t>(x * channels + c)]
                    = static_cast<std::uint8_t>((2 * sum + area) / (2 * area));
            }
        }
    }
    return expected;
}

// Random bytes, or bytes all near 255 so that the sums reach the top of their range.
std::uint8_t random_byte(std::mt19937& random, bool bright)
{
    return static_cast<std::uint8_t>(bright ? 255 - random() % 3 : random());
}

// Depth 8 is a sample plane, 24 and 32 a pixel buffer.
void expect_area_definition(int width, int height, int new_width, int new_height, int depth, bool bright = false)
{
    SCOPED_TRACE(testing::Message() << width << "x" << height << " -> " << new_width << "x" << new_height << " depth "
                                    << depth << (bright ? " bright" : ""));
    std::mt19937 random(static_cast<unsigned>(width * 7919 + new_width * 31 + height));
    const int channels = depth / 8;
    const std::size_t row_bytes = static_cast<std::size_t>(new_width) * static_cast<std::size_t>(channels);
    std::vector<std::uint8_t> expected;
    std::vector<const std::uint8_t*> resized_rows;
    SamplePlane plane_resized;
    PixelBuffer resized;
    if (depth == 8) {
        SamplePlane source = SamplePlane::create(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                source.row(y)[x] = random_byte(random, bright);
        expected = area_definition(width, height, 1, new_width, new_height,
                                   [&](int x, int y, int) { return source.row(y)[x]; });
        plane_resized = SamplePlane::create(new_width, new_height);
        ASSERT_TRUE(area_resample(source, plane_resized));
        for (int y = 0; y < new_height; ++y)
            resized_rows.push_back(plane_resized.row(y));
    } else {
        PixelBuffer source = PixelBuffer::create(width, height, depth);
        for (std::size_t i = 0; i < source.size_bytes(); ++i)
            source.data()[i] = random_byte(random, bright);
        expected = area_definition(width, height, channels, new_width, new_height,
                                   [&](int x, int y, int c) { return source.buffer_row(y)[x * channels + c]; });
        resized = PixelBuffer::create(new_width, new_height, depth);
        ASSERT_TRUE(area_resample(source, resized));
        for (int y = 0; y < new_height; ++y)
            resized_rows.push_back(resized.buffer_row(y));
    }
    for (int y = 0; y < new_height; ++y)
        for (std::size_t i = 0; i < row_bytes; ++i)
            ASSERT_EQ(resized_rows[static_cast<std::size_t>(y)][i], expected[static_cast<std::size_t>(y) * row_bytes + i])
                << "row " << y << " byte " << i;
}

TEST(AreaResample, MatchesTheExactMeanByteForByte)
{
    const int sizes[][4] = {
        // Whole shrink factors across, rows shrinking, staying or growing.
        {16, 16, 4, 4},
        {64, 12, 16, 3},
        {63, 9, 21, 3},
        {100, 40, 25, 10},
        {96, 10, 32, 7},
        {66, 5, 33, 13},
        {40, 6, 20, 9},
        {9, 9, 9, 4},
        {51, 3, 17, 3},
        // Widths around the vector lengths of the sums (8 and 16 lanes).
        {30, 8, 15, 4},
        {32, 8, 16, 4},
        {34, 8, 17, 4},
        {46, 7, 23, 7},
        {48, 7, 24, 7},
        {50, 7, 25, 7},
        {124, 4, 31, 2},
        {128, 4, 32, 2},
        {132, 4, 33, 2},
        // Fractional factors and enlargements.
        {37, 23, 13, 10},
        {10, 7, 7, 5},
        {5, 3, 13, 7},
        {9, 4, 4, 9},
        {3, 5, 40, 11},
        {1, 1, 17, 3},
        {50, 3, 1, 1},
        {17, 29, 17, 30},
    };
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "wide vectors" : "baseline vectors");
        wide_vectors_allowed = wide;
        for (const auto& size : sizes)
            for (int depth : {8, 24, 32})
                expect_area_definition(size[0], size[1], size[2], size[3], depth);
    }
    wide_vectors_allowed = true;
}

TEST(AreaResample, LargeAreasKeepTheirSumsWhole)
{
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "wide vectors" : "baseline vectors");
        wide_vectors_allowed = wide;
        for (bool bright : {false, true}) {
            expect_area_definition(257, 2, 1, 2, 24, bright);  // area 257: the widest 16-bit sums
            expect_area_definition(258, 2, 1, 2, 24, bright);  // 258: 32-bit sums
            expect_area_definition(138, 3, 1, 3, 32, bright);  // no reciprocal: whole division
            expect_area_definition(150, 301, 3, 2, 24, bright); // tall rows and no reciprocal
            expect_area_definition(5, 301, 5, 2, 24, bright);   // vertical coverages past 16 bits
            expect_area_definition(301, 5, 2, 5, 32, bright);   // fractional, wide coverages
            expect_area_definition(257, 2, 1, 2, 8, bright);    // one sample per pixel alike
            expect_area_definition(150, 301, 3, 2, 8, bright);
        }
        // An area of 2900 * 2900: sums past 32 bits.
        expect_area_definition(2900, 2900, 3, 3, 24);
    }
    wide_vectors_allowed = true;
}

} // namespace
} // namespace pictavo
