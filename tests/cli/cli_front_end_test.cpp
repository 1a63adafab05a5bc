// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_front_end.h"

#include "cli/progress_line.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace pictavo {
namespace {

// A stream kept in memory, read back as text.
class MemoryStream {
public:
    explicit MemoryStream(const std::string& content = "") : file_(std::tmpfile())
    {
        std::fputs(content.c_str(), file_);
        std::rewind(file_);
    }
    ~MemoryStream() { std::fclose(file_); }
    std::FILE* get() const { return file_; }
    std::string text() const
    {
        std::fflush(file_);
        std::string all;
        std::rewind(file_);
        char buffer[256];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file_))
            all.append(buffer, n);
        return all;
    }

private:
    std::FILE* file_;
};

TEST(CliFrontEnd, ChecksToStandardErrorOutcomeToStandardOutput)
{
    MemoryStream out, err;
    CliFrontEnd front({stdin, out.get(), err.get(), false}, false, false);
    front.message_box("PTV ERROR", "PTV Input Folder is empty.....", MessageIcon::Error);
    front.set_busy(true);
    front.run_started({2, 0, 2});
    front.image_finished({1, 1, "/in/b.png", "b.png", {}});
    front.image_finished({0, 2, "/in/a.jpg", "a.jpg", {}});
    front.hide_progress();
    front.set_busy(false);
    front.message_box("PTV Error", " Error Using Tinify API.", MessageIcon::Error);
    front.message_box("PTV Information", "2 Images done.", MessageIcon::Information);
    EXPECT_EQ(err.text(), "pictavo-cli: PTV ERROR: PTV Input Folder is empty.....\n"
                          "[1/2] /in/b.png\n[2/2] /in/a.jpg\n");
    EXPECT_EQ(out.text(), " Error Using Tinify API.\n2 Images done.\n");
}

TEST(CliFrontEnd, QuietDropsProgressButNotOutcome)
{
    MemoryStream out, err;
    CliFrontEnd front({stdin, out.get(), err.get(), false}, true, false);
    front.note("Found 2 images in 1 folders");
    front.set_busy(true);
    front.run_started({2, 0, 1});
    front.image_finished({0, 1, "/in/a.jpg", "a.jpg", {}});
    front.message_box("PTV Information", "2 Images done.", MessageIcon::Information);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(out.text(), "2 Images done.\n");
}

TEST(CliFrontEnd, QuestionIsAskedOnATerminalAndRefusedWithoutOne)
{
    {
        MemoryStream in, out, err;
        CliFrontEnd front({in.get(), out.get(), err.get(), false}, false, false);
        EXPECT_FALSE(front.ask_yes_no("PTV Question", "Overwrite?"));
        EXPECT_TRUE(front.refused());
        EXPECT_NE(err.text().find("--yes"), std::string::npos);
    }
    {
        MemoryStream in, out, err;
        CliFrontEnd front({in.get(), out.get(), err.get(), false}, false, true);
        EXPECT_TRUE(front.ask_yes_no("PTV Question", "Overwrite?"));
        EXPECT_FALSE(front.refused());
    }
    for (const auto& [answer, yes] : {std::pair{"y\n", true}, {"yes\n", true}, {"n\n", false}, {"\n", false},
                                      {"", false}, {"yesterday\n", false}}) {
        MemoryStream in(answer), out, err;
        CliFrontEnd front({in.get(), out.get(), err.get(), true}, false, false);
        EXPECT_EQ(front.ask_yes_no("PTV Question", "Overwrite?"), yes) << answer;
        EXPECT_FALSE(front.refused());
        EXPECT_NE(err.text().find("Overwrite? [y/N]"), std::string::npos);
    }
}


