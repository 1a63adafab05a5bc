// SPDX-License-Identifier: GPL-3.0-or-later
// ICC profiles and sRGB chunks from the source into the output: files are made with libjpeg's
// jpeg_write_marker and libpng's png_set_iCCP, and the outputs read back with libjpeg's own
// profile reader and from the PNG chunks themselves.
#include "image/image_resize.h"
#include "image/image_save.h"
#include "image_test_support.h"
#include "jpeg_test_support.h"
#include "metadata_test_support.h"
#include "png_test_support.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace pictavo {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct PngColour {
    Bytes icc;
    std::string icc_name;
    int srgb_intent = -1;
    int iccp_chunks = 0;
};

// The iCCP chunk (name, zero, compression method, zlib stream) and sRGB chunk, as stored.
PngColour read_png_colour(const Bytes& file)
{
    PngColour colour;
    for (const auto& chunk : test::png_chunks(file)) {
        if (chunk.type == "sRGB" && chunk.data.size() == 1)
            colour.srgb_intent = chunk.data[0];
        if (chunk.type != "iCCP")
            continue;
        ++colour.iccp_chunks;
        const auto name_end = std::find(chunk.data.begin(), chunk.data.end(), 0);
        colour.icc_name.assign(chunk.data.begin(), name_end);
        const std::size_t stream = static_cast<std::size_t>(name_end - chunk.data.begin()) + 2;
        Bytes profile(1 << 20);
        uLongf size = static_cast<uLongf>(profile.size());
        if (stream < chunk.data.size() &&
            uncompress(profile.data(), &size, &chunk.data[stream], static_cast<uLong>(chunk.data.size() - stream)) == Z_OK)
            colour.icc.assign(profile.begin(), profile.begin() + static_cast<long>(size));
    }
    return colour;
}

std::vector<std::uint8_t> pattern(int width, int height, int channels)
{
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                samples.push_back(static_cast<std::uint8_t>(x * 5 + y * 9 + c * 70));
    return samples;
}

// A profile split into APP2 pieces of at most 65519 bytes, as the file format asks.
std::vector<test::JpegMarker> icc_markers(const Bytes& profile)
{
    constexpr std::size_t piece = 65519;
    const int count = static_cast<int>((profile.size() + piece - 1) / piece);
    std::vector<test::JpegMarker> markers;
    for (int i = 0; i < count; ++i) {
        const std::size_t first = static_cast<std::size_t>(i) * piece;
        markers.push_back({JPEG_APP0 + 2, test::icc_app2(i + 1, count, profile.data() + first,
                                                         std::min(piece, profile.size() - first))});
    }
    return markers;
}

Bytes jpeg_with(const std::vector<test::JpegMarker>& markers)
{
    return test::write_jpeg(pattern(40, 30, 3), 40, 30, JCS_RGB, 3, JCS_YCbCr, false, false, markers);
}

// The source decoded, halved, cut and written as its own format; the file written.
Bytes through_resize_and_grab(const Bytes& source, std::uint32_t format, const TestFolder& folder)
{
    ImageObject image, cut;
    EXPECT_EQ(image_decode(source.data(), source.size(), image), ImageError::None);
    EXPECT_TRUE(image_resize_object(image, image.width / 2, image.height / 2));
    EXPECT_TRUE(image_grab_object(image, 1, 1, image.width - 2, image.height - 2, cut));
    const std::string path = folder.path(format == IMAGE_CODE_PNG ? "out.png" : "out.jpg");
    EXPECT_EQ(image_write(cut, path, format, 6), ImageError::None);
    return test::read_bytes(path);
}

TEST(ColourProfile, ProfilesComeOutByteIdenticalThroughResizeAndGrab)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    const Bytes small = test::make_icc_profile(588, "RGB ", 3);
    const Bytes large = test::make_icc_profile(70000, "RGB ", 4);
    test::PngExtras rgb_profile;
    rgb_profile.icc = test::make_icc_profile(3000, "RGB ", 5);
    test::PngExtras palette_profile = rgb_profile;
    palette_profile.icc_name = "Wide gamut";
    for (int i = 0; i < 16; ++i)
        palette_profile.palette.push_back({static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i * 16), 7});
    struct Case {
        const char* what;
        Bytes source;
        std::uint32_t format;
        Bytes profile;
        std::string name;
        int app2_markers;
    };
    const std::vector<Case> cases = {
        {"JPEG, 588 bytes", jpeg_with(icc_markers(small)), IMAGE_CODE_JPEG, small, "", 1},
        {"JPEG, 70000 bytes in two pieces", jpeg_with(icc_markers(large)), IMAGE_CODE_JPEG, large, "", 2},
        {"JPEG without one", jpeg_with({}), IMAGE_CODE_JPEG, {}, "", 0},
        {"RGB PNG", test::write_png(30, 20, PNG_COLOR_TYPE_RGB, 8, pattern(30, 20, 3), rgb_profile), IMAGE_CODE_PNG,
         rgb_profile.icc, "Test profile", 0},
        {"palette PNG", test::write_png(30, 20, PNG_COLOR_TYPE_PALETTE, 4, Bytes(15 * 20, 0x4B), palette_profile),
         IMAGE_CODE_PNG, rgb_profile.icc, "Wide gamut", 0},
        {"PNG without one", test::write_png(30, 20, PNG_COLOR_TYPE_RGB, 8, pattern(30, 20, 3)), IMAGE_CODE_PNG, {}, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.source.empty());
        ImageObject decoded;
        ASSERT_EQ(image_decode(c.source.data(), c.source.size(), decoded), ImageError::None);
        EXPECT_EQ(decoded.colour.icc, c.profile);

        const Bytes output = through_resize_and_grab(c.source, c.format, folder);
        if (c.format == IMAGE_CODE_JPEG) {
            int markers = -1;
            EXPECT_EQ(test::read_jpeg_icc_profile(output, &markers), c.profile);
            EXPECT_EQ(markers, c.app2_markers);
        } else {
            const PngColour colour = read_png_colour(output);
            EXPECT_EQ(colour.icc, c.profile);
            EXPECT_EQ(colour.icc_name, c.name);
            EXPECT_EQ(colour.srgb_intent, -1);
            EXPECT_EQ(colour.iccp_chunks, c.profile.empty() ? 0 : 1);
        }
        ImageObject again;
        ASSERT_EQ(image_decode(output.data(), output.size(), again), ImageError::None);
        EXPECT_EQ(again.colour.icc, c.profile);
    }
}

