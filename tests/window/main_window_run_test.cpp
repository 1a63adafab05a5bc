// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_data.h"
#include "window_fixture.h"
#include "final_message.h"

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

const std::string FOLDERS_MESSAGE = "Please Select PTV Input and Output Folders.....\n";

TEST_F(WindowRunTest, ProcessRefusesMissingFoldersAndAnEmptyInput)
{
    start();
    expect_refused(FOLDERS_MESSAGE + "No input folder is chosen.\nNo output folder is chosen.");

    files.make_folder("empty");
    files.make_folder("out");
    pick_input(files.path("empty/"));
    pick_output(""); // cancelled before any output folder was chosen
    expect_refused(FOLDERS_MESSAGE + "No output folder is chosen.");

    pick_output(files.path("out/"));
    EXPECT_EQ(control(C::statusLine).text, "Found 0 images in 1 folders");
    EXPECT_FALSE(control(C::inputOpenButton).enabled);
    expect_refused("PTV Input Folder is empty.....\nNo .jpg, .jpeg or .png file was found in " + files.path("empty/") +
                   " or its sub-folders.");

    make_images(1);
    pick_input(files.path("in/"));
    std::filesystem::remove_all(files.path("out"));
    expect_refused(FOLDERS_MESSAGE + "The output folder " + files.path("out/") + " does not exist.");
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
        if (process.text == "Stop" && process.enabled && tk.busy_pointer && !control(C::progressBar).hidden)
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
    EXPECT_EQ(test::without_savings_line(done.text), "12 Images done.");
    EXPECT_EQ(done.icon, BoxIcon::Information);
    expect_idle_look();
    EXPECT_EQ(state.job.resize_mode, 1);
    EXPECT_TRUE(ticked(C::normalResizeBox));
    EXPECT_FALSE(ticked(C::keepOriginalBox));
    EXPECT_EQ(files.entries("out").size(), 7u); // six images and sub/
    EXPECT_EQ(files.entries("out/sub").size(), 6u);
    EXPECT_EQ(control(C::statusLine).text, "Found 12 images in 2 folders");
}

// The entries of a folder tree that are not outputs: temporaries and the like.
std::vector<std::string> leftovers(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".jpg")
            found.push_back(entry.path().string());
        else if (entry.path().filename().string().front() == '.')
            found.push_back(entry.path().string());
    return found;
}

