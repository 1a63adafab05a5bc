// SPDX-License-Identifier: GPL-3.0-or-later
// Photos come out the right way up and in their own colours: every mode sizes and cuts the
// image as it is displayed, the metadata step gives the result tags that match its pixels, and
// a colour profile survives the run with and without that step. Sources are written with
// libjpeg and libpng directly, outputs read back the same way, and the displayed image is
// worked out here from the orientation tag's own definition.
#include "app/batch_run.h"
#include "app/folder_scan.h"
#include "image/jpeg_test_support.h"
#include "image/metadata_test_support.h"
#include "image/png_test_support.h"
#include "job_test_support.h"
#include "service_double.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace pictavo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<int, 3>;

constexpr int STORED_WIDTH = 64;
constexpr int STORED_HEIGHT = 48;

// The stored picture: four quadrants, red and green above, blue and white below.
Rgb stored_colour(int x, int y)
{
    const bool right = x >= STORED_WIDTH / 2;
    const bool bottom = y >= STORED_HEIGHT / 2;
    if (!bottom)
        return right ? Rgb{0, 255, 0} : Rgb{255, 0, 0};
    return right ? Rgb{255, 255, 255} : Rgb{0, 0, 255};
}

bool is_quarter_turned(int orientation) { return orientation >= 5; }

// The stored pixel shown at (x, y) of the displayed image, by the tag's definition of where
// the stored first row and first column appear.
std::pair<int, int> stored_position(int orientation, int x, int y)
{
    const int w = STORED_WIDTH;
    const int h = STORED_HEIGHT;
    switch (orientation) {
    case 2: return {w - 1 - x, y};
    case 3: return {w - 1 - x, h - 1 - y};
    case 4: return {x, h - 1 - y};
    case 5: return {y, x};
    case 6: return {y, h - 1 - x};
    case 7: return {w - 1 - y, h - 1 - x};
    case 8: return {w - 1 - y, x};
    default: return {x, y};
    }
}

Bytes photo_with_orientation(int orientation)
{
    Bytes samples;
    for (int y = 0; y < STORED_HEIGHT; ++y)
        for (int x = 0; x < STORED_WIDTH; ++x)
            for (const int value : stored_colour(x, y))
                samples.push_back(static_cast<std::uint8_t>(value));
    const std::vector<test::JpegMarker> markers = {
        {JPEG_APP0 + 1, test::exif_app1(test::exif_block(orientation, orientation % 2 == 0))}};
    return test::write_jpeg(samples, STORED_WIDTH, STORED_HEIGHT, JCS_RGB, 3, JCS_YCbCr, false, false, markers);
}

std::string real_tool()
{
    return find_exiftool(StartUpPlaces{"/nonexistent/", std::getenv("PATH") ? std::getenv("PATH") : ""});
}

