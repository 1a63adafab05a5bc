// SPDX-License-Identifier: GPL-3.0-or-later
// Local compression in a run: the size limit's search, the source kept when it is smaller,
// and the bytes the run reports.
#include "app/batch_run.h"

#include "app/folder_scan.h"
#include "app/size_search.h"
#include "job_test_support.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>

namespace pictavo {
namespace {

// A photo-like image: smooth gradients with fine deterministic noise, which no palette or
// lossless coder shrinks to nothing.
ImageObject textured_image(int width, int height, bool alpha = false)
{
    ImageObject image;
    image.pixels = PixelBuffer::create(width, height, alpha ? 32 : 24);
    image.width = static_cast<std::int16_t>(width);
    image.height = static_cast<std::int16_t>(height);
    image.depth = static_cast<std::int8_t>(alpha ? 32 : 24);
    image.source_depth = image.depth;
    image.frame_count = 1;
    std::uint32_t noise = 12345;
    const int bytes = alpha ? 4 : 3;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.pixels.image_row(y);
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            const int grain = static_cast<int>((noise >> 16) % 24);
            row[x * bytes + 0] = static_cast<std::uint8_t>((x * 255 / width + grain) % 256);
            row[x * bytes + 1] = static_cast<std::uint8_t>((y * 255 / height + grain) % 256);
            row[x * bytes + 2] = static_cast<std::uint8_t>(((x + y) * 128 / (width + height) + 2 * grain) % 256);
            if (alpha)
                row[x * bytes + 3] = static_cast<std::uint8_t>(x < width / 2 ? 255 : 128 + y % 100);
        }
    }
    return image;
}

std::size_t encoded_size(const ImageObject& image, std::uint32_t code, int quality, const EncodeOptions& options)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(image_encode(image, code, quality, options, bytes), ImageError::None);
    return bytes.size();
}

TEST(SizeSearch, EveryLimitIsMetWithTheMostQualityThatFitsInAFewTries)
{
    register_jpeg_and_png_codecs();
    const ImageObject photo = textured_image(320, 240);
    const ImageObject with_alpha = textured_image(200, 150, true);
    struct Case {
        const ImageObject* image;
        std::uint32_t code;
        EncodeOptions options;
        double share; // of the plain file's size
    };
    EncodeOptions optimize;
    optimize.optimize = true;
    const Case cases[] = {
        {&photo, IMAGE_CODE_JPEG, {}, 1.5},      {&photo, IMAGE_CODE_JPEG, {}, 0.6},
        {&photo, IMAGE_CODE_JPEG, optimize, 0.3}, {&photo, IMAGE_CODE_JPEG, {}, 0.2},
        {&photo, IMAGE_CODE_PNG, {}, 0.9},       {&photo, IMAGE_CODE_PNG, {}, 0.35},
        {&with_alpha, IMAGE_CODE_PNG, {}, 0.2},  {&photo, IMAGE_CODE_PNG, {}, 0.08},
    };
    for (const Case& c : cases) {
        const std::size_t plain = encoded_size(*c.image, c.code, 6, c.options);
        const auto limit = static_cast<std::int64_t>(static_cast<double>(plain) * c.share);
        SCOPED_TRACE(std::to_string(c.code) + " at " + std::to_string(c.share) + " of " + std::to_string(plain));
        const LimitedEncode found = encode_within_limit(*c.image, c.code, 6, c.options, limit);
        ASSERT_EQ(found.error, ImageError::None);
        ASSERT_TRUE(found.fits);
        EXPECT_LE(static_cast<std::int64_t>(found.bytes.size()), limit);
        EXPECT_LE(found.tries, 10);
        EncodeOptions one_step_up = c.options;
        if (c.code == IMAGE_CODE_JPEG) {
            // The quality the program quality maps to when that fits; else the next one up does not.
            const int chosen = found.outcome.native_quality;
            ASSERT_GE(chosen, 1);
            ASSERT_LE(chosen, 60);
            if (c.share >= 1.0) {
                EXPECT_EQ(chosen, 60);
                EXPECT_EQ(found.bytes.size(), plain);
                continue;
            }
            one_step_up.native_quality = chosen + 1;
        } else if (found.outcome.lossy_palette) {
            const int* step = std::find(std::begin(PALETTE_COLOUR_STEPS), std::end(PALETTE_COLOUR_STEPS),
                                        found.outcome.palette_colours);
            ASSERT_NE(step, std::end(PALETTE_COLOUR_STEPS)) << found.outcome.palette_colours;
            if (step == std::begin(PALETTE_COLOUR_STEPS))
                continue; // the full palette fits; the step above it is the lossless file, tried first
            one_step_up.optimize = one_step_up.lossy_palette = true;
            one_step_up.palette_quality_floor = 0;
            one_step_up.palette_colours = *(step - 1);
        } else {
            continue; // lossless fits
        }
        EXPECT_GT(static_cast<std::int64_t>(encoded_size(*c.image, c.code, 6, one_step_up)), limit);
    }
    // A limit nothing reaches: the smallest try, marked as not fitting.
    const LimitedEncode hopeless = encode_within_limit(photo, IMAGE_CODE_PNG, 6, {}, 1024);
    EXPECT_FALSE(hopeless.fits);
    EXPECT_FALSE(hopeless.bytes.empty());
    EXPECT_EQ(hopeless.outcome.palette_colours, 2);
}

