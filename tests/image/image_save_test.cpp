// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_save.h"
#include "image/plugins.h"
#include "image_test_support.h"
#include "jpeg_test_support.h"
#include "png_test_support.h"
#include "test_folder.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

using Pixel = std::array<int, 4>;

ImageObject& make_gradient(ImageNumber number, int width, int height, int depth, int source_depth)
{
    return test::make_image(number, width, height, depth, source_depth, [](int x, int y) {
        return Pixel{(x * 9) % 256, (y * 13) % 256, (x * y) % 256, (x * 5 + y * 3) % 256};
    });
}

std::vector<std::uint8_t> buffer_bytes(ImageNumber number)
{
    const PixelBuffer& pixels = image_lookup(number)->pixels;
    return {pixels.data(), pixels.data() + pixels.size_bytes()};
}

TEST(ImageSave, JpegQualityIsTenTimesTheClampedArgument)
{
    test::CodecsRegistered registered;
    make_gradient(0, 24, 16, 24, 24);
    for (auto [argument, quality] : {std::pair{6, 60}, std::pair{10, 100}, std::pair{11, 100}, std::pair{1, 10},
                                     std::pair{0, 0}, std::pair{-4, 0}}) {
        const auto jpeg = image_save_memory(0, IMAGE_CODE_JPEG, argument);
        ASSERT_FALSE(jpeg.empty()) << argument;
        const test::RawJpeg raw = test::read_jpeg(jpeg, JCS_RGB);
        EXPECT_EQ(raw.luma_table, test::quality_table(quality, 0)) << argument;
        EXPECT_EQ(raw.chroma_table, test::quality_table(quality, 1)) << argument;
    }
    image_free(0);
}

TEST(ImageSave, JpegFileDecodesCloseToTheImage)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    test::make_image(0, 40, 30, 24, 24, [](int x, int y) { return Pixel{x * 4, y * 6, 128, 255}; });
    const auto original = buffer_bytes(0);
    ASSERT_EQ(image_save(0, folder.path("out.jpg"), IMAGE_CODE_JPEG, 10), 1);
    EXPECT_EQ(test::read_bytes(folder.path("out.jpg")), image_save_memory(0, IMAGE_CODE_JPEG, 10));
    ASSERT_NE(image_load(2, folder.path("out.jpg")), 0u);
    const auto decoded = buffer_bytes(2);
    ASSERT_EQ(decoded.size(), original.size());
    long difference = 0;
    for (std::size_t i = 0; i < decoded.size(); ++i)
        difference += std::abs(decoded[i] - original[i]);
    EXPECT_LT(difference, 2L * static_cast<long>(decoded.size()));
    image_free(IMAGE_ANY);
}

TEST(ImageSave, ThirtyTwoBitImagesAreFlattenedOntoWhiteUnlessKeptAsAlpha)
{
    test::CodecsRegistered registered;
    const std::vector<Pixel> colours = {{0, 0, 0, 0}, {0, 0, 0, 128}, {200, 100, 10, 100}, {1, 2, 3, 255}, {90, 80, 70, 1}};
    test::make_image(0, 5, 1, 32, 32, [&](int x, int) { return colours[static_cast<std::size_t>(x)]; });

    const auto rgb = image_save_memory(0, IMAGE_CODE_PNG, 7, 24);
    ASSERT_NE(image_load_memory(2, rgb.data(), rgb.size()), 0u);
    EXPECT_EQ(image_lookup(2)->depth, 24);
    EXPECT_EQ(test::pixel_at(2, 0, 0), (Pixel{255, 255, 255, 255}));  // transparent becomes white
    EXPECT_EQ(test::pixel_at(2, 1, 0), (Pixel{127, 127, 127, 255}));  // half-transparent black
    EXPECT_EQ(test::pixel_at(2, 2, 0), (Pixel{233, 194, 158, 255}));
    EXPECT_EQ(test::pixel_at(2, 3, 0), (Pixel{1, 2, 3, 255}));
    EXPECT_EQ(test::pixel_at(2, 4, 0), (Pixel{254, 254, 254, 255}));

    // JPEG has no 32-bit form, so it always gets the flattened pixels.
    test::make_image(0, 16, 16, 32, 32, [](int, int) { return Pixel{0, 0, 0, 0}; });
    const auto jpeg = image_save_memory(0, IMAGE_CODE_JPEG, 10);
    ASSERT_NE(image_load_memory(2, jpeg.data(), jpeg.size()), 0u);
    EXPECT_EQ(test::pixel_at(2, 8, 8), (Pixel{255, 255, 255, 255}));
    image_free(IMAGE_ANY);
}

