// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/image_task.h"

#include "job_test_support.h"
#include "sys/atomic_file.h"
#include "test_folder.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

using test::LoadedSize;
using test::loaded_size;
using test::write_flat_image;
using test::write_image;

class ImageTaskTest : public ::testing::Test {
protected:
    ImageTaskTest() { register_jpeg_and_png_codecs(); }

    ImageResult result_of(const std::string& source, const std::string& output)
    {
        AtomicFile staged;
        const ImageResult result = write_image_output(settings, folder.path(source), folder.path(output), staged);
        if (result.outcome == ImageOutcome::Written && !staged.commit())
            return failed_image(write_failure_of(staged.error()));
        return result;
    }
    ImageOutcome run(const std::string& source, const std::string& output) { return result_of(source, output).outcome; }

    TestFolder folder;
    ImageSettings settings;
};

// Common photo and screen sizes with the default targets, through the three modes that resize,
// on real files of those sizes.
TEST_F(ImageTaskTest, DefaultTargetsGiveTheseOutputSizes)
{
    struct Row {
        int width, height;
        LoadedSize normal, fill, uniform;
    };
    const Row rows[] = {
        {4000, 3000, {1000, 750}, {1000, 667}, {1000, 667}},
        {3000, 4000, {750, 1000}, {667, 1000}, {1000, 667}},
        {1920, 1080, {1000, 562}, {1000, 667}, {1000, 667}},
        {1000, 1000, {1000, 1000}, {1000, 667}, {1000, 667}},
        {640, 480, {1000, 750}, {1000, 667}, {1000, 667}},
    };
    for (const Row& row : rows) {
        const std::string name = std::to_string(row.width) + "x" + std::to_string(row.height) + ".jpg";
        SCOPED_TRACE(name);
        ASSERT_TRUE(write_flat_image(folder.path(name), row.width, row.height, IMAGE_CODE_JPEG));
        const std::pair<int, LoadedSize> modes[] = {
            {RESIZE_NORMAL, row.normal}, {RESIZE_FILL_FIT, row.fill}, {RESIZE_UNIFORM, row.uniform}};
        for (auto [mode, expected] : modes) {
            settings.resize_mode = mode;
            settings.target_width = 1000;
            settings.target_height = mode == RESIZE_NORMAL ? 1000 : 667;
            EXPECT_EQ(run(name, "out.jpg"), ImageOutcome::Written);
            expected.code = IMAGE_CODE_JPEG;
            EXPECT_EQ(loaded_size(folder.path("out.jpg")), expected) << "mode " << mode;
        }
    }
}

// Sizes chosen so that the resize is an exact halving: every output pixel is then the plain
// mean of a 2 x 2 block, and the cut's position shows in the colours of its edge rows.
TEST_F(ImageTaskTest, UniformCutsTheCentredRectangle)
{
    const test::Colour red{0, 0, 255}, white{255, 255, 255}, green{0, 255, 0}, black{0, 0, 0}, blue{255, 0, 0};
    // Along the cut direction: red margin, 2 white, green, 2 black, blue margin.
    auto band = [&](int at, int length, int margin) {
        if (at < margin)
            return red;
        if (at < margin + 2)
            return white;
        if (at < length - margin - 2)
            return green;
        if (at < length - margin)
            return black;
        return blue;
    };
    // 400 x 300 is relatively taller than 200 x 100: fit 200 x 150, cut at (0, 25).
    ASSERT_TRUE(write_image(folder.path("tall.png"), 400, 300, IMAGE_CODE_PNG,
                            [&](int, int y) { return band(y, 300, 50); }));
    // 600 x 200 is relatively wider: fit 300 x 100, cut at (50, 0).
    ASSERT_TRUE(write_image(folder.path("wide.png"), 600, 200, IMAGE_CODE_PNG,
                            [&](int x, int) { return band(x, 600, 100); }));
    settings.resize_mode = RESIZE_UNIFORM;
    settings.target_width = 200;
    settings.target_height = 100;
    for (const char* name : {"tall.png", "wide.png"}) {
        SCOPED_TRACE(name);
        const bool tall = name[0] == 't';
        ASSERT_EQ(run(name, std::string("cut-") + name), ImageOutcome::Written);
        ASSERT_TRUE(image_load(3, folder.path(std::string("cut-") + name)));
        ASSERT_EQ(image_width(3), 200);
        ASSERT_EQ(image_height(3), 100);
        const PixelBuffer& pixels = image_lookup(3)->pixels;
        auto at = [&](int along) {
            const std::uint8_t* p = tall ? pixels.image_row(along) + 100 * 3 : pixels.image_row(50) + along * 3;
            return test::Colour{p[0], p[1], p[2]};
        };
        const int last = tall ? 99 : 199;
        EXPECT_EQ(at(0), white);
        EXPECT_EQ(at(1), green);
        EXPECT_EQ(at(last - 1), green);
        EXPECT_EQ(at(last), black);
        image_free(3);
    }
    EXPECT_EQ(image_lookup(0), nullptr); // the task works on values: no numbered image is used
    EXPECT_EQ(image_lookup(2), nullptr);
}

