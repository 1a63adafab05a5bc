// SPDX-License-Identifier: GPL-3.0-or-later
// Orientation: the expected upright image is worked out here from a plain libjpeg decode (or
// the PNG's own samples) and what the EXIF tag says about where stored row 0 and column 0 belong.
#include "image/exif_orientation.h"
#include "image/image_orientation.h"
#include "image_test_support.h"
#include "jpeg_test_support.h"
#include "metadata_test_support.h"
#include "png_test_support.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

struct Position {
    int x, y;
};

// Where stored pixel (x, y) of a width x height image is seen, from the meaning of each
// value: the side of the upright image that stored row 0 forms, and the end of that side
// where stored column 0 lies.
Position upright_position(int orientation, int x, int y, int width, int height)
{
    switch (orientation) {
    case 2: return {width - 1 - x, y};              // row 0 at the top, column 0 on the right
    case 3: return {width - 1 - x, height - 1 - y};  // row 0 at the bottom, column 0 on the right
    case 4: return {x, height - 1 - y};              // row 0 at the bottom, column 0 on the left
    case 5: return {y, x};                           // row 0 on the left, column 0 at the top
    case 6: return {height - 1 - y, x};              // row 0 on the right, column 0 at the top
    case 7: return {height - 1 - y, width - 1 - x};  // row 0 on the right, column 0 at the bottom
    case 8: return {y, width - 1 - x};               // row 0 on the left, column 0 at the bottom
    default: return {x, y};
    }
}

// No two pixels alike in a way that a wrong turn or mirror could hide.
std::vector<std::uint8_t> asymmetric_samples(int width, int height, int channels)
{
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                samples.push_back(static_cast<std::uint8_t>((x * 37 + y * 101 + c * 53 + x * y * 7) % 256));
    return samples;
}

struct Source {
    std::vector<std::uint8_t> file;
    std::vector<std::uint8_t> stored;  // red, green, blue (, alpha) rows, top first
    int channels;
};

Source jpeg_source(int orientation, int width, int height)
{
    const bool big_endian = orientation % 2 == 0;
    const auto file = test::write_jpeg(asymmetric_samples(width, height, 3), width, height, JCS_RGB, 3, JCS_YCbCr,
                                       false, false,
                                       {{JPEG_APP0 + 1, test::exif_app1(test::exif_block(orientation, big_endian))}});
    return {file, test::read_jpeg(file, JCS_RGB).samples, 3};
}

Source png_source(int orientation, int width, int height)
{
    test::PngExtras extras;
    extras.exif = test::exif_block(orientation, orientation % 2 == 1);
    const auto stored = asymmetric_samples(width, height, 4);
    return {test::write_png(width, height, PNG_COLOR_TYPE_RGB_ALPHA, 8, stored, extras), stored, 4};
}

TEST(ImageOrientation, EveryOrientationTurnsJpegAndPngSourcesUpright)
{
    test::CodecsRegistered registered;
    constexpr int width = 21, height = 11;
    for (int format = 0; format < 2; ++format)
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE((format ? "PNG" : "JPEG") + std::string(", orientation ") + std::to_string(orientation));
            const Source source = format ? png_source(orientation, width, height) : jpeg_source(orientation, width, height);
            ImageObject image;
            ASSERT_EQ(image_decode(source.file.data(), source.file.size(), image), ImageError::None);
            EXPECT_EQ(image.orientation, orientation);
            const std::uint8_t* stored_buffer = image.pixels.data();
            ASSERT_EQ(image_apply_orientation(image), ImageError::None);
            EXPECT_EQ(image.orientation, 1);
            const bool turned = orientation >= 5;
            ASSERT_EQ(image.width, turned ? height : width);
            ASSERT_EQ(image.height, turned ? width : height);
            ASSERT_EQ(image.pixels.width(), image.width);
            // 1 leaves the buffer alone, and mirroring or turning by 180 degrees needs no other.
            if (!turned) {
                EXPECT_EQ(image.pixels.data(), stored_buffer);
            }
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const Position seen = upright_position(orientation, x, y, width, height);
                    const std::uint8_t* expected = &source.stored[static_cast<std::size_t>((y * width + x) * source.channels)];
                    const std::uint8_t* actual = image.pixels.image_row(seen.y) +
                                                 static_cast<std::size_t>(seen.x * image.pixels.bytes_per_pixel());
                    ASSERT_EQ((std::array<int, 3>{actual[2], actual[1], actual[0]}),
                              (std::array<int, 3>{expected[0], expected[1], expected[2]}))
                        << "stored " << x << "," << y;
                    if (source.channels == 4) {
                        ASSERT_EQ(actual[3], expected[3]) << "stored " << x << "," << y;
                    }
                }
            // Applying it again changes nothing.
            const std::vector<std::uint8_t> upright(image.pixels.data(), image.pixels.data() + image.pixels.size_bytes());
            ASSERT_EQ(image_apply_orientation(image), ImageError::None);
            EXPECT_EQ(std::vector<std::uint8_t>(image.pixels.data(), image.pixels.data() + image.pixels.size_bytes()), upright);
        }
}

