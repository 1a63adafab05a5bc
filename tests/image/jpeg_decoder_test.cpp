// SPDX-License-Identifier: GPL-3.0-or-later
#include "image_test_support.h"
#include "jpeg_test_support.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace pictavo {
namespace {

using test::RawJpeg;

// A smooth pattern with some colour in every channel.
std::vector<std::uint8_t> pattern(int width, int height, int components)
{
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                samples.push_back(static_cast<std::uint8_t>((x * 7 + y * 3 + c * 60) % 256));
    return samples;
}

TEST(JpegDecoder, SampleFilesLoadAsRgbWithSourceDepth24)
{
    test::CodecsRegistered registered;
    const auto bytes = test::read_bytes(test::testdata("jpeg/testorig.jpg"));
    ASSERT_NE(image_load_memory(0, bytes.data(), bytes.size()), 0u);
    const ImageObject& image = *image_lookup(0);
    EXPECT_EQ(image.width, 227);
    EXPECT_EQ(image.height, 149);
    EXPECT_EQ(image.depth, 24);
    EXPECT_EQ(image.source_depth, 24);
    EXPECT_EQ(image.plugin_code, IMAGE_CODE_JPEG);
    const RawJpeg raw = test::read_jpeg(bytes, JCS_RGB);
    // Every pixel equals the library's own RGB output: decoding in place as blue, green, red
    // must not change a single sample.
    for (int y = 0; y < raw.height; ++y)
        for (int x = 0; x < raw.width; ++x) {
            const std::uint8_t* rgb = &raw.samples[static_cast<std::size_t>((y * raw.width + x) * 3)];
            ASSERT_EQ(test::pixel_at(0, x, y), (std::array<int, 4>{rgb[2], rgb[1], rgb[0], 255})) << x << "," << y;
        }

    // The arithmetic-coded and the restart-interval versions of the same picture decode
    // (the library supports arithmetic decoding) to one image, close to the baseline one.
    ASSERT_NE(image_load(2, test::testdata("jpeg/testimgari.jpg")), 0u);
    ASSERT_NE(image_load(3, test::testdata("jpeg/testimgint.jpg")), 0u);
    const PixelBuffer& arithmetic = image_lookup(2)->pixels;
    const PixelBuffer& restarts = image_lookup(3)->pixels;
    ASSERT_EQ(arithmetic.size_bytes(), image.pixels.size_bytes());
    ASSERT_EQ(restarts.size_bytes(), image.pixels.size_bytes());
    EXPECT_EQ(std::memcmp(arithmetic.data(), restarts.data(), restarts.size_bytes()), 0);
    long difference = 0;
    for (std::size_t i = 0; i < image.pixels.size_bytes(); ++i)
        difference += std::abs(arithmetic.data()[i] - image.pixels.data()[i]);
    EXPECT_LT(difference, static_cast<long>(image.pixels.size_bytes()));
    image_free(IMAGE_ANY);
}

TEST(JpegDecoder, UnsupportedAndBrokenStreamsFailCleanly)
{
    test::CodecsRegistered registered;
    ASSERT_NE(image_load(0, test::testdata("jpeg/testorig.jpg")), 0u);
    EXPECT_EQ(image_load(0, test::testdata("jpeg/monkey12.jpg")), 0u);  // 12-bit samples
    EXPECT_EQ(image_width(0), 0);

    const std::uint8_t only_start[] = {0xFF, 0xD8};
    EXPECT_EQ(image_load_memory(0, only_start, sizeof only_start), 0u);
    const std::uint8_t garbage[] = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02, 0x12, 0x34, 0x56};
    EXPECT_EQ(image_load_memory(0, garbage, sizeof garbage), 0u);

    // A few hundred bytes that promise 32767 x 32767 pixels (baseline, progressive, and
    // progressive arithmetic-coded) are refused at once instead of being decoded as filler
    // into gigabytes of buffers.
    for (auto [progressive, arithmetic] : {std::pair{false, false}, std::pair{true, false}, std::pair{true, true}}) {
        auto jpeg = test::write_jpeg(pattern(16, 16, 3), 16, 16, JCS_RGB, 3, JCS_YCbCr, progressive, arithmetic);
        const std::uint8_t marker = arithmetic ? 0xCA : progressive ? 0xC2 : 0xC0;
        std::size_t frame = 0;
        while (frame + 9 < jpeg.size() && !(jpeg[frame] == 0xFF && jpeg[frame + 1] == marker))
            ++frame;
        ASSERT_LT(frame + 9, jpeg.size());
        for (std::size_t i = frame + 5; i < frame + 9; ++i)
            jpeg[i] = (i - frame) % 2 ? 0x7F : 0xFF;
        EXPECT_EQ(image_load_memory(0, jpeg.data(), jpeg.size()), 0u) << progressive << arithmetic;
    }
}

