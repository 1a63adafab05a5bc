// SPDX-License-Identifier: GPL-3.0-or-later
// A file read at a chosen size gives what reading it whole and then resizing gives: the same
// record, the same encoded bytes, or the same failure.
#include "image/image_load.h"
#include "image/image_resize.h"
#include "image/image_save.h"
#include "image/ycbcr_read.h"
#include "image_test_support.h"
#include "jpeg_test_support.h"
#include "metadata_test_support.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace pictavo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Smooth with some detail, so that every shrink and enlargement gives new values.
Bytes pattern(int width, int height, int components)
{
    Bytes samples(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * components);
    std::size_t i = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                samples[i++] = static_cast<std::uint8_t>((x * (c + 1) + y * (3 - c) + (x * y) % 17 * 5) & 0xFF);
    return samples;
}

Bytes colour_jpeg(int width, int height, bool progressive = false, bool arithmetic = false,
                  const std::vector<test::JpegMarker>& markers = {})
{
    return test::write_jpeg(pattern(width, height, 3), width, height, JCS_RGB, 3, JCS_YCbCr, progressive, arithmetic,
                            markers);
}

Bytes cut(Bytes bytes, double fraction)
{
    bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * fraction));
    return bytes;
}

// Scan data that breaks off into a second frame header.
Bytes second_frame_inside(const Bytes& bytes)
{
    Bytes broken = cut(bytes, 0.6);
    const Bytes frame = {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xD9};
    broken.insert(broken.end(), frame.begin(), frame.end());
    return broken;
}

struct Source {
    const char* what;
    Bytes bytes;
    ImageError reason = ImageError::None;
};

std::vector<Source> sources()
{
    const Bytes icc = test::make_icc_profile(3000);
    const std::vector<test::JpegMarker> turned_with_profile = {
        {JPEG_APP0 + 1, test::exif_app1(test::exif_block(6, false))},
        {JPEG_APP0 + 2, test::icc_app2(1, 1, icc.data(), icc.size())}};
    return {
        {"testorig.jpg", test::read_bytes(test::testdata("jpeg/testorig.jpg"))},
        {"testimgint.jpg", test::read_bytes(test::testdata("jpeg/testimgint.jpg"))},
        {"testimgari.jpg (arithmetic)", test::read_bytes(test::testdata("jpeg/testimgari.jpg"))},
        {"odd 97 x 61", colour_jpeg(97, 61)},
        {"progressive 120 x 90", colour_jpeg(120, 90, true)},
        {"one row, 64 x 1", colour_jpeg(64, 1)},
        {"640 x 480, many rows to an output row", colour_jpeg(640, 480)},
        {"greyscale 83 x 77", test::write_jpeg(pattern(83, 77, 1), 83, 77, JCS_GRAYSCALE, 1, JCS_GRAYSCALE)},
        {"CMYK stored as YCCK 70 x 50", test::write_jpeg(pattern(70, 50, 4), 70, 50, JCS_CMYK, 4, JCS_YCCK)},
        {"plain CMYK 45 x 33", test::write_jpeg(pattern(45, 33, 4), 45, 33, JCS_CMYK, 4, JCS_CMYK)},
        {"orientation 6 and a profile", colour_jpeg(90, 60, false, false, turned_with_profile)},
        {"testorig.png (decoded whole)", test::read_bytes(test::testdata("jpeg/testorig.png"))},
        {"cut off", cut(colour_jpeg(200, 150), 0.5), ImageError::CutOff},
        {"progressive, cut off", cut(colour_jpeg(200, 150, true), 0.7), ImageError::CutOff},
        {"arithmetic, cut off", cut(colour_jpeg(200, 150, false, true), 0.5), ImageError::CutOff},
        {"a second frame inside the scan", second_frame_inside(colour_jpeg(200, 150)), ImageError::Corrupt},
        {"12-bit samples", test::read_bytes(test::testdata("jpeg/monkey12.jpg")), ImageError::Unsupported},
        {"a huge frame in a few bytes", test::read_bytes(test::testdata("jpeg/huge-frame-few-bytes.jpg")),
         ImageError::CutOff},
    };
}

struct Target {
    const char* what;
    std::function<ImageSize(int width, int height)> size;
};

