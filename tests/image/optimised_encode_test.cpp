// SPDX-License-Identifier: GPL-3.0-or-later
// Lossless optimisation: the optimised file decodes to exactly the plain file's pixels, in the
// smallest exact form, and is smaller. The encoders read only pixels this program made, never
// file data, so they need no fuzz target of their own.
#include "image/image_load.h"
#include "image/image_save.h"
#include "image_test_support.h"
#include "jpeg_test_support.h"
#include "metadata_test_support.h"
#include "png_test_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace pictavo {
namespace {

using Pixel = std::array<int, 4>;
using Bytes = std::vector<std::uint8_t>;

Bytes encode(const ImageObject& image, std::uint32_t code, const EncodeOptions& options, EncodeOutcome* outcome = nullptr,
             int quality = 6)
{
    Bytes bytes;
    EXPECT_EQ(image_encode(image, code, quality, options, bytes, outcome), ImageError::None);
    return bytes;
}

EncodeOptions optimised()
{
    EncodeOptions options;
    options.optimize = true;
    return options;
}

// Every pixel as blue, green, red, alpha (255 without an alpha channel), top row first.
std::vector<Pixel> decoded_pixels(const Bytes& file)
{
    ImageObject image;
    EXPECT_EQ(image_decode(file.data(), file.size(), image), ImageError::None);
    std::vector<Pixel> pixels;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = image.pixels.image_row(y) + x * image.pixels.bytes_per_pixel();
            pixels.push_back({p[0], p[1], p[2], image.pixels.depth() == 32 ? p[3] : 255});
        }
    return pixels;
}

Bytes chunk_data(const Bytes& file, const std::string& type)
{
    for (const auto& chunk : test::png_chunks(file))
        if (chunk.type == type)
            return chunk.data;
    return {};
}

// Busy enough that no row filter makes it trivial, with a little noise as in real images.
int texture(int x, int y, int seed)
{
    return (x * (7 + seed) + y * (3 + 2 * seed) + (x * y) % (11 + seed) + ((x ^ y) & seed)) % 256;
}

TEST(OptimisedEncode, JpegIsProgressiveWithItsOwnTablesAndTheSamePixels)
{
    test::CodecsRegistered registered;
    const ImageObject& image = test::make_image(0, 96, 64, 24, 24, [](int x, int y) {
        return Pixel{texture(x, y, 1), 80 + (x + y) % 90, texture(y, x, 2), 255};
    });
    EncodeOutcome outcome;
    const Bytes plain = encode(image, IMAGE_CODE_JPEG, {});
    const Bytes optimised_file = encode(image, IMAGE_CODE_JPEG, optimised(), &outcome);
    EXPECT_EQ(plain, image_save_memory(0, IMAGE_CODE_JPEG, 6));
    EXPECT_LT(optimised_file.size(), plain.size());
    const test::RawJpeg a = test::read_jpeg(plain, JCS_RGB), b = test::read_jpeg(optimised_file, JCS_RGB);
    EXPECT_EQ(a.samples, b.samples);
    EXPECT_EQ(a.luma_table, b.luma_table);
    EXPECT_EQ(a.chroma_table, b.chroma_table);
    auto has_marker = [](const Bytes& file, std::uint8_t marker) {
        for (std::size_t i = 0; i + 1 < file.size(); ++i)
            if (file[i] == 0xFF && file[i + 1] == marker)
                return true;
        return false;
    };
    EXPECT_TRUE(has_marker(optimised_file, 0xC2));  // progressive frame
    EXPECT_FALSE(has_marker(plain, 0xC2));
    EXPECT_EQ(outcome.native_quality, 60);

    // The native quality replaces the program quality's mapping; the outcome says what was written.
    struct Case {
        int quality, native, written;
    };
    for (const Case& c : {Case{6, 0, 60}, Case{6, 37, 37}, Case{2, 100, 100}, Case{0, 0, 1}, Case{9, 250, 100}}) {
        EncodeOptions options;
        options.native_quality = c.native;
        const Bytes file = encode(image, IMAGE_CODE_JPEG, options, &outcome, c.quality);
        EXPECT_EQ(test::read_jpeg(file, JCS_RGB).luma_table, test::quality_table(c.written, 0)) << c.native;
        EXPECT_EQ(outcome.native_quality, c.written) << c.native;
        EXPECT_FALSE(outcome.lossy_palette);
    }
    image_free(0);
}

struct PngKind {
    const char* what;
    int depth, source_depth;
    std::function<Pixel(int, int)> fill;
    int colour_type, bit_depth;  // of the optimised file
    bool transparency_chunk;
    ColourProfile colour;
};

ColourProfile with_rgb_profile()
{
    ColourProfile colour;
    colour.icc = test::make_icc_profile(600, "RGB ", 3);
    colour.icc_name = "Test profile";
    return colour;
}

ColourProfile with_srgb()
{
    ColourProfile colour;
    colour.srgb_intent = 1;
    return colour;
}