int columns_of(const std::string& line)
{
    int count = 0;
    for (const char c : line)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

TEST(ProgressLine, SaysHowFarHowFastAndWhatItSavedWithinItsWidth)
{
    RunProgress progress{250, 1000, 50.0, 3 * 1024 * 1024, 240, "holiday/2024/a rather long folder name/IMG_0001.jpg"};
    EXPECT_EQ(progress_line_text(progress, 200),
              "[250/1000] 5.0/s, 2:30 left, saved 3 MB  holiday/2024/a rather long folder name/IMG_0001.jpg");
    const std::string narrow = progress_line_text(progress, 60);
    EXPECT_EQ(columns_of(narrow), 60);
    EXPECT_EQ(narrow.rfind("[250/1000] 5.0/s, 2:30 left, saved 3 MB  holi", 0), 0u) << narrow;
    EXPECT_NE(narrow.find("\u2026"), std::string::npos); // the file cut in its middle
    EXPECT_EQ(narrow.substr(narrow.size() - 8), "0001.jpg");
    // No room for a useful part of the file: none of it; less room still: the line cut.
    EXPECT_EQ(progress_line_text(progress, 45), "[250/1000] 5.0/s, 2:30 left, saved 3 MB");
    EXPECT_EQ(columns_of(progress_line_text(progress, 20)), 20);
    // Rates and times as they grow; no rate before the second image; growth said as such.
    EXPECT_EQ(progress_line_text({1, 9, 3.0, 0, 0, ""}, 80), "[1/9]");
    EXPECT_EQ(progress_line_text({36000, 100000, 1800.0, -2048, 10, ""}, 80), "[36000/100000] 20/s, 53:20 left, grew 2 KB");
    EXPECT_EQ(progress_line_text({2, 90000, 7.0, 0, 2, ""}, 80), "[2/90000] 0.3/s, 87:29:53 left, saved 0 bytes");
}

// The bytes a pseudo-terminal's other end has received so far.
std::string drain(int master)
{
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

TEST(CliFrontEnd, OnATerminalOneLineIsRedrawnInPlaceWithFailuresAboveItAndNothingOnStandardOutput)
{
    int master = -1;
    int terminal = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 60;
    ASSERT_EQ(::openpty(&master, &terminal, nullptr, nullptr, &size), 0);
    termios raw{};
    ::tcgetattr(terminal, &raw);
    ::cfmakeraw(&raw); // the bytes as written, no line-end translation
    ::tcsetattr(terminal, TCSANOW, &raw);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    std::FILE* err = ::fdopen(terminal, "w");
    ASSERT_NE(err, nullptr);
    MemoryStream out;
    MemoryStream file;
    EXPECT_EQ(progress_style_for(err, false, ""), ProgressStyle::Bar);
    EXPECT_EQ(progress_style_for(file.get(), false, ""), ProgressStyle::Lines);
    EXPECT_EQ(progress_style_for(err, true, ""), ProgressStyle::None);
    EXPECT_EQ(progress_style_for(file.get(), false, "bar"), ProgressStyle::Bar);
    EXPECT_EQ(progress_style_for(err, false, "lines"), ProgressStyle::Lines);

    CliFrontEnd front({stdin, out.get(), err, false}, false, false, StopSignals::Default, ProgressStyle::Bar);
    front.set_busy(true);
    front.run_started({4, 0, 2});
    ImageResult written;
    written.outcome = ImageOutcome::Written;
    written.source_bytes = 5000;
    written.output_bytes = 1000;
    const std::string long_name = "a folder with a long name/and another one/IMG_20240101_123456.jpg";
    front.image_finished({0, 1, "/in/" + long_name, long_name, written});
    ImageResult failed;
    failed.outcome = ImageOutcome::Failed;
    failed.failure.reason = FailureReason::NotAnImage;
    front.image_finished({1, 2, "/in/b.jpg", "b.jpg", failed});
    size.ws_col = 40;
    ASSERT_EQ(::ioctl(terminal, TIOCSWINSZ, &size), 0);
    ::raise(SIGWINCH);
    RunEventQueue events;
    front.wait_for_run_events(events);
    front.image_finished({2, 3, "/in/c.jpg", "c.jpg", written});
    front.image_finished({3, 4, "/in/d.jpg", "d.jpg", written});
    front.hide_progress();
    front.set_busy(false);
    front.message_box("PTV Information", "4 Images done.", MessageIcon::Information);
    std::fclose(err);
    const std::string shown = drain(master);
    ::close(master);

    // Every drawing starts by going back to the line's start and erasing it.
    const std::string erase = "\r\x1b[K";
    std::vector<std::string> drawings;
    for (std::size_t at = shown.find(erase); at != std::string::npos;) {
        const std::size_t next = shown.find(erase, at + erase.size());
        drawings.push_back(shown.substr(at + erase.size(), next == std::string::npos ? next : next - at - erase.size()));
        at = next;
    }
    ASSERT_GE(drawings.size(), 5u) << shown;
    EXPECT_EQ(drawings[0].rfind("[1/4], saved 3.9 KB  ", 0), 0u) << drawings[0];
    EXPECT_LE(columns_of(drawings[0]), 59);
    EXPECT_NE(drawings[0].find("123456.jpg"), std::string::npos);
    // The failure erases the bar, stands on a line of its own, and the bar comes back below it.
    EXPECT_EQ(drawings[1], "pictavo-cli: b.jpg: not an image\n");
    EXPECT_EQ(drawings[2].rfind("[2/4]", 0), 0u) << drawings[2];
    // After the terminal narrowed, the bar fits the new width.
    EXPECT_EQ(drawings[3].rfind("[2/4]", 0), 0u) << drawings[3];
    EXPECT_LE(columns_of(drawings[3]), 39);
    EXPECT_EQ(drawings[drawings.size() - 2].rfind("[4/4]", 0), 0u);
    EXPECT_EQ(drawings.back(), ""); // erased before the run's outcome
    EXPECT_EQ(shown.find("/in/"), std::string::npos); // no per-image lines
    EXPECT_EQ(out.text(), "4 Images done.\n");
}

} // namespace
} // namespace pictavo
