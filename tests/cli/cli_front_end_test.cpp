// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_front_end.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

} // namespace
} // namespace pictavo