// One tag of a file as the real tool reads it, as a number.
std::string tag(const std::string& path, const std::string& name)
{
    const std::string command = "'" + real_tool() + "' -s3 -n -" + name + " '" + path + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string text;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        text += buffer;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

struct ModeCase {
    int mode;
    int landscape_width, landscape_height; // output of a landscape display
    int portrait_width, portrait_height;   // output of a portrait display
};

class UprightRunTest : public ::testing::Test {
protected:
    UprightRunTest()
    {
        register_jpeg_and_png_codecs();
        state.start_up(StartUpPlaces{folder.root(), std::getenv("PATH") ? std::getenv("PATH") : ""});
        state.job.normal_size_text = "32";
        state.job.fill_width_text = state.job.uniform_width_text = "40";
        state.job.fill_height_text = state.job.uniform_height_text = "30";
        folder.make_folder("in");
        folder.make_folder("out");
    }

    void write(const std::string& relative, const Bytes& bytes) const
    {
        folder.write(relative, std::string(bytes.begin(), bytes.end()));
    }
    Bytes read(const std::string& relative) const
    {
        const std::string content = folder.read(relative);
        return Bytes(content.begin(), content.end());
    }

    RunReport run()
    {
        state.job.input_folder = folder.root() + "in/";
        state.job.output_folder = folder.root() + "out/";
        state.run.folder_count = state.run.image_count = 0;
        folder_scan(state.run, state.job.input_folder);
        return batch_run(state, front_end, options);
    }

    TestFolder folder;
    AppState state;
    test::RecordingFrontEnd front_end;
    RunOptions options;
};

TEST_F(UprightRunTest, EveryModeSizesAndShowsTheImageAsDisplayed)
{
    for (int orientation = 1; orientation <= 8; ++orientation)
        write("in/o" + std::to_string(orientation) + ".jpg", photo_with_orientation(orientation));

    const ModeCase cases[] = {
        {RESIZE_KEEP, 64, 48, 48, 64},
        {RESIZE_NORMAL, 32, 24, 24, 32},
        {RESIZE_FILL_FIT, 40, 30, 30, 40},
        {RESIZE_UNIFORM, 40, 30, 40, 30},
    };
    for (const ModeCase& c : cases) {
        state.job.resize_mode = c.mode;
        ASSERT_EQ(run().failed, 0) << c.mode;
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const std::string where = "mode " + std::to_string(c.mode) + ", orientation " + std::to_string(orientation);
            const test::RawJpeg output =
                test::read_jpeg(read("out/o" + std::to_string(orientation) + ".jpg"), JCS_RGB);
            const bool portrait = is_quarter_turned(orientation);
            EXPECT_EQ(output.width, portrait ? c.portrait_width : c.landscape_width) << where;
            EXPECT_EQ(output.height, portrait ? c.portrait_height : c.landscape_height) << where;
            const int displayed_width = portrait ? STORED_HEIGHT : STORED_WIDTH;
            const int displayed_height = portrait ? STORED_WIDTH : STORED_HEIGHT;
            // The middle of each quadrant of the output shows the same quadrant of the displayed
            // image (the cut of Uniform is centred, so its halves are the image's halves).
            for (const auto& [fx, fy] : {std::pair{1, 1}, std::pair{3, 1}, std::pair{1, 3}, std::pair{3, 3}}) {
                const int ox = output.width * fx / 4;
                const int oy = output.height * fy / 4;
                const auto [sx, sy] =
                    stored_position(orientation, displayed_width * fx / 4, displayed_height * fy / 4);
                const Rgb expected = stored_colour(sx, sy);
                const std::uint8_t* pixel = &output.samples[static_cast<std::size_t>((oy * output.width + ox) * 3)];
                for (int channel = 0; channel < 3; ++channel)
                    EXPECT_NEAR(pixel[channel], expected[static_cast<std::size_t>(channel)], 60)
                        << where << " at " << fx << "/4, " << fy << "/4";
            }
        }
    }
}

TEST_F(UprightRunTest, TagsMatchThePixelsAndKeepOrientationKeepsWhatIsStored)
{
    if (real_tool().empty())
        GTEST_SKIP() << "exiftool is not installed";
    for (const int orientation : {1, 3, 6, 8})
        write("in/o" + std::to_string(orientation) + ".jpg", photo_with_orientation(orientation));
    state.job.resize_mode = RESIZE_NORMAL;
    state.job.metadata_copy = 1;

    for (const bool keep : {false, true}) {
        state.job.keep_orientation = keep;
        ASSERT_EQ(run().failed, 0);
        for (const int orientation : {1, 3, 6, 8}) {
            const std::string output = folder.path("out/o" + std::to_string(orientation) + ".jpg");
            const test::RawJpeg pixels = test::read_jpeg(read("out/o" + std::to_string(orientation) + ".jpg"), JCS_RGB);
            const bool portrait = !keep && is_quarter_turned(orientation);
            EXPECT_EQ(pixels.width, portrait ? 24 : 32) << orientation << " keep " << keep;
            EXPECT_EQ(tag(output, "Orientation"), std::to_string(keep ? orientation : 1)) << orientation;
            if (!keep && orientation != 1) {
                EXPECT_EQ(tag(output, "ExifImageWidth"), std::to_string(pixels.width)) << orientation;
                EXPECT_EQ(tag(output, "ExifImageHeight"), std::to_string(pixels.height)) << orientation;
            }
        }
    }
}

