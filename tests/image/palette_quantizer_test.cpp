// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/palette_quantizer.h"

#include "image/image_object.h"
#include "image/pixel_buffer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace pictavo {
namespace {

struct Bgr {
    int blue, green, red;
};

template <class Fill>
PixelBuffer make_pixels(int width, int height, Fill fill)
{
    PixelBuffer pixels = PixelBuffer::create(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Bgr colour = fill(x, y);
            std::uint8_t* p = pixels.image_row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(colour.blue);
            p[1] = static_cast<std::uint8_t>(colour.green);
            p[2] = static_cast<std::uint8_t>(colour.red);
        }
    return pixels;
}

EncodeRequest request_for(const PixelBuffer& pixels, int depth)
{
    EncodeRequest request;
    request.pixels = pixels.data();
    request.width = pixels.width();
    request.height = pixels.height();
    request.stride = pixels.stride();
    request.flags = ROWS_BOTTOM_UP;
    request.depth = depth;
    return request;
}

int index_at(const QuantizedImage& image, int depth, int x, int y)
{
    const int per_byte = 8 / depth;
    return image.row(y)[x / per_byte] >> (8 - depth * (x % per_byte + 1)) & ((1 << depth) - 1);
}

TEST(PaletteQuantizer, OneBitUsesTheLuminanceThreshold)
{
    for (auto [grey, index] : {std::pair{255, 1}, std::pair{0, 0}, std::pair{170, 1}, std::pair{150, 0}}) {
        const PixelBuffer pixels = make_pixels(10, 3, [g = grey](int, int) { return Bgr{g, g, g}; });
        QuantizedImage result;
        ASSERT_TRUE(quantize_palette(request_for(pixels, 1), result));
        ASSERT_EQ(result.palette.size(), 2u);
        EXPECT_EQ(result.row_bytes, 2u);
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(result.row(y)[0], index ? 0xFF : 0x00) << grey;
        EXPECT_EQ(result.row(0)[1], index ? 0xC0 : 0x00) << "unused bits stay zero";
    }
    // Green weighs most: pure green (0.7152 x 255 = 182) is bright, pure red (54) is not.
    const PixelBuffer colours = make_pixels(2, 1, [](int x, int) { return x ? Bgr{0, 0, 255} : Bgr{0, 255, 0}; });
    QuantizedImage result;
    ASSERT_TRUE(quantize_palette(request_for(colours, 1), result));
    EXPECT_EQ(result.row(0)[0], 0x80);
}

TEST(PaletteQuantizer, TwoBitsPackFourIndicesFirstPixelOnTop)
{
    // Greys in stripes; the top row is one white pixel followed by black ones.
    const std::array<int, 4> greys = {0, 85, 170, 255};
    auto grey_at = [&](int x, int y) {
        if (y == 0)
            return x == 0 ? 255 : 0;
        return greys[static_cast<std::size_t>((x / 4 + y) % 4)];
    };
    const PixelBuffer pixels = make_pixels(64, 64, [&](int x, int y) {
        const int g = grey_at(x, y);
        return Bgr{g, g, g};
    });
    QuantizedImage result;
    ASSERT_TRUE(quantize_palette(request_for(pixels, 2), result));
    ASSERT_EQ(result.palette.size(), 4u);
    EXPECT_EQ(result.row_bytes, 16u);
    // Every pixel gets the entry nearest to it.
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int distance = std::abs(result.palette[static_cast<std::size_t>(index_at(result, 2, x, y))].green - grey_at(x, y));
            for (const PaletteColour& entry : result.palette)
                ASSERT_LE(distance, std::abs(entry.green - grey_at(x, y))) << x << "," << y;
        }
    const int white = index_at(result, 2, 0, 0), black = index_at(result, 2, 1, 0);
    EXPECT_NE(white, black);
    EXPECT_EQ(result.row(0)[0], white << 6 | black << 4 | black << 2 | black);
}

TEST(PaletteQuantizer, LearningIsDeterministicAndSafeForTinyImages)
{
    const PixelBuffer photo = make_pixels(97, 61, [](int x, int y) { return Bgr{x * 2, y * 4, (x * y) % 256}; });
    for (int depth : {2, 4, 8}) {
        QuantizedImage first, second;
        ASSERT_TRUE(quantize_palette(request_for(photo, depth), first));
        ASSERT_TRUE(quantize_palette(request_for(photo, depth), second));
        EXPECT_EQ(first.palette.size(), std::size_t{1} << depth);
        EXPECT_EQ(first.rows, second.rows);
        for (std::size_t i = 0; i < first.palette.size(); ++i) {
            EXPECT_EQ(first.palette[i].red, second.palette[i].red);
            EXPECT_EQ(first.palette[i].green, second.palette[i].green);
            EXPECT_EQ(first.palette[i].blue, second.palette[i].blue);
        }
        // Fewer pixels than the sampling step: the walk must stay inside the image.
        const PixelBuffer tiny = make_pixels(2, 2, [](int x, int y) { return Bgr{x * 200, y * 200, 50}; });
        QuantizedImage small;
        ASSERT_TRUE(quantize_palette(request_for(tiny, depth), small));
        EXPECT_EQ(small.palette.size(), std::size_t{1} << depth);
    }
    QuantizedImage refused;
    EXPECT_FALSE(quantize_palette(request_for(photo, 3), refused));
}

// Expected values from a separate, straightforward implementation of the learning rules. The
// image is just over 262144 pixels (every second pixel sampled) and 499 pixels wide, so 499
// divides its length and the walk steps by 491 pixels.
TEST(PaletteQuantizer, LearnedPaletteAndMappingMatchTheReference)
{
    const PixelBuffer photo = make_pixels(499, 526, [](int x, int y) {
        return Bgr{(x * 7 + (x * y) % 29) & 255, (y * 5 + x % 31) & 255, ((x + y) * 3 + (x ^ y) % 17) & 255};
    });
    QuantizedImage result;
    ASSERT_TRUE(quantize_palette(request_for(photo, 4), result));
    const std::array<std::array<int, 3>, 16> palette = {{
        {177, 23, 46}, {195, 27, 177}, {71, 29, 180}, {41, 41, 48}, {25, 87, 165}, {216, 95, 118},
        {163, 97, 214}, {109, 102, 111}, {169, 106, 34}, {35, 166, 25}, {46, 177, 196}, {214, 195, 203},
        {51, 198, 95}, {186, 203, 102}, {116, 203, 185}, {167, 207, 28},
    }};
    ASSERT_EQ(result.palette.size(), palette.size());
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const PaletteColour& colour = result.palette[i];
        EXPECT_EQ((std::array<int, 3>{colour.red, colour.green, colour.blue}), palette[i]) << "entry " << i;
    }
    const std::array<int, 16> uses = {14442, 17308, 16506, 14066, 13531, 15932, 18862, 17339,
                                      18652, 12732, 20215, 19701, 16331, 20919, 13751, 12187};
    std::array<int, 16> counted{};
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            ++counted[static_cast<std::size_t>(index_at(result, 4, x, y))];
    EXPECT_EQ(counted, uses);
}

} // namespace
} // namespace pictavo
