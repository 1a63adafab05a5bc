// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_data.h"
#include "window_fixture.h"

#include <filesystem>

namespace pictavo {
namespace {

const std::string SAMPLE_JPEG = test::testdata("jpeg/testorig.jpg");

class WindowRunTest : public WindowTest {
protected:
    // count JPEGs under in/, spread over in/ and in/sub/.
    void make_images(int count)
    {
        for (int i = 0; i < count; ++i) {
            const std::string relative = (i % 2 == 0 ? "in/" : "in/sub/") + std::to_string(i) + ".jpg";
            files.make_folder(i % 2 == 0 ? "in" : "in/sub");
            std::filesystem::copy_file(SAMPLE_JPEG, files.path(relative));
            std::filesystem::permissions(files.path(relative), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
        }
    }
    // A started window with images in in/ and the folders in/ and out/ picked.
    void start_with_images(int count)
    {
        start();
        make_images(count);
        files.make_folder("out");
        pick_input(files.path("in/"));
        pick_output(files.path("out/"));
    }
    void expect_idle_look()
    {
        EXPECT_EQ(control(C::processButton).text, "PROCESS");
        EXPECT_TRUE(control(C::processButton).enabled);
        EXPECT_TRUE(control(C::progressBar).hidden);
        EXPECT_FALSE(tk.busy_pointer);
    }
    void expect_refused(const std::string& text)
    {
        const std::size_t boxes_before = tk.boxes.size();
        click(C::processButton);
        ASSERT_EQ(tk.boxes.size(), boxes_before + 1);
        EXPECT_EQ(tk.boxes.back().title, "PTV ERROR");
        EXPECT_EQ(tk.boxes.back().text, text);
        EXPECT_EQ(tk.boxes.back().icon, BoxIcon::Error);
        expect_idle_look();
    }
};

const char* const FOLDERS_MESSAGE = "Please Select PTV Input and Output Folders.....";

TEST_F(WindowRunTest, ProcessRefusesMissingFoldersAndAnEmptyInput)
{
    start();
    expect_refused(FOLDERS_MESSAGE);

    files.make_folder("empty");
    files.make_folder("out");
    pick_input(files.path("empty/"));
    pick_output(""); // cancelled before any output folder was chosen
    expect_refused(FOLDERS_MESSAGE);

    pick_output(files.path("out/"));
    EXPECT_EQ(control(C::statusLine).text, "Found 0 images in 1 folders");
    EXPECT_FALSE(control(C::inputOpenButton).enabled);
    expect_refused("PTV Input Folder is empty.....");

    make_images(1);
    pick_input(files.path("in/"));
    std::filesystem::remove_all(files.path("out"));
    expect_refused(FOLDERS_MESSAGE);
    EXPECT_TRUE(files.entries().size() == 2u); // empty/ and in/: nothing was created
}

TEST_F(WindowRunTest, ARunOfTwelveImagesShowsItsProgressAndEndsIdleWithItsCount)
{
    start_with_images(12);
    EXPECT_EQ(control(C::statusLine).text, "Found 12 images in 2 folders");

    int busy_looks = 0;
    std::int64_t last_position = 0;
    tk.on_next_event = [&] {
        const MemoryControl& process = control(C::processButton);
        if (process.text == "Busy...." && !process.enabled && tk.busy_pointer && !control(C::progressBar).hidden)
            ++busy_looks;
        last_position = control(C::progressBar).state;
        tk.queue_event({EventType::Click, id(C::keepOriginalBox)}); // taken during the run: dropped
    };
    tk.click(id(C::processButton));
    window->handle(tk.next_event());
    tk.on_next_event = nullptr;

    EXPECT_GE(busy_looks, 13); // once before the walk and once per image
    EXPECT_EQ(last_position, 12);
    EXPECT_EQ(control(C::progressBar).minimum, 1);
    EXPECT_EQ(control(C::progressBar).maximum, 12);
    const MemoryBox done = last_message();
    EXPECT_EQ(done.title, "PTV Information");
    EXPECT_EQ(done.text, "12 Images done.");
    EXPECT_EQ(done.icon, BoxIcon::Information);
    expect_idle_look();
    EXPECT_EQ(state.job.resize_mode, 1);
    EXPECT_TRUE(ticked(C::normalResizeBox));
    EXPECT_FALSE(ticked(C::keepOriginalBox));
    EXPECT_EQ(files.entries("out").size(), 7u); // six images and sub/
    EXPECT_EQ(files.entries("out/sub").size(), 6u);
    EXPECT_EQ(control(C::statusLine).text, "Found 12 images in 2 folders");
}

TEST_F(WindowRunTest, ClosingDuringARunClosesTheWindowOnlyAfterItsEnd)
{
    start_with_images(3);
    bool closed = false;
    tk.on_next_event = [&] {
        if (!closed && control(C::processButton).text == "Busy....") {
            closed = true;
            tk.request_close();
        }
    };
    click(C::processButton);
    EXPECT_TRUE(closed);
    EXPECT_EQ(last_message().text, "3 Images done."); // the run went on to its end
    EXPECT_EQ(files.entries("out").size(), 3u);
    EXPECT_TRUE(window->closed());
}

TEST_F(WindowRunTest, WritingIntoTheInputFolderAsksFirst)
{
    start();
    make_images(2);
    pick_input(files.path("in/"));
    pick_output(files.path("in/"));
    const std::string before = files.read("in/0.jpg");

    tk.answer_question(false);
    click(C::processButton);
    EXPECT_EQ(tk.boxes_of(BoxKind::Question).size(), 1u);
    EXPECT_TRUE(tk.boxes_of(BoxKind::Message).empty());
    EXPECT_EQ(files.read("in/0.jpg"), before);
    expect_idle_look();

    tk.answer_question(true);
    click(C::processButton);
    EXPECT_EQ(last_message().text, "2 Images done.");
    EXPECT_TRUE(files.read("in/0.jpg") != before); // re-encoded at 1000 pixels
}

} // namespace
} // namespace pictavo