TEST(ImageSave, RgbAlphaPngKeepsEveryByte)
{
    test::CodecsRegistered registered;
    for (const char* name : {"png/pngsuite/basn6a08.png", "png/pngsuite/basn6a16.png", "png/pngsuite/ftbrn2c08.png"}) {
        ASSERT_NE(image_load(0, test::testdata(name)), 0u);
        ASSERT_EQ(image_lookup(0)->source_depth, 32);
        const auto png = image_save_memory(0, IMAGE_CODE_PNG);
        EXPECT_EQ(test::png_layout(png).colour_type, 6) << name;
        ASSERT_NE(image_load_memory(2, png.data(), png.size()), 0u);
        EXPECT_EQ(buffer_bytes(2), buffer_bytes(0)) << name;
    }
    image_free(IMAGE_ANY);
}

TEST(ImageSave, PngFilesHoldOnlyTheFourChunksAndUnfilteredRows)
{
    test::CodecsRegistered registered;
    struct Case {
        const char* name;
        int colour_type, bit_depth;
        std::size_t palette_entries;
    };
    for (const Case& c : {Case{"png/pngsuite/basn2c08.png", 2, 8, 0}, Case{"png/pngsuite/basn6a16.png", 6, 8, 0},
                          Case{"png/pngsuite/basn0g08.png", 3, 8, 256}, Case{"png/pngsuite/basn3p04.png", 3, 4, 16},
                          Case{"png/pngsuite/basn3p02.png", 3, 2, 4}, Case{"png/pngsuite/basn0g01.png", 3, 1, 2},
                          Case{"png/pngsuite/basn3p08.png", 3, 8, 256}}) {
        ASSERT_NE(image_load(0, test::testdata(c.name)), 0u);
        const auto png = image_save_memory(0, IMAGE_CODE_PNG);
        const auto chunks = test::png_chunks(png);
        const std::vector<std::string> expected_types =
            c.palette_entries ? std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}
                              : std::vector<std::string>{"IHDR", "IDAT", "IEND"};
        EXPECT_EQ(test::chunk_types(chunks), expected_types) << c.name;
        const test::PngLayout layout = test::png_layout(png);
        EXPECT_EQ(layout.colour_type, c.colour_type) << c.name;
        EXPECT_EQ(layout.bit_depth, c.bit_depth) << c.name;
        EXPECT_EQ(layout.palette.size(), 3 * c.palette_entries) << c.name;
        ASSERT_EQ(layout.scanlines.size(), (layout.row_bytes + 1) * layout.height) << c.name;
        for (std::size_t row = 0; row < layout.height; ++row)
            EXPECT_EQ(layout.scanlines[row * (layout.row_bytes + 1)], 0) << c.name << " row " << row;
    }
    image_free(0);
}

TEST(ImageSave, GreyPngBecomesAPaletteSortedByGreen)
{
    test::CodecsRegistered registered;
    ASSERT_NE(image_load(0, test::testdata("png/pngsuite/basn0g08.png")), 0u);
    const auto png = image_save_memory(0, IMAGE_CODE_PNG);
    const test::PngLayout layout = test::png_layout(png);
    ASSERT_EQ(layout.palette.size(), 768u);
    for (std::size_t i = 1; i < 256; ++i)
        EXPECT_LE(layout.palette[3 * i - 2], layout.palette[3 * i + 1]) << i;
    // 256 grey levels learned into 256 entries stay close to the original.
    ASSERT_NE(image_load_memory(2, png.data(), png.size()), 0u);
    const auto original = buffer_bytes(0), quantized = buffer_bytes(2);
    long difference = 0;
    for (std::size_t i = 0; i < original.size(); ++i)
        difference += std::abs(original[i] - quantized[i]);
    EXPECT_LT(difference, 3L * static_cast<long>(original.size()));
    // The learning has no randomness.
    EXPECT_EQ(image_save_memory(0, IMAGE_CODE_PNG), png);
    image_free(IMAGE_ANY);
}