class LocalCompressionRunTest : public ::testing::Test {
protected:
    LocalCompressionRunTest()
    {
        register_jpeg_and_png_codecs();
        state.start_up({folder.root(), std::getenv("PATH") ? std::getenv("PATH") : ""});
        state.job.resize_mode = RESIZE_KEEP;
        folder.make_folder("in");
        folder.make_folder("out");
    }

    void write_source(const std::string& relative, const ImageObject& image, std::uint32_t code, int quality = 10)
    {
        const std::filesystem::path path = folder.path(relative);
        std::filesystem::create_directories(path.parent_path());
        ASSERT_EQ(image_write(image, path.string(), code, quality), ImageError::None);
    }

    RunReport run(const std::string& output = "out/")
    {
        state.job.input_folder = folder.root() + "in/";
        state.job.output_folder = folder.root() + output;
        state.run.folder_count = state.run.image_count = 0;
        folder_scan(state.run, state.job.input_folder);
        return batch_run(state, front_end, options);
    }

    std::int64_t size_of(const std::string& relative) const
    {
        return static_cast<std::int64_t>(std::filesystem::file_size(folder.path(relative)));
    }

    TestFolder folder;
    AppState state;
    RunOptions options;
    test::RecordingFrontEnd front_end;
};

TEST_F(LocalCompressionRunTest, OnlySmallerKeepsTheSourcesOwnBytesOnlyWhereFormatAndSizeStay)
{
    // Sources made at a low quality grow when written again at the best one.
    write_source("in/small.jpg", textured_image(120, 90), IMAGE_CODE_JPEG, 3);
    write_source("in/resized.jpg", textured_image(120, 90), IMAGE_CODE_JPEG, 3);
    write_source("in/same.png", textured_image(60, 40), IMAGE_CODE_PNG);
    state.field_lost_focus(NumericField::Quality, "10");
    state.job.compression.only_smaller = true;
    options.workers = 1;

    RunReport report = run();
    EXPECT_EQ(test::result_in(report, "small.jpg").outcome, ImageOutcome::Kept);
    EXPECT_EQ(folder.read("out/small.jpg"), folder.read("in/small.jpg"));
    EXPECT_EQ(test::result_in(report, "resized.jpg").outcome, ImageOutcome::Kept);
    // Written again the same way, the PNG is no larger than its source, so it is the output.
    EXPECT_EQ(test::result_in(report, "same.png").outcome, ImageOutcome::Written);
    EXPECT_EQ(report.kept, 2);
    EXPECT_EQ(report.failed, 0);
    EXPECT_NE(front_end.messages.back().find("\n2 kept as they were: the outputs would have been larger."),
              std::string::npos)
        << front_end.messages.back();

    // Resized, the output has other dimensions: it is never given way to the source.
    state.job.resize_mode = RESIZE_NORMAL;
    state.field_lost_focus(NumericField::NormalSize, "150");
    report = run();
    EXPECT_EQ(test::result_in(report, "resized.jpg").outcome, ImageOutcome::Written);
    EXPECT_EQ(test::loaded_size(folder.path("out/resized.jpg")), (test::LoadedSize{150, 112, IMAGE_CODE_JPEG}));
    EXPECT_EQ(report.kept, 0);
}

