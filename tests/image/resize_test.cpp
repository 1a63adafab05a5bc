// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_resize.h"
#include "image/vector_dispatch.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace pictavo {
namespace {

using test::make_image;
using test::pixel_at;
using test::set_pixel;

class ImageResize : public ::testing::Test {
protected:
    void TearDown() override { image_free(IMAGE_ANY); }
};

std::vector<std::uint8_t> bytes_of(const PixelBuffer& pixels)
{
    return {pixels.data(), pixels.data() + pixels.size_bytes()};
}

// Coverage-weighted means in double precision, computed directly from the covered areas.
std::vector<double> area_reference(PixelBuffer& source, int new_width, int new_height)
{
    const int channels = source.bytes_per_pixel();
    const double step_x = static_cast<double>(source.width()) / new_width;
    const double step_y = static_cast<double>(source.height()) / new_height;
    auto coverage = [](int k, double start, double end) {
        return std::max(0.0, std::min(end, k + 1.0) - std::max(start, static_cast<double>(k)));
    };
    std::vector<double> means;
    for (int y = 0; y < new_height; ++y)
        for (int x = 0; x < new_width; ++x)
            for (int c = 0; c < channels; ++c) {
                double sum = 0;
                for (int sy = 0; sy < source.height(); ++sy)
                    for (int sx = 0; sx < source.width(); ++sx)
                        sum += coverage(sx, x * step_x, (x + 1) * step_x) * coverage(sy, y * step_y, (y + 1) * step_y)
                            * pixel_at(source, sx, sy)[c];
                means.push_back(sum / (step_x * step_y));
            }
    return means;
}

void expect_near_area_reference(int width, int height, int new_width, int new_height)
{
    SCOPED_TRACE(testing::Message() << width << "x" << height << " -> " << new_width << "x" << new_height);
    ImageObject* image = make_image(0, width, height, 24, static_cast<unsigned>(width * 100 + new_width));
    const std::vector<double> expected = area_reference(image->pixels, new_width, new_height);
    ASSERT_NE(image_resize(0, new_width, new_height), 0u);
    std::size_t i = 0;
    for (int y = 0; y < new_height; ++y)
        for (int x = 0; x < new_width; ++x)
            for (int c = 0; c < 3; ++c, ++i)
                ASSERT_NEAR(pixel_at(image->pixels, x, y)[c], std::floor(expected[i] + 0.5), 1.0)
                    << "pixel " << x << "," << y << " channel " << c;
}

TEST_F(ImageResize, SameSizeReturnsAtOnceAndKeepsEveryByte)
{
    for (int depth : {24, 32}) {
        ImageObject* image = make_image(0, 9, 7, depth);
        const ImageHandle handle = image->pixel_handle();
        const std::vector<std::uint8_t> before = bytes_of(image->pixels);
        EXPECT_EQ(image_resize(0, 9, 7), handle);
        EXPECT_EQ(image_resize(0, IMAGE_KEEP, IMAGE_KEEP), handle);
        EXPECT_EQ(image_resize(0, 9, IMAGE_KEEP, 1), handle);
        EXPECT_EQ(image->pixel_handle(), handle);
        EXPECT_EQ(bytes_of(image->pixels), before);
    }
}

TEST_F(ImageResize, KeepScalesOneSideAndFieldsStay)
{
    ImageObject* image = make_image(0, 8, 6, 24);
    image->source_depth = 4;
    const ImageHandle handle = image_resize(0, 4, IMAGE_KEEP);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(handle, image->pixel_handle());
    EXPECT_EQ(image_width(0), 4);
    EXPECT_EQ(image_height(0), 6);
    EXPECT_EQ(image->pixels.width(), 4);
    EXPECT_EQ(image->pixels.height(), 6);
    EXPECT_EQ(image->depth, 24);
    EXPECT_EQ(image->source_depth, 4);
    EXPECT_EQ(image->plugin_code, IMAGE_CODE_JPEG);

    ASSERT_NE(image_resize(0, IMAGE_KEEP, 3, 1), 0u);
    EXPECT_EQ(image_width(0), 4);
    EXPECT_EQ(image_height(0), 3);
}

TEST_F(ImageResize, FailureLeavesTheImageAsItWas)
{
    ImageObject* image = make_image(0, 6, 5, 32);
    const ImageHandle handle = image->pixel_handle();
    const std::vector<std::uint8_t> before = bytes_of(image->pixels);
    EXPECT_EQ(image_resize(0, 0, 5), 0u);
    EXPECT_EQ(image_resize(0, 3, -2), 0u);
    EXPECT_EQ(image_resize(0, 40000, 5), 0u);
    EXPECT_EQ(image_resize(0, 3, 32768, 1), 0u);
    EXPECT_EQ(image_resize(1, 3, 3), 0u); // no image there
    image->is_icon = true;
    EXPECT_EQ(image_resize(0, 3, 3), 0u);
    EXPECT_EQ(image_resize(0, 3, 3, 1), 0u);
    EXPECT_EQ(image->pixel_handle(), handle);
    EXPECT_EQ(image_width(0), 6);
    EXPECT_EQ(image_height(0), 5);
    EXPECT_EQ(bytes_of(image->pixels), before);
}

TEST_F(ImageResize, AreaHalvingGivesBlockMeans)
{
    ImageObject* image = make_image(0, 10, 8, 24);
    PixelBuffer source = PixelBuffer::create(10, 8, 24);
    std::memcpy(source.data(), image->pixels.data(), source.size_bytes());
    ASSERT_NE(image_resize(0, 5, 4), 0u);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 3; ++c) {
                const int sum = pixel_at(source, 2 * x, 2 * y)[c] + pixel_at(source, 2 * x + 1, 2 * y)[c]
                    + pixel_at(source, 2 * x, 2 * y + 1)[c] + pixel_at(source, 2 * x + 1, 2 * y + 1)[c];
                ASSERT_EQ(pixel_at(image->pixels, x, y)[c], (sum + 2) / 4) << x << "," << y;
            }
}

