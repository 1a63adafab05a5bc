// SPDX-License-Identifier: GPL-3.0-or-later
// Output formats and extra kinds of sources in a run: names, clashes, what each format keeps,
// the size limit over each encoder's own quality, the source kept only in its own format, and
// the metadata tool writing into WebP and AVIF files.
#include "app/batch_run.h"

#include "app/folder_scan.h"
#include "app/run_plan.h"
#include "app/size_search.h"
#include "image/image_test_support.h"
#include "image/jpeg_test_support.h"
#include "image/metadata_test_support.h"
#include "image/quality_scale.h"
#include "job_test_support.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace pictavo {
namespace {

ImageObject photo(int width, int height, bool alpha = false)
{
    return test::picture(width, height, alpha, 16);
}

class OutputFormatRunTest : public ::testing::Test {
protected:
    OutputFormatRunTest()
    {
        register_image_codecs();
        state.start_up({folder.root(), std::getenv("PATH") ? std::getenv("PATH") : ""});
        state.job.resize_mode = RESIZE_KEEP;
        options.workers = 1;
        folder.make_folder("in");
    }

    void source(const std::string& relative, const ImageObject& image, std::uint32_t code, int quality = 10)
    {
        const std::filesystem::path path = folder.path("in/" + relative);
        std::filesystem::create_directories(path.parent_path());
        ASSERT_EQ(image_write(image, path.string(), code, quality), ImageError::None) << relative;
    }

    RunReport run(const std::string& output)
    {
        folder.make_folder(output);
        state.job.input_folder = folder.root() + "in/";
        state.job.output_folder = folder.root() + output + "/";
        state.run.folder_count = state.run.image_count = 0;
        folder_scan(state.run, state.job.input_folder, std::nullopt, state.job.inputs);
        return batch_run(state, front_end, options);
    }

    ImageObject decoded(const std::string& relative) const
    {
        ImageObject image;
        EXPECT_EQ(image_read_file(folder.path(relative), image), ImageError::None) << relative;
        return image;
    }