std::size_t outputs_in(const std::string& folder)
{
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

TEST_F(WindowRunTest, StopOrEscapeEndsTheRunAfterTheImagesInProgress)
{
    start_with_images(12);
    for (const EventType how : {EventType::Click, EventType::Escape}) {
        SCOPED_TRACE(how == EventType::Click ? "Stop clicked" : "Escape");
        std::filesystem::remove_all(files.path("out"));
        files.make_folder("out");
        bool asked = false;
        std::string caption_after;
        tk.on_next_event = [&] {
            if (!asked && !control(C::progressBar).hidden && control(C::progressBar).state >= 1) {
                asked = true;
                if (how == EventType::Click)
                    tk.click(id(C::processButton)); // live while everything else is inert
                else
                    tk.queue_event({EventType::Escape});
                tk.click(id(C::keepOriginalBox));
            } else if (asked && caption_after.empty()) {
                caption_after = control(C::processButton).text + (control(C::processButton).enabled ? "" : " (off)");
            }
        };
        click(C::processButton);
        tk.on_next_event = nullptr;

        EXPECT_EQ(caption_after, "Stopping.... (off)");
        const std::string text = last_message().text;
        ASSERT_EQ(text.rfind("Stopped: ", 0), 0u) << text;
        const std::size_t done = std::stoul(text.substr(9));
        EXPECT_EQ(test::without_savings_line(text), "Stopped: " + std::to_string(done) + " of 12 images done.");
        EXPECT_GE(done, 1u);
        EXPECT_LT(done, 12u);
        EXPECT_EQ(outputs_in(files.path("out")), done); // every image done was written, no other
        EXPECT_EQ(leftovers(files.path("out")), std::vector<std::string>{});
        EXPECT_FALSE(ticked(C::keepOriginalBox));
        expect_idle_look();
        EXPECT_FALSE(window->closed());
    }

    // Idle, Escape closes the window.
    window->handle({EventType::Escape});
    EXPECT_TRUE(window->closed());
}

TEST_F(WindowRunTest, SkipExistingLeavesEveryOutputThatIsThere)
{
    start_with_images(4);
    files.make_folder("out/sub");
    files.write("out/0.jpg", "an earlier output");
    click(C::skipExistingBox);
    EXPECT_TRUE(ticked(C::skipExistingBox));
    click(C::processButton);
    EXPECT_EQ(test::without_savings_line(last_message().text), "4 Images done.\n1 skipped: their outputs were there already.");
    EXPECT_EQ(files.read("out/0.jpg"), "an earlier output");
    EXPECT_EQ(outputs_in(files.path("out")), 4u);
}

TEST_F(WindowRunTest, ClosingDuringARunStopsItAndClosesTheWindowAfterItsEnd)
{
    start_with_images(3);
    bool closed = false;
    tk.on_next_event = [&] {
        if (!closed && control(C::processButton).text == "Stop") {
            closed = true;
            tk.request_close();
        }
    };
    click(C::processButton);
    EXPECT_TRUE(closed);
    // Asked before the first image started: none did.
    EXPECT_EQ(last_message().text, "Stopped: 0 of 3 images done.");
    EXPECT_EQ(outputs_in(files.path("out")), 0u);
    EXPECT_TRUE(window->closed());
    EXPECT_TRUE(config.exists("window.conf")); // closed as any close does, remembering the session
}

TEST_F(WindowRunTest, TheFinalBoxOffersTheResultsWhichOpenOutputsAndSaveTheReport)
{
    start_with_images(3);
    files.write("in/broken.jpg", "not an image");
    pick_input(files.path("in/"));
    tk.answer_offer(true);
    std::vector<std::string> rows;
    std::string totals;
    tk.on_table = [&](TableSource& table, const TableActionHandler& act) {
        for (std::size_t row = 0; row < table.row_count(); ++row)
            rows.push_back(table.cell(row, 0) + " " + table.cell(row, 1));
        table.set_filter(true);
        totals = table.totals();
        act(TableAction::Activate, 0); // the failed image: its folder
        table.set_filter(false);
        table.sort_by(0, true);
        act(TableAction::Activate, 0); // 0.jpg itself
        tk.answer_picker(files.path("out/run.json"));
        act(TableAction::Save, 0);
        tk.answer_picker(files.path("out/run.jpg"));
        act(TableAction::Save, 0);
        tk.answer_picker("");
        act(TableAction::Save, 0); // cancelled
    };
    click(C::processButton);

    const MemoryBox outcome = tk.boxes_of(BoxKind::Message).front();
    EXPECT_EQ(outcome.answer, "Show Results");
    EXPECT_EQ(test::without_savings_line(outcome.text), "4 Images done.\n1 failed:\nbroken.jpg: not an image");
    ASSERT_EQ(tk.tables.size(), 1u);
    EXPECT_EQ(tk.tables[0].title, "PTV Results");
    EXPECT_EQ(tk.tables[0].filter_caption, "Show only failures");
    EXPECT_EQ(tk.tables[0].save_caption, "Save Report\u2026");
    EXPECT_EQ(rows, (std::vector<std::string>{"0.jpg written", "2.jpg written", "broken.jpg failed", "sub/1.jpg written"}));
    EXPECT_EQ(totals, "1 image, 1 failed.");
    EXPECT_EQ(opened, (std::vector<std::string>{files.path("out/"), files.path("out/0.jpg")}));
    // The report is the command line's, of this run.
    const std::string report = files.read("out/run.json");
    EXPECT_NE(report.find("\"path\": \"broken.jpg\""), std::string::npos) << report;
    EXPECT_NE(report.find("\"skip_existing\": false"), std::string::npos);
    EXPECT_FALSE(files.exists("out/run.jpg")); // never in an image's place
    const std::vector<MemoryBox> pickers = tk.boxes_of(BoxKind::SavePicker);
    ASSERT_EQ(pickers.size(), 3u);
    EXPECT_EQ(pickers[0].text, files.path("out/pictavo-report.json"));
    const MemoryBox refusal = tk.boxes[tk.boxes.size() - 2]; // before the cancelled picker
    EXPECT_EQ(refusal.text, "A report cannot take the name of an image: " + files.path("out/run.jpg") + ".");
    EXPECT_EQ(refusal.icon, BoxIcon::Error);

    // Declined: OK alone, no table.
    click(C::processButton);
    EXPECT_EQ(tk.boxes_of(BoxKind::Message).back().answer, "OK");
    EXPECT_EQ(tk.tables.size(), 1u);
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
    EXPECT_EQ(test::without_savings_line(last_message().text), "2 Images done.");
    EXPECT_TRUE(files.read("in/0.jpg") != before); // re-encoded at 1000 pixels
}

} // namespace
} // namespace pictavo