TEST(ImageSave, OneBitOutputSplitsByLuminance)
{
    test::CodecsRegistered registered;
    const std::vector<int> greys = {0, 150, 160, 161, 170, 255};
    test::make_image(0, 6, 2, 24, 1, [&](int x, int) {
        const int g = greys[static_cast<std::size_t>(x)];
        return Pixel{g, g, g, 255};
    });
    const auto png = image_save_memory(0, IMAGE_CODE_PNG);
    const test::PngLayout layout = test::png_layout(png);
    EXPECT_EQ(layout.bit_depth, 1);
    EXPECT_EQ(layout.palette, (std::vector<std::uint8_t>{0, 0, 0, 255, 255, 255}));
    ASSERT_EQ(layout.scanlines.size(), 4u);
    EXPECT_EQ(layout.scanlines[1], 0b00011100);  // 160 itself is not above the threshold
}

TEST(ImageSave, UnsupportedDepthsAndArgumentsFailWithoutTouchingTheDisk)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    make_gradient(0, 8, 8, 24, 12);  // a source depth no output form has
    EXPECT_EQ(image_save(0, folder.path("grey.png"), IMAGE_CODE_PNG), 0);
    EXPECT_EQ(image_save(0, folder.path("grey.jpg"), IMAGE_CODE_JPEG, 6), 0);
    EXPECT_EQ(image_save(0, folder.path("grey.png"), IMAGE_CODE_PNG, 7, 3), 0);
    EXPECT_EQ(image_save(0, folder.path("grey.png"), 0x12345678, 7, 24), 0);
    EXPECT_EQ(image_save(0, "", IMAGE_CODE_PNG, 7, 24), 0);
    EXPECT_EQ(image_save(5, folder.path("none.png"), IMAGE_CODE_PNG, 7, 24), 0);
    EXPECT_EQ(image_save(0, folder.path("missing/grey.png"), IMAGE_CODE_PNG, 7, 24), 0);
    EXPECT_TRUE(folder.entries().empty());
    // An explicit depth overrides the source depth.
    EXPECT_EQ(image_save(0, folder.path("grey.png"), IMAGE_CODE_PNG, 7, 24), 1);
    EXPECT_EQ(test::png_layout(test::read_bytes(folder.path("grey.png"))).colour_type, 2);
    image_free(0);
}