TEST_F(ImageTaskTest, FormatFollowsTheSourceAndNamesAreKept)
{
    ASSERT_TRUE(write_flat_image(folder.path("Photo.JPG"), 1000, 750, IMAGE_CODE_JPEG));
    ASSERT_TRUE(write_image(folder.path("chart.png"), 30, 20, IMAGE_CODE_PNG, [](int x, int y) {
        return test::Colour{static_cast<std::uint8_t>(x * 8), static_cast<std::uint8_t>(y * 12), 77};
    }));
    folder.make_folder("out");

    // "Normal Resize" 1000 on 1000 x 750 keeps the size, and the file is encoded anew.
    settings.resize_mode = RESIZE_NORMAL;
    settings.target_width = settings.target_height = 1000;
    EXPECT_EQ(run("Photo.JPG", "out/Photo.JPG"), ImageOutcome::Written);
    EXPECT_EQ(loaded_size(folder.path("out/Photo.JPG")), (LoadedSize{1000, 750, IMAGE_CODE_JPEG}));
    EXPECT_NE(folder.read("out/Photo.JPG"), folder.read("Photo.JPG"));

    // "Keep Original Dimensions" sends a PNG through the PNG encoder: lossless, same size.
    settings.resize_mode = RESIZE_KEEP;
    EXPECT_EQ(run("chart.png", "out/chart.png"), ImageOutcome::Written);
    ASSERT_EQ(loaded_size(folder.path("out/chart.png")), (LoadedSize{30, 20, IMAGE_CODE_PNG}));
    ASSERT_TRUE(image_load(3, folder.path("out/chart.png")));
    EXPECT_EQ(image_lookup(3)->pixels.image_row(19)[29 * 3 + 1], 19 * 12);
    image_free(3);

    // "Upload Originals" copies byte for byte.
    settings.resize_mode = RESIZE_UPLOAD_ORIGINALS;
    EXPECT_EQ(run("Photo.JPG", "out/copy.JPG"), ImageOutcome::Written);
    EXPECT_EQ(folder.read("out/copy.JPG"), folder.read("Photo.JPG"));

    EXPECT_EQ(encoder_for("/a/b.JPEG"), IMAGE_CODE_JPEG);
    EXPECT_EQ(encoder_for("/a/b.Png"), IMAGE_CODE_PNG);
    EXPECT_EQ(encoder_for("/a.png/b"), 0u);
    EXPECT_EQ(encoder_for("/a/b.jpeg.bak"), 0u);
}

TEST_F(ImageTaskTest, FailuresWriteNothingAndSayWhy)
{
    folder.write("broken.jpg", "not a picture at all");
    folder.write("out/broken.jpg", "earlier output");
    ASSERT_TRUE(write_flat_image(folder.path("fine.jpg"), 40, 30, IMAGE_CODE_JPEG));

    const auto reason = [&](const char* source, const char* output) {
        const ImageResult result = result_of(source, output);
        EXPECT_EQ(result.outcome, ImageOutcome::Failed) << source;
        return result.failure.reason;
    };
    EXPECT_EQ(reason("broken.jpg", "out/broken.jpg"), FailureReason::NotAnImage);
    EXPECT_EQ(folder.read("out/broken.jpg"), "earlier output");
    EXPECT_EQ(reason("fine.jpg", "missing-folder/fine.jpg"), FailureReason::WriteFailed);
    EXPECT_FALSE(folder.exists("missing-folder"));
    EXPECT_EQ(reason("notes.txt", "out/notes.txt"), FailureReason::NotAnImage);
    settings.resize_mode = RESIZE_UPLOAD_ORIGINALS;
    EXPECT_EQ(reason("gone.jpg", "out/gone.jpg"), FailureReason::SourceUnreadable);
    EXPECT_EQ(reason("fine.jpg", "missing-folder/fine.jpg"), FailureReason::WriteFailed);
    EXPECT_EQ(folder.entries("out"), std::vector<std::string>{"broken.jpg"});
}

} // namespace
} // namespace pictavo
