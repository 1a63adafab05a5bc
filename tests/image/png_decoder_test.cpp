// SPDX-License-Identifier: GPL-3.0-or-later
// PNG decoding checked against a plain libpng read without transformations: the expected
// pixel values are worked out here from the stored samples, palette and tRNS chunk.
#include "image_test_support.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <png.h>

namespace pictavo {
namespace {

struct RawPng {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0, height = 0;
    int colour_type = 0, bit_depth = 0, interlace = 0;
    png_bytepp rows = nullptr;
    png_colorp palette = nullptr;
    int palette_size = 0;
    png_bytep trns_alpha = nullptr;
    int trns_count = 0;
    png_color_16p trns_colour = nullptr;
    bool has_trns = false;

    RawPng() = default;
    RawPng(const RawPng&) = delete;
    RawPng& operator=(const RawPng&) = delete;
    ~RawPng()
    {
        if (png)
            png_destroy_read_struct(&png, &info, nullptr);
    }

    // Stored sample c of pixel x in row y, at its own bit depth.
    unsigned sample(png_uint_32 x, png_uint_32 y, int c, int channels) const
    {
        const png_bytep row = rows[y];
        const std::size_t index = static_cast<std::size_t>(x) * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c);
        if (bit_depth == 16)
            return static_cast<unsigned>(row[2 * index] << 8 | row[2 * index + 1]);
        if (bit_depth == 8)
            return row[index];
        const std::size_t per_byte = 8 / static_cast<std::size_t>(bit_depth);
        const int shift = 8 - bit_depth * static_cast<int>(index % per_byte + 1);
        return (row[index / per_byte] >> shift) & ((1u << bit_depth) - 1);
    }
    int to8(unsigned value) const
    {
        if (bit_depth == 16)
            return static_cast<int>(value >> 8);
        return static_cast<int>(value * 255 / ((1u << bit_depth) - 1));
    }