// An output whose size differs from its source's says its own size in the size tags the source
// had; one of the source's size, or a copy, keeps them; a source without them gives none.
TEST_F(UprightRunTest, SizeTagsSayTheOutputsOwnSizeWheneverItDiffersFromTheSources)
{
    if (real_tool().empty())
        GTEST_SKIP() << "exiftool is not installed";
    write("in/tagged.jpg", photo_with_orientation(1));
    write("in/untagged.jpg", photo_with_orientation(1));
    write("in/tagged.png", test::write_png(STORED_WIDTH, STORED_HEIGHT, PNG_COLOR_TYPE_RGB, 8,
                                           Bytes(STORED_WIDTH * STORED_HEIGHT * 3, 90), {}));
    const std::string tagging = "'" + real_tool() + "' -q -overwrite_original -ExifImageWidth=64 -ExifImageHeight=48 '"
                                + folder.path("in/tagged.jpg") + "' '" + folder.path("in/tagged.png") + "'";
    ASSERT_EQ(std::system(tagging.c_str()), 0);
    state.job.metadata_copy = 1;

    const struct {
        int mode;
        const char* width; // of the tagged outputs; "" for no tag
        const char* height;
    } cases[] = {
        {RESIZE_NORMAL, "32", "24"},
        {RESIZE_UNIFORM, "40", "30"},
        {RESIZE_KEEP, "64", "48"},
        {RESIZE_UPLOAD_ORIGINALS, "64", "48"},
    };
    for (const auto& c : cases) {
        state.job.resize_mode = c.mode;
        ASSERT_EQ(run().failed, 0) << c.mode;
        for (const char* name : {"tagged.jpg", "tagged.png"}) {
            EXPECT_EQ(tag(folder.path(std::string("out/") + name), "ExifImageWidth"), c.width) << name << c.mode;
            EXPECT_EQ(tag(folder.path(std::string("out/") + name), "ExifImageHeight"), c.height) << name << c.mode;
        }
        EXPECT_EQ(tag(folder.path("out/untagged.jpg"), "ExifImageWidth"), "") << c.mode;
        EXPECT_EQ(tag(folder.path("out/untagged.jpg"), "Orientation"), "1") << c.mode; // the rest is copied
    }
}

TEST_F(UprightRunTest, ColourProfilesComeOutAsTheyWentInWithAndWithoutTheMetadataStep)
{
    const Bytes small = test::make_icc_profile(588, "RGB ", 3);
    const Bytes large = test::make_icc_profile(70000, "RGB ", 4);
    Bytes samples(16 * 12 * 3, 128);
    const auto jpeg_with = [&](const Bytes& profile) {
        std::vector<test::JpegMarker> markers;
        const std::size_t piece = 65519;
        const int count = static_cast<int>((profile.size() + piece - 1) / piece);
        for (int i = 0; i < count; ++i) {
            const std::size_t from = static_cast<std::size_t>(i) * piece;
            markers.push_back({JPEG_APP0 + 2, test::icc_app2(i + 1, count, profile.data() + from,
                                                              std::min(piece, profile.size() - from))});
        }
        return test::write_jpeg(samples, 16, 12, JCS_RGB, 3, JCS_YCbCr, false, false, markers);
    };
    write("in/small.jpg", jpeg_with(small));
    write("in/large.jpg", jpeg_with(large));
    write("in/none.jpg", jpeg_with({}));
    test::PngExtras extras;
    extras.icc = small;
    write("in/profile.png", test::write_png(16, 12, PNG_COLOR_TYPE_RGB, 8, samples, extras));

    state.job.resize_mode = RESIZE_NORMAL;
    for (const bool metadata : {false, true}) {
        if (metadata && real_tool().empty())
            break;
        state.job.metadata_copy = metadata ? 1 : 0;
        ASSERT_EQ(run().failed, 0);
        EXPECT_EQ(test::read_jpeg_icc_profile(read("out/small.jpg")), small) << metadata;
        EXPECT_EQ(test::read_jpeg_icc_profile(read("out/large.jpg")), large) << metadata;
        EXPECT_TRUE(test::read_jpeg_icc_profile(read("out/none.jpg")).empty()) << metadata;
        bool found = false;
        for (const test::PngChunk& chunk : test::png_chunks(read("out/profile.png")))
            found = found || chunk.type == "iCCP";
        EXPECT_TRUE(found) << metadata;
    }

    // The service's compressed file drops the profile; the metadata step puts it back.
    if (real_tool().empty())
        return;
    ServiceDouble service;
    ASSERT_TRUE(service.start());
    state.job.api_key = ServiceDouble::default_key;
    state.job.tinify_upload = 1;
    options.shrink_endpoint = service.shrink_url();
    for (const bool metadata : {false, true}) {
        state.job.metadata_copy = metadata ? 1 : 0;
        const RunReport report = run();
        ASSERT_EQ(report.failed, 0);
        ASSERT_FALSE(report.service_failed);
        EXPECT_EQ(test::read_jpeg_icc_profile(read("out/large.jpg")), metadata ? large : Bytes{}) << metadata;
    }
}

} // namespace
} // namespace pictavo