TEST_F(ImageResize, AreaEnlargementWeighsCoverage)
{
    // Enlarging by a whole factor, each new pixel lies inside one old pixel: no blur.
    ImageObject* image = make_image(0, 2, 1, 24);
    set_pixel(image->pixels, 0, 0, 0, 100, 255);
    set_pixel(image->pixels, 1, 0, 255, 40, 0);
    ASSERT_NE(image_resize(0, 6, 3), 0u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(pixel_at(image->pixels, x, y)[0], x < 3 ? 0 : 255) << x;

    // 2 -> 3: the middle pixel covers half of each.
    image = make_image(0, 2, 1, 24);
    set_pixel(image->pixels, 0, 0, 0, 100, 255);
    set_pixel(image->pixels, 1, 0, 255, 40, 0);
    ASSERT_NE(image_resize(0, 3, 1), 0u);
    const std::uint8_t* middle = pixel_at(image->pixels, 1, 0);
    EXPECT_EQ(middle[0], 128); // 127.5 rounds up
    EXPECT_EQ(middle[1], 70);
    EXPECT_EQ(middle[2], 128);
    EXPECT_EQ(pixel_at(image->pixels, 0, 0)[1], 100);
    EXPECT_EQ(pixel_at(image->pixels, 2, 0)[1], 40);

    // 3 -> 4: new pixels 1 and 2 cover a third and two thirds of two old ones.
    image = make_image(0, 1, 3, 24);
    set_pixel(image->pixels, 0, 0, 0, 0, 0);
    set_pixel(image->pixels, 0, 1, 90, 90, 90);
    set_pixel(image->pixels, 0, 2, 210, 210, 210);
    ASSERT_NE(image_resize(0, 1, 4), 0u);
    const int expected[4] = {0, 60, 130, 210};
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(pixel_at(image->pixels, 0, y)[1], expected[y]) << y;
}

TEST_F(ImageResize, AreaMatchesDoubleReference)
{
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "wide vectors" : "baseline vectors");
        wide_vectors_allowed = wide;
        expect_near_area_reference(7, 7, 3, 3);
        expect_near_area_reference(7, 5, 3, 2);
        expect_near_area_reference(37, 23, 13, 10);
        expect_near_area_reference(5, 3, 13, 7);
        expect_near_area_reference(9, 4, 4, 9);
        expect_near_area_reference(50, 3, 1, 1);
        expect_near_area_reference(5, 301, 2, 2); // coverages too large for 16-bit sums
    }
    wide_vectors_allowed = true;
}