    TestFolder folder;
    AppState state;
    RunOptions options;
    test::RecordingFrontEnd front_end;
};

TEST_F(OutputFormatRunTest, OutputsTakeTheFormatsExtensionAndASecondSourceOfOneNameIsRefused)
{
    source("a/x.jpg", photo(40, 30), IMAGE_CODE_JPEG);
    source("a/x.png", photo(40, 30), IMAGE_CODE_PNG);
    source("y.PNG", photo(30, 20, true), IMAGE_CODE_PNG);
    source("z.jpeg", photo(20, 20), IMAGE_CODE_JPEG);

    struct Case {
        OutputFormat format;
        std::vector<std::string> outputs; // below the output folder, in walk order
        std::uint32_t code;
    };
    const Case cases[] = {
        {OutputFormat::Webp, {"a/x.webp", "y.webp", "z.webp"}, IMAGE_CODE_WEBP},
        {OutputFormat::Avif, {"a/x.avif", "y.avif", "z.avif"}, IMAGE_CODE_AVIF},
        {OutputFormat::Jpeg, {"a/x.jpg", "y.jpg", "z.jpeg"}, IMAGE_CODE_JPEG},
        {OutputFormat::Png, {"a/x.png", "y.PNG", "z.png"}, IMAGE_CODE_PNG},
    };
    for (const Case& c : cases) {
        const std::string out = std::string("out-") + output_format_name(c.format);
        SCOPED_TRACE(out);
        state.job.output_format = c.format;
        const RunReport report = run(out);
        ASSERT_EQ(report.images.size(), 4u);
        // The first of the two sources named a/x gets the name; the second is refused, so the
        // output is not written twice, and the run says so.
        EXPECT_EQ(test::result_in(report, "a/x.jpg").outcome, ImageOutcome::Written);
        EXPECT_EQ(test::result_in(report, "a/x.png").failure.reason, FailureReason::SameOutput);
        EXPECT_EQ(report.failed, 1);
        EXPECT_NE(front_end.messages.back().find("a/x.png: another image of this run writes the same output file"),
                  std::string::npos);
        for (const std::string& output : c.outputs)
            EXPECT_EQ(test::loaded_size(folder.path(out + "/" + output)).code, c.code) << output;
        EXPECT_EQ(folder.entries(out), (std::vector<std::string>{"a", c.outputs[1], c.outputs[2]}));
        EXPECT_EQ(test::result_in(report, "y.PNG").shape.encoder, c.code);
    }

    // Alpha stays in WebP and AVIF; JPEG has none, so the image is laid on white.
    const ImageObject webp = decoded("out-webp/y.webp");
    const ImageObject jpeg = decoded("out-jpeg/y.jpg");
    ASSERT_EQ(webp.pixels.depth(), 32);
    EXPECT_EQ(decoded("out-avif/y.avif").pixels.depth(), 32);
    EXPECT_EQ(webp.pixels.image_row(5)[3], 0);
    EXPECT_EQ(webp.pixels.image_row(5)[29 * 4 + 3], 255);
    ASSERT_EQ(jpeg.pixels.depth(), 24);
    for (int channel = 0; channel < 3; ++channel)
        EXPECT_GE(jpeg.pixels.image_row(5)[channel], 245); // fully transparent: white
}

TEST_F(OutputFormatRunTest, AnOutputOverItsOwnSourceKeepsItsNameBeforeAnEarlierImageTakesIt)
{
    // In the input folder itself, x.avif -> x.webp would replace the source x.webp before it
    // is read: x.webp keeps its name, x.avif is refused.
    std::vector<PlannedImage> images = {
        {"/in/x.avif", "/in/x.webp", "x.avif", FailureReason::None},
        {"/in/x.webp", "/in/x.webp", "x.webp", FailureReason::None},
        {"/in/y.jpg", "/out/y.webp", "y.jpg", FailureReason::PathTooLong},
        {"/in/y.png", "/out/y.webp", "y.png", FailureReason::None},
    };
    refuse_shared_outputs(images);
    EXPECT_EQ(images[0].refused, FailureReason::SameOutput);
    EXPECT_EQ(images[1].refused, FailureReason::None);
    EXPECT_EQ(images[2].refused, FailureReason::PathTooLong); // takes no part
    EXPECT_EQ(images[3].refused, FailureReason::None);

    EXPECT_EQ(output_path_in_format("/o/a.b/x.JPG", OutputFormat::Webp), "/o/a.b/x.webp");
    EXPECT_EQ(output_path_in_format("/o/x.JPEG", OutputFormat::Jpeg), "/o/x.JPEG");
    EXPECT_EQ(output_path_in_format("/o/x.webp", OutputFormat::Same), "/o/x.webp");
    EXPECT_EQ(output_path_in_format("/o/x.webp", OutputFormat::Jpeg), "/o/x.jpg");
}

TEST_F(OutputFormatRunTest, WebpAndAvifSourcesAreReadOnlyWhenAsked)
{
    source("p.webp", photo(24, 16), IMAGE_CODE_WEBP);
    source("q.avif", photo(24, 16, true), IMAGE_CODE_AVIF);
    source("r.jpg", photo(24, 16), IMAGE_CODE_JPEG);
    source("disguised.jpg", photo(24, 16), IMAGE_CODE_WEBP);

    RunReport report = run("out-default");
    EXPECT_EQ(report.images.size(), 2u);
    EXPECT_EQ(test::result_in(report, "disguised.jpg").failure.reason, FailureReason::NotAnImage);
    EXPECT_EQ(folder.entries("out-default"), std::vector<std::string>{"r.jpg"});

    state.job.inputs = EVERY_INPUT_KIND;
    state.run.folder_count = state.run.image_count = 0;
    folder_scan(state.run, folder.root() + "in/", std::nullopt, state.job.inputs);
    EXPECT_EQ(scan_summary(state.run), "Found 4 images in 1 folders");
    report = run("out-all");
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(test::loaded_size(folder.path("out-all/p.webp")), (test::LoadedSize{24, 16, IMAGE_CODE_WEBP}));
    EXPECT_EQ(test::loaded_size(folder.path("out-all/q.avif")), (test::LoadedSize{24, 16, IMAGE_CODE_AVIF}));
    EXPECT_EQ(decoded("out-all/q.avif").pixels.depth(), 32);
    EXPECT_EQ(test::loaded_size(folder.path("out-all/disguised.jpg")).code, IMAGE_CODE_JPEG);
}

TEST_F(OutputFormatRunTest, OnlySmallerKeepsASourceOnlyInItsOwnFormatAndLosslessKeepsEveryPixel)
{
    // A JPEG made at the lowest quality grows when written again at the best one.
    source("low.jpg", photo(80, 60), IMAGE_CODE_JPEG, 1);
    source("exact.png", photo(40, 30, true), IMAGE_CODE_PNG);
    state.field_lost_focus(NumericField::Quality, "10");
    state.job.compression.only_smaller = true;
    state.job.output_format = OutputFormat::Jpeg;
    RunReport report = run("out-jpeg");
    EXPECT_EQ(test::result_in(report, "low.jpg").outcome, ImageOutcome::Kept);

    state.job.output_format = OutputFormat::Webp;
    state.job.lossless = true;
    report = run("out-webp");
    // A source of another format is never what a .webp output holds.
    EXPECT_EQ(test::result_in(report, "low.jpg").outcome, ImageOutcome::Written);
    EXPECT_EQ(test::loaded_size(folder.path("out-webp/low.webp")).code, IMAGE_CODE_WEBP);
    EXPECT_EQ(test::result_in(report, "low.jpg").encoded.native_quality, native_quality_of(IMAGE_CODE_WEBP, 10));
    // Lossless only for PNG sources: their pixels come back exactly.
    EXPECT_EQ(test::result_in(report, "exact.png").encoded.native_quality, 0);
    const ImageObject original = decoded("in/exact.png");
    const ImageObject lossless = decoded("out-webp/exact.webp");
    ASSERT_EQ(lossless.pixels.size_bytes(), original.pixels.size_bytes());
    EXPECT_EQ(std::memcmp(lossless.pixels.data(), original.pixels.data(), original.pixels.size_bytes()), 0);
}

TEST_F(OutputFormatRunTest, OutputsAreTheSameForEveryWorkerCountAndFoundUnderTheirNewNames)
{
    for (int i = 0; i < 4; ++i) {
        source("p" + std::to_string(i) + ".jpg", photo(90 + 10 * i, 60), IMAGE_CODE_JPEG);
        source("s/q" + std::to_string(i) + ".png", photo(50, 40 + i, i % 2 == 0), IMAGE_CODE_PNG);
    }
    for (const OutputFormat format : {OutputFormat::Webp, OutputFormat::Avif}) {
        const std::string name = output_format_name(format);
        state.job.output_format = format;
        options.workers = 1;
        const RunReport one = run("one-" + name);
        options.workers = 3;
        const RunReport three = run("three-" + name);
        ASSERT_EQ(one.images.size(), 8u);
        EXPECT_EQ(one.failed, 0);
        for (const ImageRecord& record : one.images) {
            const std::string output = output_path_in_format(record.relative_path, format);
            EXPECT_EQ(folder.read("one-" + name + "/" + output), folder.read("three-" + name + "/" + output)) << output;
            EXPECT_EQ(record.result.output_bytes, std::filesystem::file_size(folder.path("one-" + name + "/" + output)));
        }
        options.skip_existing = true;
        const RunReport again = run("one-" + name);
        EXPECT_EQ(again.skipped, 8);
        options.skip_existing = false;
    }
}

// The mean difference per colour sample of two images of one size.
double mean_difference(const ImageObject& a, const ImageObject& b)
{
    long total = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width * 3; ++x)
            total += std::abs(a.pixels.image_row(y)[x] - b.pixels.image_row(y)[x]);
    return static_cast<double>(total) / (3.0 * a.width * a.height);
}

