// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/child_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <signal.h>

namespace pictavo {
namespace {

using namespace std::chrono_literals;
using Answer = ChildProcess::Answer;

bool reaped(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

TEST(ChildProcess, AnswersTimeOutsEndsAndNoZombie)
{
    ChildProcess cat;
    ASSERT_TRUE(cat.start("cat", {}, "/"));
    const pid_t cat_pid = cat.pid();
    std::string text;
    ASSERT_TRUE(cat.send("one two\n{ready1}\nrest"));
    EXPECT_EQ(cat.read_until("{ready1}\n", 5s, text), Answer::Complete);
    EXPECT_EQ(text, "one two\n{ready1}\n");
    EXPECT_EQ(cat.read_until("{ready2}\n", 50ms, text), Answer::TimedOut); // "rest" came, no marker
    ASSERT_TRUE(cat.send("\n{ready2}\n"));
    EXPECT_EQ(cat.read_until("{ready2}\n", 5s, text), Answer::Complete);
    EXPECT_EQ(text, "rest\n{ready2}\n");
    cat.finish(5s); // cat ends when its input closes
    EXPECT_FALSE(cat.running());
    EXPECT_TRUE(reaped(cat_pid));
    EXPECT_FALSE(cat.send("too late\n")); // no SIGPIPE, only an answer

    struct Ending {
        std::string script;
        std::chrono::milliseconds limit;
        Answer expected;
    };
    const Ending endings[] = {
        {"printf partial; exit 3", 10s, Answer::Ended},
        {"yes", 10s, Answer::TooLong},
        {"sleep 100", 200ms, Answer::TimedOut},
    };
    for (const auto& [script, limit, expected] : endings) {
        ChildProcess child;
        ASSERT_TRUE(child.start("/bin/sh", {"-c", script}, ""));
        EXPECT_EQ(child.read_until("{ready}", limit, text), expected) << script;
        const pid_t pid = child.pid();
        child.kill();
        EXPECT_TRUE(reaped(pid)) << script;
    }

    ChildProcess missing;
    EXPECT_FALSE(missing.start("/nonexistent/tool", {}, ""));
    EXPECT_FALSE(missing.running());
    EXPECT_FALSE(missing.start("cat", {}, "/nonexistent-folder"));
}

} // namespace
} // namespace pictavo
