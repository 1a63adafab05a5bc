// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_save.h"
#include "image_test_support.h"
#include "test_folder.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

using Pixel = std::array<int, 4>;
constexpr Pixel black = {0, 0, 0, 255};
constexpr Pixel white = {255, 255, 255, 255};

void put16(std::vector<std::uint8_t>& bytes, std::size_t at, unsigned value)
{
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    put16(bytes, at, value & 0xFFFF);
    put16(bytes, at + 2, value >> 16);
}

// A BMP with a 40-byte info header, the colour table (blue, green, red, 0 per entry) and
// the pixel bytes as given (rows already padded by the caller).
std::vector<std::uint8_t> make_bmp(int width, int height, int bits, std::uint32_t compression,
                                   const std::vector<Pixel>& palette, const std::vector<std::uint8_t>& pixels)
{
    std::vector<std::uint8_t> bytes(54 + 4 * palette.size());
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(bytes, 2, static_cast<std::uint32_t>(bytes.size() + pixels.size()));
    put32(bytes, 10, static_cast<std::uint32_t>(bytes.size()));
    put32(bytes, 14, 40);
    put32(bytes, 18, static_cast<std::uint32_t>(width));
    put32(bytes, 22, static_cast<std::uint32_t>(height));
    put16(bytes, 26, 1);
    put16(bytes, 28, static_cast<unsigned>(bits));
    put32(bytes, 30, compression);
    for (std::size_t i = 0; i < palette.size(); ++i)
        for (std::size_t c = 0; c < 3; ++c)
            bytes[54 + 4 * i + c] = static_cast<std::uint8_t>(palette[i][c]);
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    return bytes;
}

ImageObject* load(const std::vector<std::uint8_t>& bytes)
{
    if (!image_load_memory(0, bytes.data(), bytes.size()))
        return nullptr;
    return image_lookup(0);
}

// Image rows top first.
std::vector<std::vector<Pixel>> rows_of(int width, int height)
{
    std::vector<std::vector<Pixel>> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rows[static_cast<std::size_t>(y)].push_back(test::pixel_at(0, x, y));
    return rows;
}

const std::vector<Pixel> palette = {{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}, {1, 2, 3, 0}};

TEST(BmpDecoder, EachBitDepthFollowsItsRule)
{
    // Two rows of 3 pixels; the bottom row is stored first, every row padded to 4 bytes.
    struct Case {
        int bits;
        std::uint32_t compression;
        std::vector<std::uint8_t> pixels;
        std::vector<std::vector<Pixel>> expected;  // top row first
    };
    const Pixel c0 = {10, 20, 30, 255}, c1 = {40, 50, 60, 255}, c2 = {70, 80, 90, 255}, c3 = {1, 2, 3, 255};
    const std::vector<Case> cases = {
        // The colour table is not used for 1 bit: set bits are white.
        {1, 0, {0b10100000, 0, 0, 0, 0b01000000, 0, 0, 0}, {{black, white, black}, {white, black, white}}},
        {4, 0, {0x01, 0x20, 0, 0, 0x32, 0x10, 0, 0}, {{c3, c2, c1}, {c0, c1, c2}}},
        {8, 0, {0, 1, 2, 0, 3, 3, 0, 0}, {{c3, c3, c0}, {c0, c1, c2}}},
        {8, 2, {0, 1, 2, 0, 3, 3, 0, 0}, {{c3, c3, c0}, {c0, c1, c2}}},
        // 5-5-5: blue in the low bits, each channel shifted up by 3.
        {16, 0, {0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0, 0, 0x21, 0x04, 0xFF, 0x7F, 0, 0, 0, 0},
         {{{8, 8, 8, 255}, {248, 248, 248, 255}, black}, {{248, 0, 0, 255}, {0, 248, 0, 255}, {0, 0, 248, 255}}}},
        // 5-6-5 (compression 3; the masks in the file are not read).
        {16, 3, {0x1F, 0x00, 0xE0, 0x07, 0x00, 0xF8, 0, 0, 0x41, 0x08, 0xFF, 0xFF, 0, 0, 0, 0},
         {{{8, 8, 8, 255}, {248, 252, 248, 255}, black}, {{248, 0, 0, 255}, {0, 252, 0, 255}, {0, 0, 248, 255}}}},
        {24, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0},
         {{{9, 8, 7, 255}, {6, 5, 4, 255}, {3, 2, 1, 255}}, {{1, 2, 3, 255}, {4, 5, 6, 255}, {7, 8, 9, 255}}}},
        {32, 0, {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99, 9, 8, 7, 0, 6, 5, 4, 0, 3, 2, 1, 0},
         {{{9, 8, 7, 255}, {6, 5, 4, 255}, {3, 2, 1, 255}}, {{1, 2, 3, 255}, {4, 5, 6, 255}, {7, 8, 9, 255}}}},
    };
    for (const Case& c : cases) {
        const ImageObject* image = load(make_bmp(3, 2, c.bits, c.compression, palette, c.pixels));
        ASSERT_NE(image, nullptr) << c.bits;
        EXPECT_EQ(image->depth, 24);
        EXPECT_EQ(image->source_depth, c.bits);
        EXPECT_EQ(image->plugin_code, IMAGE_CODE_BMP);
        EXPECT_EQ(rows_of(3, 2), c.expected) << c.bits << " bits, compression " << c.compression;
    }
    image_free(0);
}