TEST(ColourProfile, BrokenPiecesAndProfilesOfOtherColourSpacesAreLeftOut)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    const Bytes profile = test::make_icc_profile(1000, "RGB ", 6);
    const std::uint8_t* half = profile.data() + 500;
    auto piece = [](int number, int count, const std::uint8_t* bytes, std::size_t size) {
        return test::JpegMarker{JPEG_APP0 + 2, test::icc_app2(number, count, bytes, size)};
    };
    const Bytes grey = test::make_icc_profile(600, "GRAY", 7);
    const Bytes cmyk = test::make_icc_profile(600, "CMYK", 8);
    struct Case {
        const char* what;
        Bytes source;
        Bytes decoded;  // what the record holds
        Bytes written;  // what the output holds
    };
    const std::vector<Case> cases = {
        {"pieces out of order", jpeg_with({piece(2, 2, half, 500), piece(1, 2, profile.data(), 500)}), profile, profile},
        {"a piece missing", jpeg_with({piece(1, 2, profile.data(), 500)}), {}, {}},
        {"a piece repeated", jpeg_with({piece(1, 2, profile.data(), 500), piece(1, 2, half, 500)}), {}, {}},
        {"counts that disagree", jpeg_with({piece(1, 2, profile.data(), 500), piece(2, 3, half, 500)}), {}, {}},
        {"piece number 0", jpeg_with({piece(0, 1, profile.data(), 1000)}), {}, {}},
        {"a grey profile", jpeg_with(icc_markers(grey)), grey, {}},
        {"a CMYK source's profile",
         test::write_jpeg(pattern(16, 16, 4), 16, 16, JCS_CMYK, 4, JCS_YCCK, false, false, icc_markers(cmyk)), cmyk, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageObject image;
        ASSERT_EQ(image_decode(c.source.data(), c.source.size(), image), ImageError::None);
        EXPECT_EQ(image.colour.icc, c.decoded);
        ASSERT_EQ(image_write(image, folder.path("out.jpg"), IMAGE_CODE_JPEG, 6), ImageError::None);
        int markers = -1;
        EXPECT_EQ(test::read_jpeg_icc_profile(test::read_bytes(folder.path("out.jpg")), &markers), c.written);
        EXPECT_EQ(markers, c.written.empty() ? 0 : 1);
    }

    // A grey PNG's grey profile cannot describe the colour palette image it is saved as.
    test::PngExtras grey_png;
    grey_png.icc = grey;
    const Bytes source = test::write_png(20, 20, PNG_COLOR_TYPE_GRAY, 8, pattern(20, 20, 1), grey_png);
    ImageObject image;
    ASSERT_EQ(image_decode(source.data(), source.size(), image), ImageError::None);
    EXPECT_EQ(image.colour.icc, grey);
    ASSERT_EQ(image_write(image, folder.path("grey.png"), IMAGE_CODE_PNG, 6), ImageError::None);
    EXPECT_TRUE(read_png_colour(test::read_bytes(folder.path("grey.png"))).icc.empty());
}

TEST(ColourProfile, PngSrgbIsPassedOnAndAProfileTakesItsPlace)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    test::PngExtras srgb;
    srgb.srgb_intent = 2;
    const Bytes with_srgb = test::write_png(20, 10, PNG_COLOR_TYPE_RGB, 8, pattern(20, 10, 3), srgb);
    const Bytes output = through_resize_and_grab(with_srgb, IMAGE_CODE_PNG, folder);
    EXPECT_EQ(read_png_colour(output).srgb_intent, 2);
    EXPECT_TRUE(read_png_colour(output).icc.empty());

    // A file with both (iCCP first, so that libpng keeps both): the output has the profile alone.
    test::PngExtras profile;
    profile.icc = test::make_icc_profile(700, "RGB ", 9);
    Bytes both = test::write_png(20, 10, PNG_COLOR_TYPE_RGB, 8, pattern(20, 10, 3), profile);
    const auto chunks = test::png_chunks(both);
    std::size_t after_iccp = 8;
    for (const auto& chunk : chunks) {
        after_iccp += 12 + chunk.data.size();
        if (chunk.type == "iCCP")
            break;
    }
    const Bytes srgb_chunk = test::png_chunk("sRGB", {1});
    both.insert(both.begin() + static_cast<long>(after_iccp), srgb_chunk.begin(), srgb_chunk.end());
    ImageObject image;
    ASSERT_EQ(image_decode(both.data(), both.size(), image), ImageError::None);
    EXPECT_EQ(image.colour.srgb_intent, 1);
    EXPECT_EQ(image.colour.icc, profile.icc);
    ASSERT_EQ(image_write(image, folder.path("both.png"), IMAGE_CODE_PNG, 6), ImageError::None);
    const PngColour written = read_png_colour(test::read_bytes(folder.path("both.png")));
    EXPECT_EQ(written.icc, profile.icc);
    EXPECT_EQ(written.srgb_intent, -1);
}

} // namespace
} // namespace pictavo
