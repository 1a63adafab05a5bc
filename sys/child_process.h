// SPDX-License-Identifier: GPL-3.0-or-later
// A program kept running beside this one and talked to through its standard input and output.
//
// Made for helper tools that read requests line by line and end each answer with a marker
// line. No shell is involved: the program gets its arguments as a vector, so any character in
// them arrives unchanged. The child's standard error goes to /dev/null, and it runs in a
// process group of its own, so a Ctrl-C in the terminal reaches this program and not the tool.
//
// The child is killed by the system when the thread that started it ends, so a tool never
// outlives a run that crashed or was killed; its owner ends it (finish or kill) before that
// thread ends. Every child is reaped: no zombie is left.
#pragma once

#include "sys/descriptor.h"

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo {

// An answer longer than this is no answer of a well-behaved tool; reading stops there.
constexpr std::size_t CHILD_ANSWER_LIMIT = 1024 * 1024;

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess(); // kills and reaps a child that still runs

    // Starts program (a path; a name without '/' is looked up on PATH) with the arguments, in
    // working_folder (this process's own when empty). False when it could not be started
    // (missing, not executable, no resources), or when a child is running already.
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& working_folder);

    // A child was started and has not been reaped yet.
    bool running() const { return pid_ > 0; }
    // Whether the child still runs; one that has ended is reaped here.
    bool alive();
    pid_t pid() const { return pid_; }

    // Writes all of text to the child's standard input; false when the child has gone.
    bool send(std::string_view text);

    enum class Answer {
        Complete, // the marker arrived
        Ended,    // the child closed its output (it died or exited) before the marker
        TimedOut, // the time limit passed first
        TooLong,  // more than CHILD_ANSWER_LIMIT bytes came without the marker
    };
    // Reads the child's output until it contains marker. On Complete, text is the output up
    // to and including the marker; output after it is kept for the next answer.
    Answer read_until(std::string_view marker, std::chrono::milliseconds time_limit, std::string& text);

    // Closes the child's input and gives it up to grace to end by itself, then kills it. The
    // child is reaped either way.
    void finish(std::chrono::milliseconds grace);
    // Kills the child at once and reaps it.
    void kill();

private:
    void reap(bool blocking);
    void forget();

    pid_t pid_ = -1;
    Descriptor input_;
    Descriptor output_;
    std::string pending_; // output read past the last marker
};

} // namespace pictavo