TEST(JpegDecoder, FuzzFindingsEndQuickly)
{
    test::CodecsRegistered registered;
    // A 168-byte CMYK stream whose frame promises 20481 x 5120 pixels (it took 19 s to decode),
    // and an arithmetic-coded one of 175 bytes that claims 25364 x 25443 pixels.
    for (auto [name, reason] : {std::pair{"jpeg/huge-frame-few-bytes.jpg", ImageError::CutOff},
                                std::pair{"jpeg/arithmetic-huge-frame.jpg", ImageError::TooManyPixels}}) {
        const auto bytes = test::read_bytes(test::testdata(name));
        ASSERT_FALSE(bytes.empty());
        ImageObject image;
        EXPECT_EQ(image_decode(bytes.data(), bytes.size(), image), reason) << name;
        EXPECT_FALSE(image.holds_image());
    }
}

TEST(JpegDecoder, DataThatEndsBeforeTheLastRowsIsCutOffButAMissingEndMarkerIsNot)
{
    test::CodecsRegistered registered;
    const std::vector<std::uint8_t> progressive =
        test::write_jpeg(pattern(67, 45, 3), 67, 45, JCS_RGB, 3, JCS_YCbCr, true);
    for (const auto& [what, bytes] :
         {std::pair{"baseline", test::read_bytes(test::testdata("jpeg/testorig.jpg"))},
          std::pair{"arithmetic", test::read_bytes(test::testdata("jpeg/testimgari.jpg"))},
          std::pair{"progressive", progressive}}) {
        SCOPED_TRACE(what);
        ASSERT_EQ(bytes[bytes.size() - 2], 0xFF);
        ASSERT_EQ(bytes[bytes.size() - 1], 0xD9);
        ImageObject whole, without_end, cut;
        ASSERT_EQ(image_decode(bytes.data(), bytes.size(), whole), ImageError::None);
        ASSERT_EQ(image_decode(bytes.data(), bytes.size() - 2, without_end), ImageError::None);
        ASSERT_EQ(without_end.pixels.size_bytes(), whole.pixels.size_bytes());
        EXPECT_EQ(std::memcmp(without_end.pixels.data(), whole.pixels.data(), whole.pixels.size_bytes()), 0);
        EXPECT_EQ(image_decode(bytes.data(), bytes.size() / 2, cut), ImageError::CutOff);
        EXPECT_FALSE(cut.holds_image());
        EXPECT_EQ(image_decode(bytes.data(), bytes.size() * 3 / 4, cut), ImageError::CutOff);
    }
}

TEST(JpegDecoder, GreyscaleGivesEqualChannelsAndSourceDepth24)
{
    test::CodecsRegistered registered;
    const auto jpeg = test::write_jpeg(pattern(40, 24, 1), 40, 24, JCS_GRAYSCALE, 1, JCS_GRAYSCALE);
    ASSERT_NE(image_load_memory(0, jpeg.data(), jpeg.size()), 0u);
    EXPECT_EQ(image_lookup(0)->source_depth, 24);
    EXPECT_EQ(image_lookup(0)->depth, 24);
    const RawJpeg grey = test::read_jpeg(jpeg, JCS_GRAYSCALE);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) {
            const int g = grey.samples[static_cast<std::size_t>(y * 40 + x)];
            ASSERT_EQ(test::pixel_at(0, x, y), (std::array<int, 4>{g, g, g, 255}));
        }
    image_free(0);
}

TEST(JpegDecoder, CmykAndYcckBecomeRgbByMultiplyingWithBlack)
{
    test::CodecsRegistered registered;
    for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
        const auto jpeg = test::write_jpeg(pattern(32, 16, 4), 32, 16, JCS_CMYK, 4, stored);
        ASSERT_NE(image_load_memory(0, jpeg.data(), jpeg.size()), 0u);
        EXPECT_EQ(image_lookup(0)->source_depth, 32);
        EXPECT_EQ(image_lookup(0)->depth, 24);
        const RawJpeg cmyk = test::read_jpeg(jpeg, JCS_CMYK);
        ASSERT_EQ(cmyk.components, 4);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x) {
                const std::uint8_t* s = &cmyk.samples[static_cast<std::size_t>((y * 32 + x) * 4)];
                const std::array<int, 4> expected = {s[2] * s[3] / 255, s[1] * s[3] / 255, s[0] * s[3] / 255, 255};
                ASSERT_EQ(test::pixel_at(0, x, y), expected) << x << "," << y;
            }
    }
    image_free(0);
}

TEST(ImageLoad, FormatIsChosenByContentNotByName)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    test::write_bytes(folder.path("photo.jpg"), test::read_bytes(test::testdata("png/pngsuite/basn2c08.png")));
    ASSERT_NE(image_load(0, folder.path("photo.jpg")), 0u);
    EXPECT_EQ(image_lookup(0)->plugin_code, IMAGE_CODE_PNG);
    test::write_bytes(folder.path("picture.png"), test::read_bytes(test::testdata("jpeg/testorig.jpg")));
    ASSERT_NE(image_load(0, folder.path("picture.png")), 0u);
    EXPECT_EQ(image_lookup(0)->plugin_code, IMAGE_CODE_JPEG);
    image_free(0);
}

} // namespace
} // namespace pictavo