void expect_constant_after_resize(int width, int height, int new_width, int new_height)
{
    ImageObject* image = make_image(0, width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            set_pixel(image->pixels, x, y, 7, 128, 251);
    ASSERT_NE(image_resize(0, new_width, new_height), 0u);
    for (int y = 0; y < new_height; ++y)
        for (int x = 0; x < new_width; ++x) {
            const std::uint8_t* p = pixel_at(image->pixels, x, y);
            ASSERT_TRUE(p[0] == 7 && p[1] == 128 && p[2] == 251)
                << new_width << "x" << new_height << ": " << x << "," << y;
        }
}

TEST_F(ImageResize, AreaKeepsAConstantImageAndFillsEveryRow)
{
    for (int size = 1; size <= 23; ++size)
        expect_constant_after_resize(17, 13, size, 24 - size);
    // Bright rows whose coverages add up past what 16-bit sums hold.
    expect_constant_after_resize(3, 301, 2, 2);
}

TEST_F(ImageResize, RawTakesThePixelUnderTheCentre)
{
    ImageObject* image = make_image(0, 3, 3, 32);
    const std::vector<std::uint8_t> centre(pixel_at(image->pixels, 1, 1), pixel_at(image->pixels, 1, 1) + 4);
    ASSERT_NE(image_resize(0, 1, 1, 1), 0u);
    EXPECT_EQ(std::vector<std::uint8_t>(pixel_at(image->pixels, 0, 0), pixel_at(image->pixels, 0, 0) + 4), centre);

    // Rows are matched from the top: 4 -> 2 keeps rows 1 and 3 counted from the top.
    image = make_image(0, 2, 4, 24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 2; ++x)
            set_pixel(image->pixels, x, y, static_cast<std::uint8_t>(10 * y + x), 0, 0);
    ASSERT_NE(image_resize(0, 4, 2, 7), 0u);
    const int expected[2][4] = {{10, 10, 11, 11}, {30, 30, 31, 31}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(pixel_at(image->pixels, x, y)[0], expected[y][x]) << x << "," << y;
}

// The cubic filter written out plainly from its formulas: one line of n samples to m.
std::vector<double> cubic_line_sums(const std::vector<int>& in, int m)
{
    const double b = 1.0 / 3.0;
    const double c = 1.0 / 3.0;
    auto kernel = [&](double x) {
        if (x < 1)
            return ((12 - 9 * b - 6 * c) / 6 * x + (-18 + 12 * b + 6 * c) / 6) * (x * x) + (6 - 2 * b) / 6;
        if (x < 2)
            return (((-b - 6 * c) / 6 * x + (6 * b + 30 * c) / 6) * x + (-12 * b - 48 * c) / 6) * x + (8 * b + 24 * c) / 6;
        return 0.0;
    };
    const int n = static_cast<int>(in.size());
    const double s = static_cast<double>(m) / n;
    const double r = s < 1 ? 2 / s : 2;
    const double f = s < 1 ? s : 1;
    std::vector<double> sums;
    for (int i = 0; i < m; ++i) {
        const double centre = i / s + (0.5 / s - 0.5);
        int first = std::max(0, static_cast<int>(std::floor(centre - r)));
        const int last = std::min(n - 1, static_cast<int>(std::ceil(centre + r)));
        if (last - first + 1 > 2 * std::ceil(r) + 1)
            ++first;
        std::vector<double> weights;
        double total = 0;
        for (int k = first; k <= last; ++k) {
            weights.push_back(f * kernel(std::fabs((centre - k) * f)));
            total += weights.back();
        }
        if (total > 0 && total != 1)
            for (double& w : weights)
                w /= total;
        double sum = 0;
        for (int k = first; k <= last; ++k)
            sum += weights[static_cast<std::size_t>(k - first)] * in[static_cast<std::size_t>(k)];
        sums.push_back(sum);
    }
    return sums;
}

std::vector<int> cubic_line(const std::vector<int>& in, int m)
{
    std::vector<int> out;
    for (double sum : cubic_line_sums(in, m))
        out.push_back(std::clamp(static_cast<int>(std::trunc(sum + 0.5)), 0, 255));
    return out;
}

// Samples indexed [buffer row][x * 4 + channel].
using Samples = std::vector<std::vector<int>>;

Samples horizontal_reference(const Samples& in, int new_width)
{
    Samples out;
    for (const auto& row : in) {
        std::vector<int> out_row(static_cast<std::size_t>(new_width) * 4);
        for (std::size_t c = 0; c < 4; ++c) {
            std::vector<int> line;
            for (std::size_t i = c; i < row.size(); i += 4)
                line.push_back(row[i]);
            const std::vector<int> result = cubic_line(line, new_width);
            for (std::size_t x = 0; x < result.size(); ++x)
                out_row[x * 4 + c] = result[x];
        }
        out.push_back(out_row);
    }
    return out;
}

Samples vertical_reference(const Samples& in, int new_height)
{
    Samples out(static_cast<std::size_t>(new_height), std::vector<int>(in[0].size()));
    for (std::size_t i = 0; i < in[0].size(); ++i) {
        std::vector<int> line;
        for (const auto& row : in)
            line.push_back(row[i]);
        const std::vector<int> result = cubic_line(line, new_height);
        for (std::size_t y = 0; y < result.size(); ++y)
            out[y][i] = result[y];
    }
    return out;
}

Samples cubic_reference(const PixelBuffer& source, int new_width, int new_height)
{
    Samples in;
    for (int y = 0; y < source.height(); ++y)
        in.emplace_back(source.buffer_row(y), source.buffer_row(y) + 4 * source.width());
    if (static_cast<long>(new_width) * source.height() <= static_cast<long>(source.width()) * new_height)
        return vertical_reference(horizontal_reference(in, new_width), new_height);
    return horizontal_reference(vertical_reference(in, new_height), new_width);
}

void expect_cubic_reference(ImageObject* image, int new_width, int new_height)
{
    SCOPED_TRACE(testing::Message() << image->width << "x" << image->height << " -> " << new_width << "x" << new_height);
    const Samples expected = cubic_reference(image->pixels, new_width, new_height);
    ASSERT_NE(image_resize(0, new_width, new_height), 0u);
    ASSERT_EQ(image->pixels.depth(), 32);
    for (int y = 0; y < new_height; ++y)
        for (int i = 0; i < new_width * 4; ++i)
            ASSERT_EQ(image->pixels.buffer_row(y)[i], expected[static_cast<std::size_t>(y)][static_cast<std::size_t>(i)])
                << "buffer row " << y << " byte " << i;
}

TEST_F(ImageResize, CubicMatchesPlainReferenceExactly)
{
    const int sizes[][2] = {{50, 11}, {13, 40}, {74, 46}, {5, 3}, {1, 23}, {37, 1}, {200, 7}};
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "wide vectors" : "baseline vectors");
        wide_vectors_allowed = wide;
        for (const auto& size : sizes)
            expect_cubic_reference(make_image(0, 37, 23, 32, static_cast<unsigned>(size[0])), size[0], size[1]);
        // Rows much longer than the filter, shrunk and enlarged.
        expect_cubic_reference(make_image(0, 301, 6, 32), 97, 5);
        expect_cubic_reference(make_image(0, 301, 6, 32), 700, 3);
    }
    wide_vectors_allowed = true;
}