std::vector<PngKind> png_kinds()
{
    const std::vector<Pixel> twelve = {{0, 0, 255, 255},   {0, 255, 0, 255},   {255, 0, 0, 255},  {9, 9, 9, 255},
                                       {200, 10, 40, 255}, {30, 90, 250, 255}, {1, 2, 3, 255},    {90, 90, 0, 255},
                                       {5, 50, 150, 255},  {70, 7, 7, 255},    {250, 250, 0, 255}, {0, 128, 64, 255}};
    const std::vector<Pixel> with_alpha = {{0, 0, 0, 0}, {10, 20, 30, 128}, {200, 0, 0, 255}, {0, 200, 0, 255}, {9, 9, 200, 64}};
    auto grey = [](int level, int alpha = 255) { return Pixel{level, level, level, alpha}; };
    auto many = [](int x, int y) { return Pixel{texture(x, y, 1), texture(y, x, 3), (x * 4 + y) % 256, 255}; };
    return {
        {"RGB, many colours", 24, 24, many, 2, 8, false, {}},
        {"RGBA, soft alpha", 32, 32, [=](int x, int y) { return Pixel{many(x, y)[0], many(x, y)[1], 40, (x * 4 + y) % 256}; },
         6, 8, false, {}},
        {"RGBA, all opaque", 32, 32, many, 2, 8, false, {}},
        {"cut-out: one colour transparent", 32, 32,
         [=](int x, int y) { return (x + y) % 7 == 0 ? Pixel{1, 2, 3, 0} : many(x, y); }, 2, 8, true, {}},
        {"twelve colours", 24, 24, [=](int x, int y) { return twelve[static_cast<std::size_t>((x / 8 + y / 8 * 3) % 12)]; },
         3, 4, false, {}},
        {"five colours with alpha", 32, 32,
         [=](int x, int y) { return with_alpha[static_cast<std::size_t>((x / 5 + y / 3) % 5)]; }, 3, 4, true, {}},
        {"two colours", 24, 24, [](int x, int y) { return (x * y) % 3 ? Pixel{255, 0, 0, 255} : Pixel{0, 0, 255, 255}; },
         3, 1, false, {}},
        {"grey, every level, sRGB", 24, 24, [=](int x, int y) { return grey((x * 4 + y * 7) % 256); }, 0, 8, false,
         with_srgb()},
        {"grey, sixteen levels", 24, 24, [=](int x, int y) { return grey(17 * ((x + y) % 16)); }, 0, 4, false, {}},
        {"grey, black and white", 32, 32, [=](int x, int y) { return grey((x / 3 + y) % 2 * 255); }, 0, 1, false, {}},
        {"grey with alpha", 32, 32, [=](int x, int y) { return grey((x * 5) % 256, (y * 9) % 256); }, 4, 8, false, {}},
        {"grey with an RGB profile stays in colour", 24, 24, [=](int x, int y) { return grey((x * 4 + y * 7) % 256); }, 3, 8,
         false, with_rgb_profile()},
    };
}

TEST(OptimisedEncode, PngOfEveryKindKeepsItsPixelsInTheSmallestExactForm)
{
    test::CodecsRegistered registered;
    for (const PngKind& kind : png_kinds()) {
        SCOPED_TRACE(kind.what);
        ImageObject& image = test::make_image(0, 64, 48, kind.depth, kind.source_depth,
                                              [&](int x, int y) { return kind.fill(x, y); });
        image.colour = kind.colour;
        EncodeOutcome outcome;
        const Bytes plain = encode(image, IMAGE_CODE_PNG, {});
        const Bytes file = encode(image, IMAGE_CODE_PNG, optimised(), &outcome);
        EXPECT_EQ(plain, image_save_memory(0, IMAGE_CODE_PNG));
        EXPECT_EQ(decoded_pixels(file), decoded_pixels(plain));
        EXPECT_LT(file.size(), plain.size());
        const test::PngLayout layout = test::png_layout(file);
        EXPECT_EQ(layout.colour_type, kind.colour_type);
        EXPECT_EQ(layout.bit_depth, kind.bit_depth);
        const Bytes transparency = chunk_data(file, "tRNS");
        EXPECT_EQ(!transparency.empty(), kind.transparency_chunk);
        if (kind.colour_type == 3) {
            EXPECT_EQ(static_cast<std::size_t>(outcome.palette_colours) * 3, layout.palette.size());
            EXPECT_LT(transparency.size(), layout.palette.size() / 3);  // opaque entries come last
        } else {
            EXPECT_EQ(outcome.palette_colours, 0);
        }
        // The colour description is the plain file's, byte for byte.
        for (const char* chunk : {"iCCP", "sRGB"})
            EXPECT_EQ(chunk_data(file, chunk), chunk_data(plain, chunk)) << chunk;
        EXPECT_EQ(chunk_data(file, "iCCP").empty(), kind.colour.icc.empty());
    }
    image_free(0);
}

TEST(OptimisedEncode, PaletteFormKeepsItsPaletteAndIndices)
{
    test::CodecsRegistered registered;
    for (const int depth : {1, 2, 4, 8}) {
        SCOPED_TRACE(depth);
        const ImageObject& image = test::make_image(0, 150, 100, 24, depth, [](int x, int y) {
            return Pixel{texture(x, y, 2), (x * 3) % 256, (y * 5) % 256, 255};
        });
        EncodeOutcome outcome;
        const Bytes plain = encode(image, IMAGE_CODE_PNG, {});
        const Bytes file = encode(image, IMAGE_CODE_PNG, optimised(), &outcome);
        const test::PngLayout plain_layout = test::png_layout(plain), layout = test::png_layout(file);
        EXPECT_EQ(layout.colour_type, 3);
        EXPECT_EQ(layout.bit_depth, depth);
        EXPECT_EQ(layout.palette, plain_layout.palette);
        EXPECT_TRUE(chunk_data(file, "tRNS").empty());
        EXPECT_EQ(decoded_pixels(file), decoded_pixels(plain));
        EXPECT_LT(file.size(), plain.size()) << plain.size();
        EXPECT_EQ(outcome.palette_colours, 1 << depth);
    }
    image_free(0);
}

} // namespace
} // namespace pictavo