// A JPEG that is only resized reaches the WebP and AVIF encoders as its YCbCr planes; one that
// is turned upright or cut, one kept at its size, a greyscale one, and every JPEG result go
// through pixels. Either way the result is the source's picture at the size its mode gives.
TEST(OutputRoutes, JpegSourcesReachWebpAndAvifAsPlanesWhenOnlyResized)
{
    register_image_codecs();
    TestFolder folder;
    const ImageObject colours = photo(400, 300);
    ASSERT_EQ(image_write(colours, folder.path("plain.jpg"), IMAGE_CODE_JPEG, 10), ImageError::None);
    std::vector<std::uint8_t> rgb, grey;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            const std::uint8_t* bgr = colours.pixels.image_row(y) + 3 * x;
            rgb.insert(rgb.end(), {bgr[2], bgr[1], bgr[0]});
            grey.push_back(bgr[1]);
        }
    const std::vector<test::JpegMarker> turned = {{JPEG_APP0 + 1, test::exif_app1(test::exif_block(6, false))}};
    test::write_bytes(folder.path("turned.jpg"), test::write_jpeg(rgb, 400, 300, JCS_RGB, 3, JCS_YCbCr, false, false, turned));
    test::write_bytes(folder.path("grey.jpg"), test::write_jpeg(grey, 400, 300, JCS_GRAYSCALE, 1, JCS_GRAYSCALE));

    struct Case {
        const char* what;
        const char* source;
        int mode;
        OutputFormat format;
        bool planes;
        int width, height;
    };
    const Case cases[] = {
        {"resized into WebP", "plain.jpg", RESIZE_NORMAL, OutputFormat::Webp, true, 200, 150},
        {"resized into AVIF", "plain.jpg", RESIZE_NORMAL, OutputFormat::Avif, true, 200, 150},
        {"resized into JPEG", "plain.jpg", RESIZE_NORMAL, OutputFormat::Same, false, 200, 150},
        {"stretched", "plain.jpg", RESIZE_FILL_FIT, OutputFormat::Webp, true, 200, 90},
        {"turned upright", "turned.jpg", RESIZE_NORMAL, OutputFormat::Webp, false, 150, 200},
        {"cut", "plain.jpg", RESIZE_UNIFORM, OutputFormat::Webp, false, 200, 90},
        {"kept at its size", "plain.jpg", RESIZE_KEEP, OutputFormat::Avif, false, 400, 300},
        {"greyscale", "grey.jpg", RESIZE_NORMAL, OutputFormat::Webp, false, 200, 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageSettings settings;
        settings.resize_mode = c.mode;
        settings.target_width = 200;
        settings.target_height = c.mode == RESIZE_NORMAL ? 200 : 90;
        settings.quality = 10;
        settings.format = c.format;
        PreparedImage prepared;
        ASSERT_EQ(prepare_image(settings, folder.path(c.source), prepared).outcome, ImageOutcome::Written);
        EXPECT_EQ(prepared.image.ycbcr != nullptr, c.planes);
        const EncodedOutput encoded = encode_prepared_image(settings, prepared, 0);
        ASSERT_EQ(encoded.failure, FailureReason::None);
        // A size limit searches the encoder's quality over the same planes.
        const auto limit = static_cast<std::int64_t>(encoded.bytes.size() / 2);
        const EncodedOutput limited = encode_prepared_image(settings, prepared, limit);
        EXPECT_TRUE(limited.fits);
        EXPECT_LE(static_cast<std::int64_t>(limited.bytes.size()), limit);
        ImageObject result;
        ASSERT_EQ(image_decode(encoded.bytes.data(), encoded.bytes.size(), result), ImageError::None);
        ASSERT_EQ(result.width, c.width);
        ASSERT_EQ(result.height, c.height);
        // The same picture as the lossless route through pixels gives.
        settings.format = OutputFormat::Png;
        PreparedImage reference;
        ASSERT_EQ(prepare_image(settings, folder.path(c.source), reference).outcome, ImageOutcome::Written);
        ASSERT_TRUE(reference.image.holds_image());
        EXPECT_LT(mean_difference(result, reference.image), 2.0);
    }
}