const std::vector<Target> targets = {
    {"shrunk by non-whole factors", [](int w, int h) { return ImageSize{std::max(1, w * 2 / 3), std::max(1, h * 3 / 7)}; }},
    {"halved", [](int w, int h) { return ImageSize{std::max(1, w / 2), std::max(1, h / 2)}; }},
    {"width kept", [](int w, int h) { return ImageSize{w, std::max(1, h / 3 + 1)}; }},
    {"height kept", [](int w, int h) { return ImageSize{std::max(1, w / 5), h}; }},
    {"enlarged", [](int w, int h) { return ImageSize{w + w / 2 + 1, h * 2 + 1}; }},
    {"to 7 x 1", [](int, int) { return ImageSize{7, 1}; }},
    {"to 1 x 5", [](int, int) { return ImageSize{1, 5}; }},
    {"size kept", [](int w, int h) { return ImageSize{w, h}; }},
};

struct Outcome {
    ImageError error = ImageError::None;
    ImageObject image;
    Bytes encoded;
};

Bytes encoded(const ImageObject& image, const TestFolder& folder)
{
    const std::string path = folder.path("out.jpg");
    if (image_write(image, path, IMAGE_CODE_JPEG, 6) != ImageError::None)
        return {};
    return test::read_bytes(path);
}

void expect_same_record(const ImageObject& streamed, const ImageObject& whole)
{
    EXPECT_EQ(streamed.width, whole.width);
    EXPECT_EQ(streamed.height, whole.height);
    EXPECT_EQ(streamed.depth, whole.depth);
    EXPECT_EQ(streamed.source_depth, whole.source_depth);
    EXPECT_EQ(streamed.plugin_code, whole.plugin_code);
    EXPECT_EQ(streamed.frame_count, whole.frame_count);
    EXPECT_EQ(streamed.orientation, whole.orientation);
    EXPECT_EQ(streamed.colour.icc, whole.colour.icc);
    ASSERT_EQ(streamed.pixels.size_bytes(), whole.pixels.size_bytes());
    EXPECT_TRUE(std::equal(streamed.pixels.data(), streamed.pixels.data() + streamed.pixels.size_bytes(),
                           whole.pixels.data()));
}

// Reads the file at path at the target's size and compares with reading it whole and then
// resizing. Whether it was resized while decoding.
bool expect_sized_read_matches(const std::string& path, const Target& target, ImageError reason,
                               const TestFolder& folder)
{
    ImageObject whole;
    const ImageError whole_error = image_read_file(path, whole);
    EXPECT_EQ(whole_error, reason);
    if (whole_error == ImageError::None) {
        const ImageSize size = target.size(whole.width, whole.height);
        image_resize_object(whole, size.width, size.height);
    }
    ImageObject sized;
    bool streamed = false;
    bool size_changes = false;
    const ImageError error = image_read_file_sized(
        path,
        [&](const ImageHeader& header) {
            const ImageSize size = target.size(header.width, header.height);
            size_changes = size.width != header.width || size.height != header.height;
            return std::optional<ImageSize>(size);
        },
        sized, &streamed);
    EXPECT_EQ(error, whole_error);
    if (error != ImageError::None || whole_error != ImageError::None) {
        EXPECT_FALSE(sized.holds_image());
        EXPECT_FALSE(streamed);
        return false;
    }
    EXPECT_EQ(streamed, sized.plugin_code == IMAGE_CODE_JPEG && size_changes);
    expect_same_record(sized, whole);
    const Bytes streamed_bytes = encoded(sized, folder);
    EXPECT_FALSE(streamed_bytes.empty());
    EXPECT_EQ(streamed_bytes, encoded(whole, folder));
    return streamed;
}

TEST(SizedRead, GivesWhatReadingWholeAndResizingGives)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    const std::string path = folder.path("source");
    int streamed_reads = 0;
    for (const Source& source : sources()) {
        test::write_bytes(path, source.bytes);
        for (const Target& target : targets) {
            SCOPED_TRACE(std::string(source.what) + ", " + target.what);
            streamed_reads += expect_sized_read_matches(path, target, source.reason, folder);
        }
    }
    // Ten of the JPEG sources that decode change size under all targets but the last, the
    // one-row one under six of them.
    EXPECT_EQ(streamed_reads, 10 * 7 + 6);
}

// How far planes are from pixels of the same size: the mean difference of the luma plane from
// the pixels' luma, and of the chroma planes from the pixels' chroma over the 2 x 2 pixels each
// chroma sample covers (samples: the largest of the two).
struct PlaneDifference {
    double luma = 0;
    double chroma = 0;
};