TEST(ImageSave, TransparentLowDepthSourcesKeepTheirAlphaAndSixteenBitOnesSave)
{
    test::CodecsRegistered registered;
    // A grey logo on a transparent background, and the same fully opaque.
    std::vector<std::uint8_t> logo, opaque;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
            const bool inside = (x - 12) * (x - 12) + (y - 12) * (y - 12) < 64;
            logo.insert(logo.end(), {static_cast<std::uint8_t>(inside ? 60 : 255), static_cast<std::uint8_t>(inside ? 255 : 0)});
            opaque.insert(opaque.end(), {static_cast<std::uint8_t>(inside ? 60 : 255), 255});
        }
    struct Case {
        const char* what;
        std::vector<std::uint8_t> source;
        int colour_type, bit_depth;  // of the PNG written
        int corner_alpha = -1;       // of its top-left pixel, when it matters
    };
    const std::vector<Case> cases = {
        {"grey-alpha logo", test::write_png(24, 24, PNG_COLOR_TYPE_GRAY_ALPHA, 8, logo), 6, 8, 0},
        {"grey-alpha, 8 bits", test::read_bytes(test::testdata("png/pngsuite/basn4a08.png")), 6, 8},
        {"grey-alpha, 16 bits", test::read_bytes(test::testdata("png/pngsuite/basn4a16.png")), 6, 8},
        {"grey with a transparent level", test::read_bytes(test::testdata("png/pngsuite/ftbbn0g04.png")), 6, 8},
        {"opaque grey-alpha", test::write_png(24, 24, PNG_COLOR_TYPE_GRAY_ALPHA, 8, opaque), 3, 8, 255},
        {"grey, 16 bits", test::read_bytes(test::testdata("png/pngsuite/basn0g16.png")), 3, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageObject image;
        ASSERT_EQ(image_decode(c.source.data(), c.source.size(), image), ImageError::None);
        ASSERT_NE(image.source_depth, 32);
        std::vector<std::uint8_t> png;
        {
            ImageObject* numbered = image_allocate(0);
            *numbered = std::move(image);
            png = image_save_memory(0, IMAGE_CODE_PNG);
            EXPECT_FALSE(image_save_memory(0, IMAGE_CODE_JPEG, 6).empty());
        }
        const test::PngLayout layout = test::png_layout(png);
        EXPECT_EQ(layout.colour_type, c.colour_type);
        EXPECT_EQ(layout.bit_depth, c.bit_depth);
        ASSERT_NE(image_load_memory(2, png.data(), png.size()), 0u);
        // Alpha and colour come back byte for byte, a transparent background included.
        if (c.colour_type == 6) {
            EXPECT_EQ(buffer_bytes(2), buffer_bytes(0));
        }
        if (c.corner_alpha >= 0) {
            EXPECT_EQ(test::pixel_at(2, 0, 0)[3], c.corner_alpha);
        }
    }

    // A 16-bit colour source (a BMP) has no palette of its own: it is saved in true colour.
    make_gradient(0, 8, 8, 24, 16);
    EXPECT_EQ(test::png_layout(image_save_memory(0, IMAGE_CODE_PNG)).colour_type, 2);
    image_free(IMAGE_ANY);
}

bool failing_encode(const EncodeRequest&, const EncodeSink& sink)
{
    sink.write("partial", 7);
    return false;
}
const ImageEncoder failing_encoder = {0x4C494146, failing_encode, nullptr};

TEST(ImageSave, SavingReplacesAFileAndAFailedSaveLeavesTheOldOne)
{
    test::CodecsRegistered registered;
    static const bool registered_failing = (register_encoder(failing_encoder), true);
    ASSERT_TRUE(registered_failing);
    TestFolder folder;
    folder.write("out.png", "old content");
    make_gradient(0, 8, 8, 24, 24);
    ASSERT_EQ(image_save(0, folder.path("out.png"), IMAGE_CODE_PNG), 1);
    const auto written = test::read_bytes(folder.path("out.png"));
    EXPECT_EQ(written, image_save_memory(0, IMAGE_CODE_PNG));

    EXPECT_EQ(image_save(0, folder.path("out.png"), failing_encoder.code), 0);
    EXPECT_EQ(test::read_bytes(folder.path("out.png")), written);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.png"});  // no temporary file left
    image_free(0);
}

TEST(ImageSave, BmpWriterKeepsPixels)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    make_gradient(0, 7, 5, 24, 24);
    ASSERT_EQ(image_save(0, folder.path("out.bmp")), 1);
    ASSERT_NE(image_load(2, folder.path("out.bmp")), 0u);
    EXPECT_EQ(image_lookup(2)->source_depth, 24);
    EXPECT_EQ(buffer_bytes(2), buffer_bytes(0));

    make_gradient(0, 7, 5, 32, 32);
    const auto bmp = image_save_memory(0, IMAGE_CODE_BMP);
    ASSERT_EQ(bmp.size(), 54u + 4 * 7 * 5);
    EXPECT_EQ(bmp[54 + 3], image_lookup(0)->pixels.buffer_row(0)[3]);  // alpha kept
    ASSERT_NE(image_load_memory(2, bmp.data(), bmp.size()), 0u);
    EXPECT_EQ(image_lookup(2)->source_depth, 32);
    EXPECT_EQ(test::pixel_at(2, 3, 2)[2], test::pixel_at(0, 3, 2)[2]);
    image_free(IMAGE_ANY);
}

} // namespace
} // namespace pictavo