TEST(SizeSearchFormats, ALimitIsMetOverTheEncodersOwnQualityWithTheMostThatFits)
{
    register_image_codecs();
    const ImageObject image = photo(160, 120, true);
    for (const std::uint32_t code : {IMAGE_CODE_WEBP, IMAGE_CODE_AVIF})
        for (const double share : {0.6, 0.3}) {
            SCOPED_TRACE(std::to_string(code) + " at " + std::to_string(share));
            std::vector<std::uint8_t> plain;
            std::vector<std::uint8_t> smallest;
            EncodeOptions lowest;
            lowest.native_quality = 1;
            ASSERT_EQ(image_encode(image, code, 6, {}, plain), ImageError::None);
            ASSERT_EQ(image_encode(image, code, 6, lowest, smallest), ImageError::None);
            // Between the smallest file and the plain one, so that a quality below the plain one fits.
            const auto limit = static_cast<std::int64_t>(
                static_cast<double>(smallest.size()) + static_cast<double>(plain.size() - smallest.size()) * share);
            const LimitedEncode found = encode_within_limit(image, code, 6, {}, limit);
            ASSERT_TRUE(found.fits);
            EXPECT_LE(static_cast<std::int64_t>(found.bytes.size()), limit);
            EXPECT_LE(found.tries, 8);
            const int chosen = found.outcome.native_quality;
            ASSERT_GE(chosen, 1);
            ASSERT_LT(chosen, native_quality_of(code, 6));
            EncodeOptions one_up;
            one_up.native_quality = chosen + 1;
            std::vector<std::uint8_t> larger;
            ASSERT_EQ(image_encode(image, code, 6, one_up, larger), ImageError::None);
            EXPECT_GT(static_cast<std::int64_t>(larger.size()), limit);
        }
    // A lossless WebP that does not fit gives way to the lossy search.
    EncodeOptions lossless;
    lossless.lossless = true;
    std::vector<std::uint8_t> exact;
    ASSERT_EQ(image_encode(image, IMAGE_CODE_WEBP, 6, lossless, exact), ImageError::None);
    const LimitedEncode fits = encode_within_limit(image, IMAGE_CODE_WEBP, 6, lossless, static_cast<std::int64_t>(exact.size()));
    EXPECT_EQ(fits.outcome.native_quality, 0);
    EXPECT_EQ(fits.tries, 1);
    const LimitedEncode lossy = encode_within_limit(image, IMAGE_CODE_WEBP, 6, lossless, static_cast<std::int64_t>(exact.size() / 4));
    EXPECT_TRUE(lossy.fits);
    EXPECT_GT(lossy.outcome.native_quality, 0);
}