    // Blue, green, red, alpha.
    std::array<int, 4> expected(png_uint_32 x, png_uint_32 y) const
    {
        switch (colour_type) {
        case PNG_COLOR_TYPE_GRAY: {
            const unsigned v = sample(x, y, 0, 1);
            const int g = to8(v);
            return {g, g, g, has_trns && v == trns_colour->gray ? 0 : 255};
        }
        case PNG_COLOR_TYPE_GRAY_ALPHA: {
            const int g = to8(sample(x, y, 0, 2));
            return {g, g, g, to8(sample(x, y, 1, 2))};
        }
        case PNG_COLOR_TYPE_RGB: {
            const unsigned r = sample(x, y, 0, 3), g = sample(x, y, 1, 3), b = sample(x, y, 2, 3);
            const bool clear = has_trns && r == trns_colour->red && g == trns_colour->green && b == trns_colour->blue;
            return {to8(b), to8(g), to8(r), clear ? 0 : 255};
        }
        case PNG_COLOR_TYPE_RGB_ALPHA:
            return {to8(sample(x, y, 2, 4)), to8(sample(x, y, 1, 4)), to8(sample(x, y, 0, 4)), to8(sample(x, y, 3, 4))};
        default: {
            const unsigned index = sample(x, y, 0, 1);
            const png_color colour = static_cast<int>(index) < palette_size ? palette[index] : png_color{0, 0, 0};
            const int alpha = has_trns && static_cast<int>(index) < trns_count ? trns_alpha[index] : 255;
            return {colour.blue, colour.green, colour.red, alpha};
        }
        }
    }
};

void silent_warning(png_structp, png_const_charp) {}

bool read_raw(RawPng& raw, std::FILE* file)
{
    raw.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, silent_warning);
    raw.info = png_create_info_struct(raw.png);
    if (setjmp(png_jmpbuf(raw.png)))
        return false;
    png_init_io(raw.png, file);
    png_read_png(raw.png, raw.info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_get_IHDR(raw.png, raw.info, &raw.width, &raw.height, &raw.bit_depth, &raw.colour_type, &raw.interlace,
                 nullptr, nullptr);
    raw.rows = png_get_rows(raw.png, raw.info);
    png_get_PLTE(raw.png, raw.info, &raw.palette, &raw.palette_size);
    raw.has_trns = png_get_tRNS(raw.png, raw.info, &raw.trns_alpha, &raw.trns_count, &raw.trns_colour) != 0;
    return true;
}

// Source depth as defined for each colour type.
int expected_source_depth(const RawPng& raw)
{
    switch (raw.colour_type) {
    case PNG_COLOR_TYPE_RGB: return raw.has_trns ? 32 : 24;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 32;
    case PNG_COLOR_TYPE_PALETTE: return raw.has_trns ? 32 : raw.bit_depth;
    case PNG_COLOR_TYPE_GRAY: return raw.has_trns ? std::max(8, raw.bit_depth) : raw.bit_depth;
    default: return raw.bit_depth;
    }
}

std::vector<std::string> conformance_files()
{
    std::vector<std::string> files;
    for (const char* folder : {"png/pngsuite", "png/pngsuite/interlaced", "png/testpngs", "png/testpngs/png-3"})
        for (const auto& entry : std::filesystem::directory_iterator(test::testdata(folder)))
            if (entry.path().extension() == ".png")
                files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

::testing::AssertionResult matches_reference(const std::string& path)
{
    RawPng raw;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const bool read = file && read_raw(raw, file);
    if (file)
        std::fclose(file);
    if (!read)
        return ::testing::AssertionFailure() << "reference read failed";
    if (!image_load(0, path))
        return ::testing::AssertionFailure() << "does not load";
    const ImageObject& image = *image_lookup(0);
    const bool has_alpha = raw.has_trns || (raw.colour_type & PNG_COLOR_MASK_ALPHA);
    if (image.depth != (has_alpha ? 32 : 24) || image.source_depth != expected_source_depth(raw) ||
        image.plugin_code != IMAGE_CODE_PNG || image.width != static_cast<int>(raw.width) ||
        image.height != static_cast<int>(raw.height))
        return ::testing::AssertionFailure() << "depth " << int(image.depth) << " source depth "
                                             << int(image.source_depth) << " size " << image.width << "x" << image.height;
    for (png_uint_32 y = 0; y < raw.height; ++y)
        for (png_uint_32 x = 0; x < raw.width; ++x)
            if (test::pixel_at(0, static_cast<int>(x), static_cast<int>(y)) != raw.expected(x, y))
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs";
    return ::testing::AssertionSuccess();
}

std::vector<std::uint8_t> pixels_of(const std::string& path)
{
    EXPECT_NE(image_load(0, path), 0u) << path;
    const ImageObject& image = *image_lookup(0);
    return {image.pixels.data(), image.pixels.data() + image.pixels.size_bytes()};
}

TEST(PngDecoder, ConformanceImagesGiveStoredSamplesDepthAndSourceDepth)
{
    test::CodecsRegistered registered;
    const auto files = conformance_files();
    ASSERT_GT(files.size(), 150u);
    for (const auto& path : files)
        EXPECT_TRUE(matches_reference(path)) << path;
    image_free(0);
}

TEST(PngDecoder, InterlacedTwinsEqualNonInterlacedOnes)
{
    test::CodecsRegistered registered;
    int twins = 0;
    for (const char* folder : {"png/pngsuite", "png/pngsuite/interlaced"})
        for (const auto& entry : std::filesystem::directory_iterator(test::testdata(folder))) {
            const std::string name = entry.path().filename().string();
            if (name[0] != 'i' || entry.path().extension() != ".png")
                continue;
            const std::string twin = test::testdata(std::string("png/pngsuite/") + name.substr(1));
            EXPECT_EQ(pixels_of(entry.path().string()), pixels_of(twin)) << name;
            ++twins;
        }
    EXPECT_GE(twins, 25);
    image_free(0);
}

TEST(PngDecoder, MissingImageDataIsCutOffButAMissingTrailerIsNot)
{
    test::CodecsRegistered registered;
    for (const char* name : {"png/pngsuite/basn6a08.png", "png/pngsuite/ibasn6a08.png"}) {
        SCOPED_TRACE(name);
        const auto good = test::read_bytes(test::testdata(name));
        ImageObject whole;
        ASSERT_EQ(image_decode(good.data(), good.size(), whole), ImageError::None);
        // Without IEND, and with the last IDAT's CRC cut short as well: every row is there.
        for (std::size_t cut : {std::size_t{12}, std::size_t{13}}) {
            ImageObject image;
            ASSERT_EQ(image_decode(good.data(), good.size() - cut, image), ImageError::None) << cut;
            EXPECT_EQ(std::memcmp(image.pixels.data(), whole.pixels.data(), whole.pixels.size_bytes()), 0) << cut;
        }
        for (auto [cut, reason] : {std::pair{std::size_t{0}, ImageError::NotAnImage},
                                   std::pair{std::size_t{7}, ImageError::NotAnImage},
                                   std::pair{std::size_t{8}, ImageError::CutOff},
                                   std::pair{std::size_t{40}, ImageError::CutOff},
                                   std::pair{good.size() / 2, ImageError::CutOff},
                                   std::pair{good.size() - 40, ImageError::CutOff}}) {
            ImageObject image;
            EXPECT_EQ(image_decode(good.data(), cut, image), reason) << cut;
            EXPECT_FALSE(image.holds_image()) << cut;
        }
        std::vector<std::uint8_t> corrupt = good;
        corrupt[corrupt.size() / 2] ^= 0xFF;
        ImageObject image;
        EXPECT_EQ(image_decode(corrupt.data(), corrupt.size(), image), ImageError::Corrupt);
    }
}

TEST(PngDecoder, MalformedFilesFailOrLoadWithoutHarm)
{
    test::CodecsRegistered registered;
    int files = 0;
    for (const char* folder : {"png/testpngs/crashers", "png/testpngs/badpal"})
        for (const auto& entry : std::filesystem::directory_iterator(test::testdata(folder))) {
            if (image_load(0, entry.path().string())) {
                const ImageObject& image = *image_lookup(0);
                EXPECT_EQ(image.plugin_code, IMAGE_CODE_PNG);
                EXPECT_GT(image.width, 0);
            }
            ++files;
        }
    EXPECT_EQ(files, 32);
    image_free(0);
}

} // namespace
} // namespace pictavo
