// SPDX-License-Identifier: GPL-3.0-or-later
// The lossy palette: a true-colour or alpha image becomes a palette PNG with its alpha in tRNS,
// close to the image; an image no palette can hold well enough is written as without it.
#include "image/image_load.h"
#include "image/image_save.h"
#include "image_test_support.h"
#include "png_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <thread>

namespace pictavo {
namespace {

using Pixel = std::array<int, 4>;
using Bytes = std::vector<std::uint8_t>;

Bytes encode(const ImageObject& image, const EncodeOptions& options, EncodeOutcome* outcome = nullptr)
{
    Bytes bytes;
    EXPECT_EQ(image_encode(image, IMAGE_CODE_PNG, 6, options, bytes, outcome), ImageError::None);
    return bytes;
}

EncodeOptions lossy(int colours = PALETTE_COLOURS_MAXIMUM, int floor = PALETTE_QUALITY_FLOOR, bool optimize = false)
{
    EncodeOptions options;
    options.lossy_palette = true;
    options.palette_colours = colours;
    options.palette_quality_floor = floor;
    options.optimize = optimize;
    return options;
}

ImageObject decoded(const Bytes& file)
{
    ImageObject image;
    EXPECT_EQ(image_decode(file.data(), file.size(), image), ImageError::None);
    return image;
}

Pixel pixel(const ImageObject& image, int x, int y)
{
    const std::uint8_t* p = image.pixels.image_row(y) + x * image.pixels.bytes_per_pixel();
    return {p[0], p[1], p[2], image.pixels.depth() == 32 ? p[3] : 255};
}

// Peak signal-to-noise ratio in dB over colour premultiplied by alpha (the colour of a
// transparent pixel cannot be seen) and alpha.
double psnr(const ImageObject& a, const ImageObject& b)
{
    double squares = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const Pixel p = pixel(a, x, y), q = pixel(b, x, y);
            for (int c = 0; c < 3; ++c) {
                const double difference = (p[c] * p[3] - q[c] * q[3]) / 255.0;
                squares += difference * difference;
            }
            squares += (p[3] - q[3]) * (p[3] - q[3]);
        }
    return 10 * std::log10(255.0 * 255.0 * 4 * a.width * a.height / std::max(squares, 1.0));
}

// A soft picture: smooth colour gradients on a transparent background with soft edges.
ImageObject& make_sticker(ImageNumber number, int depth = 32)
{
    return test::make_image(number, 80, 60, depth, depth, [](int x, int y) {
        const double distance = std::hypot(x - 40.0, y - 30.0);
        const int alpha = std::clamp(static_cast<int>((28 - distance) * 40), 0, 255);
        return Pixel{(x * 3) % 256, 100 + y, 255 - x * 2, alpha};
    });
}

ImageObject& make_noise(ImageNumber number, int source_depth)
{
    return test::make_image(number, 48, 32, 24, source_depth, [](int x, int y) {
        const unsigned hash = static_cast<unsigned>(x) * 73856093u ^ static_cast<unsigned>(y) * 19349663u;
        return Pixel{static_cast<int>(hash % 256), static_cast<int>(hash / 256 % 256), static_cast<int>(hash / 65536 % 256), 255};
    });
}

TEST(LossyPalette, AlphaImageBecomesACloseDitheredPaletteWithTransparency)
{
    test::CodecsRegistered registered;
    const ImageObject& image = make_sticker(0);
    const Bytes plain = encode(image, {});
    EncodeOutcome outcome;
    const Bytes file = encode(image, lossy(), &outcome);
    const test::PngLayout layout = test::png_layout(file);
    EXPECT_EQ(layout.colour_type, 3);
    EXPECT_EQ(layout.bit_depth, 8);
    const auto chunks = test::png_chunks(file);
    const auto transparency = std::find_if(chunks.begin(), chunks.end(), [](const auto& c) { return c.type == "tRNS"; });
    ASSERT_NE(transparency, chunks.end());
    EXPECT_LT(transparency->data.size(), layout.palette.size() / 3);
    EXPECT_TRUE(outcome.lossy_palette);
    EXPECT_EQ(static_cast<std::size_t>(outcome.palette_colours) * 3, layout.palette.size());
    EXPECT_GE(outcome.palette_quality, PALETTE_QUALITY_FLOOR);
    EXPECT_LT(file.size(), plain.size());

    const ImageObject original = decoded(plain), quantized = decoded(file);
    EXPECT_GT(psnr(original, quantized), 30.0);
    EXPECT_EQ(pixel(quantized, 0, 0)[3], 0);     // the transparent background stays so
    EXPECT_EQ(pixel(quantized, 40, 30)[3], 255);  // and the opaque middle opaque

    // With optimize too: the smallest bit depth and a smaller file with the same pixels.
    const Bytes smallest = encode(image, lossy(PALETTE_COLOURS_MAXIMUM, PALETTE_QUALITY_FLOOR, true));
    EXPECT_LE(smallest.size(), file.size());
    EXPECT_EQ(psnr(quantized, decoded(smallest)), psnr(quantized, quantized));
    image_free(0);
}

TEST(LossyPalette, FewerColoursGiveAtMostThatManyAtTheSmallestDepth)
{
    test::CodecsRegistered registered;
    const ImageObject& image = make_sticker(0);
    struct Case {
        int colours, bit_depth;
    };
    for (const Case c : {Case{2, 1}, Case{4, 2}, Case{12, 4}, Case{40, 8}}) {
        EncodeOutcome outcome;
        const Bytes file = encode(image, lossy(c.colours, 0, true), &outcome);
        const test::PngLayout layout = test::png_layout(file);
        EXPECT_LE(layout.palette.size(), 3u * static_cast<std::size_t>(c.colours)) << c.colours;
        EXPECT_LE(outcome.palette_colours, c.colours);
        EXPECT_EQ(layout.bit_depth, c.bit_depth) << c.colours;
        const ImageObject quantized = decoded(file);
        std::set<Pixel> colours;
        for (int y = 0; y < quantized.height; ++y)
            for (int x = 0; x < quantized.width; ++x)
                colours.insert(pixel(quantized, x, y));
        EXPECT_LE(colours.size(), static_cast<std::size_t>(c.colours)) << c.colours;
    }
    image_free(0);
}

TEST(LossyPalette, ImageBelowTheFloorIsWrittenAsWithoutIt)
{
    test::CodecsRegistered registered;
    // Random colours in two palette entries: far below any useful floor.
    const ImageObject& noise = make_noise(0, 24);
    for (const bool optimize : {false, true}) {
        EncodeOptions without = {};
        without.optimize = optimize;
        EncodeOutcome outcome;
        outcome.palette_colours = 99;
        EXPECT_EQ(encode(noise, lossy(2, PALETTE_QUALITY_FLOOR, optimize), &outcome), encode(noise, without)) << optimize;
        EXPECT_FALSE(outcome.lossy_palette);
        EXPECT_EQ(outcome.palette_colours, 0);
    }
    // A palette source falls back to its own palette form.
    const ImageObject& one_bit = make_noise(0, 1);
    EncodeOutcome outcome;
    EXPECT_EQ(encode(one_bit, lossy(PALETTE_COLOURS_MAXIMUM, 100), &outcome), encode(one_bit, {}));
    EXPECT_FALSE(outcome.lossy_palette);
    EXPECT_EQ(outcome.palette_colours, 2);
    image_free(0);
}

TEST(LossyPalette, PaletteSourceGetsAtMostItsDepthsColours)
{
    test::CodecsRegistered registered;
    for (const int depth : {1, 4, 8}) {
        SCOPED_TRACE(depth);
        const ImageObject& image = make_sticker(0, 24);
        image_lookup(0)->source_depth = static_cast<std::int8_t>(depth);
        EncodeOutcome outcome;
        const Bytes plain = encode(image, {});
        const Bytes file = encode(image, lossy(PALETTE_COLOURS_MAXIMUM, 0), &outcome);
        const test::PngLayout layout = test::png_layout(file);
        EXPECT_EQ(layout.colour_type, 3);
        EXPECT_EQ(layout.bit_depth, depth);
        EXPECT_LE(layout.palette.size(), 3u << depth);
        EXPECT_TRUE(outcome.lossy_palette);
        EXPECT_NE(file, plain);
        // The libimagequant palette keeps the picture at least as close as the program's own.
        EXPECT_GE(psnr(image, decoded(file)), psnr(image, decoded(plain)));
    }
    image_free(0);
}

TEST(LossyPalette, SameBytesOnEveryThread)
{
    test::CodecsRegistered registered;
    const ImageObject& image = make_sticker(0);
    const Bytes expected = encode(image, lossy(64, 0, true));
    std::vector<Bytes> results(3);
    std::vector<std::thread> threads;
    for (Bytes& result : results)
        threads.emplace_back([&] { image_encode(image, IMAGE_CODE_PNG, 6, lossy(64, 0, true), result); });
    for (std::thread& thread : threads)
        thread.join();
    for (const Bytes& result : results)
        EXPECT_EQ(result, expected);
    image_free(0);
}

} // namespace
} // namespace pictavo