TEST(ExifOrientation, ValuesOutsideTheTagAndMalformedBlocksReadAsUpright)
{
    auto with = [](std::vector<std::uint8_t> block, std::size_t at, std::vector<std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<long>(at));
        return block;
    };
    const auto big = test::exif_block(6, true);
    const auto little = test::exif_block(8, false);
    // IFD0 starts at 8: entry count, then ImageWidth at 10 and Orientation at 22.
    struct Case {
        const char* what;
        std::vector<std::uint8_t> block;
        int expected;
    };
    const std::vector<Case> cases = {
        {"big-endian", big, 6},
        {"little-endian", little, 8},
        {"value 0", with(big, 30, {0, 0}), 1},
        {"value 9", with(big, 30, {0, 9}), 1},
        {"value 65535", with(big, 30, {0xFF, 0xFF}), 1},
        {"stored as a LONG", with(big, 24, {0, 4}), 1},
        {"two values", with(big, 26, {0, 0, 0, 2}), 1},
        {"no such tag", with(big, 22, {0x01, 0x13}), 1},
        {"directory past the end", with(big, 4, {0, 0, 0, 200}), 1},
        {"directory offset that wraps", with(big, 4, {0xFF, 0xFF, 0xFF, 0xFA}), 1},
        {"more entries than the block holds", with(big, 8, {0x10, 0x00}), 1},
        {"entries cut off", std::vector<std::uint8_t>(big.begin(), big.begin() + 30), 1},
        {"header only", std::vector<std::uint8_t>(big.begin(), big.begin() + 8), 1},
        {"bad byte order", with(big, 0, {'M', 'I'}), 1},
        {"bad magic", with(big, 2, {0, 43}), 1},
        {"JPEG identifier left in front", test::exif_app1(big), 1},
        {"empty", {}, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(exif_orientation(c.block.data(), c.block.size()), c.expected) << c.what;
}

TEST(ImageOrientation, RecordsWithoutUsablePixelsAreLeftAlone)
{
    ImageObject empty;
    empty.orientation = 6;
    EXPECT_EQ(image_apply_orientation(empty), ImageError::Refused);
    EXPECT_EQ(empty.orientation, 6);

    ImageObject mismatched;
    mismatched.pixels = PixelBuffer::create(4, 3, 24);
    mismatched.width = 3;
    mismatched.height = 4;
    mismatched.orientation = 8;
    EXPECT_EQ(image_apply_orientation(mismatched), ImageError::Refused);
    EXPECT_EQ(mismatched.pixels.width(), 4);

    ImageObject unknown;
    unknown.orientation = 9;  // outside the tag's values: taken as upright
    EXPECT_EQ(image_apply_orientation(unknown), ImageError::None);
    EXPECT_EQ(unknown.orientation, 1);
}

} // namespace
} // namespace pictavo
