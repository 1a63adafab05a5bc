// SPDX-License-Identifier: GPL-3.0-or-later
// The preview window's side of the main window: what a run would write, made in memory.
#include "test_data.h"
#include "window_fixture.h"

#include <filesystem>

namespace pictavo {
namespace {

class PreviewTest : public WindowTest {
protected:
    void SetUp() override
    {
        start();
        files.make_folder("in/sub");
        files.make_folder("out");
        std::filesystem::copy_file(test::testdata("jpeg/testorig.jpg"), files.path("in/a.jpg"));
        std::filesystem::copy_file(test::testdata("png/pngsuite/basn6a08.png"), files.path("in/sub/b.png"));
        pick_input(files.path("in/"));
        pick_output(files.path("out/"));
    }
    // The preview once its work is done.
    const PreviewResult& previewed()
    {
        window->preview().finish();
        static const PreviewResult none;
        const auto& shown = window->preview().shown();
        EXPECT_TRUE(shown.has_value());
        return shown ? *shown : none;
    }
    void run()
    {
        tk.answer_question(true);
        click(C::processButton);
    }
};

TEST_F(PreviewTest, ShowsWhatARunWritesForTheSameSettingsAndFollowsTheirChanges)
{
    click(C::previewButton);
    EXPECT_TRUE(tk.preview_is_open);
    EXPECT_EQ(tk.preview_title, "PTV Preview");
    ASSERT_FALSE(tk.previews.empty());
    EXPECT_EQ(tk.previews.front().note, "Making the preview\u2026"); // at once, before the work is done
    const PreviewResult& first = previewed();
    EXPECT_EQ(window->preview().source_path(), files.path("in/a.jpg")); // the walk's first image
    const PreviewContent& content = tk.previews.back();
    EXPECT_TRUE(content.note.empty()) << content.note;
    EXPECT_EQ(content.before.width, 1000); // resized as the run resizes it
    EXPECT_EQ(content.after.width, 1000);
    EXPECT_EQ(content.after.rgba.size(), static_cast<std::size_t>(content.after.width) * content.after.height * 4);
    EXPECT_EQ(content.before_caption.rfind("Original: 227 \u00d7 149 px, ", 0), 0u) << content.before_caption;
    EXPECT_EQ(content.after_caption.rfind("Output: 1000 \u00d7 656 px, ", 0), 0u) << content.after_caption;
    run();
    EXPECT_EQ(std::string(first.output.begin(), first.output.end()), files.read("out/a.jpg"));

    // Another format is another encoder, and the JPEG reaches WebP's as its YCbCr planes: in the
    // preview as in the run.
    tk.choose(id(C::formatChoice), 3);
    pump();
    const PreviewResult& webp = previewed();
    EXPECT_EQ(webp.content.before.width, 1000);
    EXPECT_EQ(webp.content.after.width, 1000);
    EXPECT_EQ(webp.content.after_caption.rfind("Output: 1000 \u00d7 656 px, ", 0), 0u) << webp.content.after_caption;
    run();
    EXPECT_EQ(std::string(webp.output.begin(), webp.output.end()), files.read("out/a.webp"));
    tk.choose(id(C::formatChoice), 0);
    pump();
    previewed();

    // Each change of the settings makes a new preview, again what a run then writes.
    struct Change {
        const char* what;
        std::function<void()> make;
    };
    const Change changes[] = {
        {"quality 3", [&] { enter(C::qualityField, "3"); }},
        {"keep size", [&] { click(C::keepOriginalBox); }},
        {"optimize", [&] { click(C::optimizeBox); }},
        {"max size", [&] { enter(C::maxSizeField, "3"); }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        const std::size_t before = tk.previews.size();
        change.make();
        const PreviewResult& made = previewed();
        EXPECT_GT(tk.previews.size(), before);
        std::filesystem::remove(files.path("out/a.jpg"));
        run();
        EXPECT_EQ(std::string(made.output.begin(), made.output.end()), files.read("out/a.jpg"));
    }

    // Another image, chosen in the window; a PNG with alpha keeps it in both pictures.
    tk.answer_picker(files.path("in/sub/b.png"));
    tk.queue_event({EventType::PreviewChoose});
    pump();
    const PreviewResult& png = previewed();
    EXPECT_EQ(tk.boxes_of(BoxKind::FilePicker).back().text, files.path("in/"));
    ASSERT_EQ(png.content.after.rgba.size(), png.content.before.rgba.size());
    bool translucent = false;
    for (std::size_t i = 3; i < png.content.after.rgba.size(); i += 4) {
        ASSERT_EQ(png.content.after.rgba[i], png.content.before.rgba[i]) << i; // PNG output loses nothing
        translucent = translucent || png.content.after.rgba[i] < 255;
    }
    EXPECT_TRUE(translucent);
    run();
    EXPECT_EQ(std::string(png.output.begin(), png.output.end()), files.read("out/sub/b.png"));

    // Closed, it is left alone; opened again, the same image.
    tk.preview_is_open = false;
    const std::size_t shown = tk.previews.size();
    enter(C::qualityField, "9");
    window->preview().finish();
    EXPECT_EQ(tk.previews.size(), shown);
    click(C::previewButton);
    previewed();
    EXPECT_EQ(window->preview().source_path(), files.path("in/sub/b.png"));
}

TEST_F(PreviewTest, WithoutImagesItSaysWhatToDoAndAnUnreadableImageSaysWhy)
{
    files.make_folder("empty");
    pick_input(files.path("empty/"));
    click(C::previewButton);
    EXPECT_FALSE(tk.preview_is_open);
    EXPECT_EQ(last_message().text, "Choose an input folder with images first: the preview shows one of them.");

    files.write("in/broken.jpg", "not an image");
    pick_input(files.path("in/"));
    click(C::previewButton);
    tk.answer_picker(files.path("in/broken.jpg"));
    tk.queue_event({EventType::PreviewChoose});
    pump();
    const PreviewResult& broken = previewed();
    EXPECT_EQ(broken.content.note, files.path("in/broken.jpg") + ": not an image");
    EXPECT_TRUE(broken.output.empty());
}

} // namespace
} // namespace pictavo