// A tag of a file as the real tool reads it ("" when it has none).
std::string tag_of(const std::string& tool, const std::string& path, const std::string& name)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(("'" + tool + "' -s3 -" + name + " '" + path + "'").c_str(), "r"),
                                               ::pclose);
    std::string text;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        text += buffer;
    return text;
}

TEST_F(OutputFormatRunTest, TheMetadataToolWritesTheSourcesTagsIntoWebpAndAvifOutputs)
{
    const std::string tool = find_exiftool({"/nonexistent/", std::getenv("PATH") ? std::getenv("PATH") : ""});
    if (tool.empty())
        GTEST_SKIP() << "exiftool is not installed";
    ImageObject tall = photo(30, 40);
    tall.colour.icc = test::make_icc_profile(3000);
    source("photo.jpg", tall, IMAGE_CODE_JPEG);
    const std::string command = "'" + tool + "' -q -overwrite_original -Make=Pictavo -Artist=Tester "
                                "'-DateTimeOriginal=2021:02:03 04:05:06' -XMP-dc:Title=Bridge -Orientation#=6 '"
                                + folder.path("in/photo.jpg") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    state.job.exiftool_path = tool;
    state.job.metadata_copy = 1;
    state.job.date_copy = 1;
    for (const OutputFormat format : {OutputFormat::Webp, OutputFormat::Avif}) {
        const std::string name = output_format_name(format);
        SCOPED_TRACE(name);
        state.job.output_format = format;
        const RunReport report = run("out-" + name);
        EXPECT_EQ(report.failed, 0);
        const std::string output = folder.path("out-" + name + "/photo." + name);
        EXPECT_EQ(tag_of(tool, output, "Make"), "Pictavo\n");
        EXPECT_EQ(tag_of(tool, output, "Artist"), "Tester\n");
        EXPECT_EQ(tag_of(tool, output, "DateTimeOriginal"), "2021:02:03 04:05:06\n");
        EXPECT_EQ(tag_of(tool, output, "XMP-dc:Title"), "Bridge\n");
        // Turned upright (40 x 30) and tagged so, so no viewer turns it again.
        EXPECT_EQ(tag_of(tool, output, "Orientation#"), "1\n");
        EXPECT_EQ(test::loaded_size(output), (test::LoadedSize{40, 30, encoder_of(format)}));
        EXPECT_EQ(decoded("out-" + name + "/photo." + name).colour.icc, tall.colour.icc);
        const auto seconds = [](const std::string& path) {
            return std::chrono::floor<std::chrono::seconds>(std::filesystem::last_write_time(path));
        };
        EXPECT_EQ(seconds(output), seconds(folder.path("in/photo.jpg")));
    }
}

} // namespace
} // namespace pictavo