TEST_F(LocalCompressionRunTest, ReportedBytesAndOutputsAreTheSameForEveryWorkerCount)
{
    for (int i = 0; i < 6; ++i) {
        write_source("in/p" + std::to_string(i) + ".jpg", textured_image(200 + 10 * i, 150), IMAGE_CODE_JPEG);
        write_source("in/sub/q" + std::to_string(i) + ".png", textured_image(120, 80 + i, i % 2 == 1), IMAGE_CODE_PNG);
    }
    state.job.compression = {true, true, false, 12 * 1024};
    options.workers = 1;
    const RunReport one = run("out/");
    folder.make_folder("out3");
    options.workers = 3;
    const RunReport three = run("out3/");

    ASSERT_EQ(one.images.size(), 12u);
    std::int64_t sources = 0;
    std::int64_t outputs = 0;
    for (std::size_t i = 0; i < one.images.size(); ++i) {
        const std::string& path = one.images[i].relative_path;
        const ImageResult& result = one.images[i].result;
        SCOPED_TRACE(path);
        EXPECT_EQ(result.outcome, ImageOutcome::Written);
        EXPECT_EQ(folder.read("out/" + path), folder.read("out3/" + path));
        EXPECT_EQ(result.source_bytes, size_of("in/" + path));
        EXPECT_EQ(result.output_bytes, size_of("out/" + path));
        EXPECT_LE(result.output_bytes, 12 * 1024);
        EXPECT_EQ(three.images[i].result.encoded.native_quality, result.encoded.native_quality);
        sources += result.source_bytes;
        outputs += result.output_bytes;
    }
    const ByteTotals totals = byte_totals(one);
    EXPECT_EQ(totals.source_bytes, sources);
    EXPECT_EQ(totals.output_bytes, outputs);
    EXPECT_EQ(totals.images, 12);
    EXPECT_NE(front_end.messages.back().find("\n" + savings_line(totals)), std::string::npos);
    EXPECT_EQ(savings_line({97900000, 56700000, 3}), "Saved 39.3 MB of 93.4 MB (42 %).");
    EXPECT_EQ(savings_line({1000, 1500, 1}), "The outputs are 500 bytes larger than their 1000 bytes of sources (50 %).");
    EXPECT_EQ(savings_line({}), "");
}

TEST_F(LocalCompressionRunTest, TheSizeLimitHoldsForTheTaggedFileAndAnImpossibleOneFailsWithItsReason)
{
    const std::string tool = find_exiftool({"/nonexistent/", std::getenv("PATH") ? std::getenv("PATH") : ""});
    if (tool.empty())
        GTEST_SKIP() << "exiftool is not installed";
    // 24 KB of tags that the metadata step copies into every output.
    write_source("in/tagged.jpg", textured_image(400, 300), IMAGE_CODE_JPEG);
    const std::string description(24 * 1024, 'd');
    const std::string command = "'" + tool + "' -q -overwrite_original '-XMP-dc:Description=" + description + "' '"
                                + folder.path("in/tagged.jpg") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    write_source("in/hopeless.png", textured_image(400, 300), IMAGE_CODE_PNG);
    state.job.exiftool_path = tool;
    state.job.metadata_copy = 1;
    state.job.compression.size_limit = 40 * 1024;
    options.workers = 1;

    const RunReport report = run();
    const ImageResult& tagged = test::result_in(report, "tagged.jpg");
    EXPECT_EQ(tagged.outcome, ImageOutcome::Written);
    EXPECT_EQ(tagged.failure.reason, FailureReason::None);
    EXPECT_LE(size_of("out/tagged.jpg"), 40 * 1024);
    EXPECT_GT(size_of("out/tagged.jpg"), 24 * 1024); // the tags are there
    EXPECT_GT(tagged.encoded.native_quality, 0);

    state.job.metadata_copy = 0;
    state.job.compression.size_limit = 1024;
    const RunReport impossible = run();
    const ImageResult& hopeless = test::result_in(impossible, "hopeless.png");
    EXPECT_EQ(hopeless.outcome, ImageOutcome::Written); // at its smallest
    EXPECT_EQ(hopeless.failure.reason, FailureReason::OverSizeLimit);
    EXPECT_EQ(failure_text(hopeless.failure), "could not be made smaller than 1 KB");
    EXPECT_TRUE(counts_as_failed(hopeless));
    EXPECT_EQ(hopeless.encoded.palette_colours, 2);
}

} // namespace
} // namespace pictavo