TEST(BmpDecoder, RunLengthDataWithMovesAndATruncatedRunStaysInsideTheImage)
{
    const Pixel c1 = {40, 50, 60, 255}, c2 = {70, 80, 90, 255}, c3 = {1, 2, 3, 255};
    const std::vector<std::uint8_t> data = {
        2, 1,           // bottom row: two of index 1
        0, 3, 2, 3, 2, 0,  // three literal indices, padded to an even count
        9, 3,           // a run past the right edge is cut there
        0, 0,           // end of line
        0, 2, 1, 1,     // move right 1 and up 1: third row from the bottom
        1, 2,
        0, 2, 0, 200,   // a move far above the image: nothing more lands
        5, 1,
        0, 0};
    const ImageObject* image = load(make_bmp(4, 4, 8, 1, palette, data));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->source_depth, 8);
    EXPECT_EQ(rows_of(4, 4), (std::vector<std::vector<Pixel>>{{black, black, black, black},
                                                              {black, c2, black, black},
                                                              {black, black, black, black},
                                                              {c1, c1, c2, c3}}));

    // Runs and literals cut off by the end of the data end the decoding.
    for (const std::vector<std::uint8_t>& truncated :
         {std::vector<std::uint8_t>{3, 2, 4}, std::vector<std::uint8_t>{3, 2, 0, 5, 1, 1}, std::vector<std::uint8_t>{3, 2, 0, 2, 1}}) {
        ASSERT_NE(load(make_bmp(4, 1, 8, 1, palette, truncated)), nullptr);
        EXPECT_EQ(rows_of(4, 1), (std::vector<std::vector<Pixel>>{{c2, c2, c2, black}}));
    }
    image_free(0);
}

TEST(BmpDecoder, KindsNotDecodedLoadBlackAtTheirSize)
{
    for (auto [bits, compression] : {std::pair{4, 2u}, std::pair{16, 1u}, std::pair{2, 0u}}) {
        const ImageObject* image = load(make_bmp(5, 3, bits, compression, palette, std::vector<std::uint8_t>(40, 0xAB)));
        ASSERT_NE(image, nullptr) << bits;
        EXPECT_EQ(image->width, 5);
        EXPECT_EQ(image->source_depth, bits);
        for (std::size_t i = 0; i < image->pixels.size_bytes(); ++i)
            ASSERT_EQ(image->pixels.data()[i], 0);
    }
    image_free(0);
}

TEST(BmpDecoder, TopDownBitmapsAreDecodedUpright)
{
    auto bytes = make_bmp(1, 2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0});
    put32(bytes, 22, static_cast<std::uint32_t>(-2));
    ASSERT_NE(load(bytes), nullptr);
    EXPECT_EQ(image_height(0), 2);
    EXPECT_EQ(test::pixel_at(0, 0, 0), (Pixel{1, 2, 3, 255}));
    EXPECT_EQ(test::pixel_at(0, 0, 1), (Pixel{4, 5, 6, 255}));
    image_free(0);
}

TEST(BmpDecoder, HostileHeadersAreRefusedOrReadSafely)
{
    const auto good = make_bmp(3, 2, 8, 0, palette, {0, 1, 2, 0, 3, 3, 0, 0});
    auto bad = good;
    put32(bad, 18, 32768);  // too wide
    EXPECT_EQ(load(bad), nullptr);
    bad = good;
    put32(bad, 22, 0);
    EXPECT_EQ(load(bad), nullptr);
    bad = good;
    put32(bad, 14, 0xFFFFFF00);  // info header larger than the data
    EXPECT_EQ(load(bad), nullptr);
    bad = good;
    put32(bad, 14, 12);  // the old 12-byte header keeps its fields elsewhere
    EXPECT_EQ(load(bad), nullptr);
    bad = good;
    bad[6] = 1;  // reserved word
    EXPECT_EQ(load(bad), nullptr);
    EXPECT_EQ(load(std::vector<std::uint8_t>(good.begin(), good.begin() + 40)), nullptr);

    // Pixel data that starts beyond the end of the file is refused; a colour table or rows
    // partly outside the data leave the missing parts black.
    bad = good;
    put32(bad, 10, 0xFFFFFFF0);
    EXPECT_EQ(load(bad), nullptr);
    put32(bad, 10, static_cast<std::uint32_t>(bad.size()));
    EXPECT_EQ(load(bad), nullptr);
    bad = make_bmp(2, 1, 8, 0, {}, {0, 255, 0, 0});
    ASSERT_NE(load(bad), nullptr);
    EXPECT_EQ(test::pixel_at(0, 1, 0), black);
    bad = make_bmp(2, 2, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0});  // the top row is missing
    ASSERT_NE(load(bad), nullptr);
    EXPECT_EQ(test::pixel_at(0, 1, 1), (Pixel{4, 5, 6, 255}));
    EXPECT_EQ(test::pixel_at(0, 0, 0), black);
    image_free(0);
}

TEST(BmpDecoder, SampleFilesMatchTheirStoredBytes)
{
    for (const char* name : {"bmp/shira_bird8.bmp", "bmp/vgl_6434_0018a.bmp", "bmp/vgl_6548_0026a.bmp"}) {
        const auto bytes = test::read_bytes(test::testdata(name));
        ASSERT_NE(load(bytes), nullptr) << name;
        const int width = image_width(0), height = image_height(0);
        const std::size_t stride = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
        for (int y = 0; y < height; y += 5)
            for (int x = 0; x < width; x += 3) {
                const std::uint8_t* stored = &bytes[54 + static_cast<std::size_t>(height - 1 - y) * stride + 3 * static_cast<std::size_t>(x)];
                ASSERT_EQ(test::pixel_at(0, x, y), (Pixel{stored[0], stored[1], stored[2], 255})) << name;
            }
    }
    image_free(0);
}

} // namespace
} // namespace pictavo