PlaneDifference plane_difference(const YcbcrPlanes& planes, const ImageObject& pixels)
{
    double luma = 0, blue = 0, red = 0;
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint8_t* bgr = pixels.pixels.image_row(y) + 3 * x;
            luma += std::abs(0.299 * bgr[2] + 0.587 * bgr[1] + 0.114 * bgr[0] - planes.luma.row(y)[x]);
        }
    for (int y = 0; y < planes.blue.height(); ++y)
        for (int x = 0; x < planes.blue.width(); ++x) {
            double pixel_blue = 0, pixel_red = 0;
            int covered = 0;
            for (int dy = 0; dy < 2 && 2 * y + dy < pixels.height; ++dy)
                for (int dx = 0; dx < 2 && 2 * x + dx < pixels.width; ++dx, ++covered) {
                    const std::uint8_t* bgr = pixels.pixels.image_row(2 * y + dy) + 3 * (2 * x + dx);
                    pixel_blue += 128 - 0.168736 * bgr[2] - 0.331264 * bgr[1] + 0.5 * bgr[0];
                    pixel_red += 128 + 0.5 * bgr[2] - 0.418688 * bgr[1] - 0.081312 * bgr[0];
                }
            blue += std::abs(pixel_blue / covered - planes.blue.row(y)[x]);
            red += std::abs(pixel_red / covered - planes.red.row(y)[x]);
        }
    const double count = static_cast<double>(pixels.width) * pixels.height;
    const double chroma_count = static_cast<double>(planes.blue.width()) * planes.blue.height();
    return {luma / count, std::max(blue, red) / chroma_count};
}

// A YCbCr JPEG read as its planes (for the encoders that code YCbCr) gives the record the
// pixels give and, shown as RGB, their picture; any other file is left to the pixels, and a
// broken stream fails as the pixels fail.
TEST(SizedRead, YcbcrPlanesShowThePictureThePixelsShow)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    const std::string path = folder.path("source");
    int read_as_planes = 0;
    for (const Source& source : sources()) {
        test::write_bytes(path, source.bytes);
        for (const Target& target : targets) {
            SCOPED_TRACE(std::string(source.what) + ", " + target.what);
            const SizeChoice choose = [&](const ImageHeader& header) {
                return std::optional<ImageSize>(target.size(header.width, header.height));
            };
            ImageObject pixels;
            const ImageError pixel_error = image_read_file_sized(path, choose, pixels);
            ImageObject planes;
            const ImageError error = decode_ycbcr_sized(source.bytes.data(), source.bytes.size(), choose, planes);
            if (error != ImageError::None) {
                EXPECT_FALSE(planes.ycbcr);
                EXPECT_EQ(planes.width, 0);
                if (error != ImageError::Unsupported) {
                    EXPECT_EQ(error, pixel_error);
                }
                continue;
            }
            ASSERT_EQ(pixel_error, ImageError::None);
            ++read_as_planes;
            EXPECT_EQ(planes.width, pixels.width);
            EXPECT_EQ(planes.height, pixels.height);
            EXPECT_EQ(planes.plugin_code, IMAGE_CODE_JPEG);
            EXPECT_EQ(planes.orientation, pixels.orientation);
            EXPECT_EQ(planes.colour.icc, pixels.colour.icc);
            EXPECT_FALSE(planes.holds_image());
            ASSERT_TRUE(planes.ycbcr && planes.ycbcr->width() == pixels.width && is_420(*planes.ycbcr));
            const PlaneDifference difference = plane_difference(*planes.ycbcr, pixels);
            // Luma is resized alike (up to rounding); chroma is taken at its own sampling
            // instead of upsampled, which differs most where colour changes between pixels.
            EXPECT_LT(difference.luma, 1.0);
            EXPECT_LT(difference.chroma, 10.0);
        }
    }
    // The eight YCbCr sources that decode, under every target.
    EXPECT_EQ(read_as_planes, 8 * 8);
}

TEST(SizedRead, AreasTooLargeForWholeNumberSumsToo)
{
    // 8191 and 1031 are prime, so the area of an output pixel is 8191 x 1031 units, beyond
    // what the resize sums in 32-bit whole numbers.
    test::CodecsRegistered registered;
    TestFolder folder;
    const std::string path = folder.path("source.jpg");
    test::write_bytes(path, colour_jpeg(8191, 1031));
    const Target target = {"to 5 x 3", [](int, int) { return ImageSize{5, 3}; }};
    EXPECT_TRUE(expect_sized_read_matches(path, target, ImageError::None, folder));
}

} // namespace
} // namespace pictavo