TEST_F(ImageResize, CubicExtremeShrinkMatchesReference)
{
    // So many rows feed the one output row that they are not all converted up front.
    expect_cubic_reference(make_image(0, 32, 20000, 32), 32, 1);
}

TEST_F(ImageResize, CubicSinglePixelIsCopied)
{
    ImageObject* image = make_image(0, 1, 1, 32);
    set_pixel(image->pixels, 0, 0, 10, 200, 33, 77);
    ASSERT_NE(image_resize(0, 3, 3), 0u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const std::uint8_t* p = pixel_at(image->pixels, x, y);
            EXPECT_TRUE(p[0] == 10 && p[1] == 200 && p[2] == 33 && p[3] == 77) << x << "," << y;
        }
}

TEST_F(ImageResize, CubicClipsOvershootAtAHardEdge)
{
    ImageObject* image = make_image(0, 8, 2, 32);
    std::vector<int> edge;
    for (int x = 0; x < 8; ++x) {
        const std::uint8_t value = x < 4 ? 0 : 255;
        edge.push_back(value);
        for (int y = 0; y < 2; ++y)
            set_pixel(image->pixels, x, y, value, value, value, 255);
    }
    // The filter's negative lobes take the unclipped sums past both ends.
    const std::vector<double> sums = cubic_line_sums(edge, 16);
    ASSERT_GT(*std::max_element(sums.begin(), sums.end()), 255.5);
    ASSERT_LT(*std::min_element(sums.begin(), sums.end()), -0.5);

    ASSERT_NE(image_resize(0, 16, 4), 0u);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(pixel_at(image->pixels, 0, y)[1], 0);
        EXPECT_EQ(pixel_at(image->pixels, 15, y)[1], 255);
        for (int x = 1; x < 16; ++x)
            EXPECT_LE(pixel_at(image->pixels, x - 1, y)[1], pixel_at(image->pixels, x, y)[1]) << x << "," << y;
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(pixel_at(image->pixels, x, y)[3], 255);
    }
}

TEST_F(ImageResize, CubicDoesNotWeighColourByAlpha)
{
    ImageObject* image = make_image(0, 5, 5, 32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            set_pixel(image->pixels, x, y, 255, 255, 255, 255);
    set_pixel(image->pixels, 2, 2, 0, 0, 255, 0); // transparent red
    const Samples expected = cubic_reference(image->pixels, 10, 10);
    ASSERT_NE(image_resize(0, 10, 10), 0u);
    // An output near the transparent pixel takes on its red, not just its transparency.
    const std::uint8_t* near = pixel_at(image->pixels, 4, 4);
    EXPECT_LT(near[0], 200);
    EXPECT_LT(near[1], 200);
    EXPECT_EQ(near[2], 255);
    EXPECT_LT(near[3], 200);
    EXPECT_EQ(std::vector<int>(near, near + 4), std::vector<int>(expected[5].begin() + 16, expected[5].begin() + 20));
}

} // namespace
} // namespace pictavo
