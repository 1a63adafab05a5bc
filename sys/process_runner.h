// SPDX-License-Identifier: GPL-3.0-or-later
// Starting outside programs, and opening folders and web addresses with the user's
// applications.
#pragma once

#include <string>
#include <vector>

namespace pictavo {

constexpr int RUN_WAIT = 1; // return only after the started process has ended
constexpr int RUN_HIDE = 2; // the child's standard input, output and error go to /dev/null

// Starts program with the given arguments as an argument vector: no shell parses anything, so
// blanks, quotes and any other character reach the program unchanged. A program text without
// '/' is looked up on PATH. The child runs in working_folder, or in the caller's working folder
// when it is empty.
//
// When the text cannot be started as a program (missing, a folder, not executable), it is
// handed to `xdg-open` from PATH instead, which opens folders, documents and web addresses
// (the arguments are not passed on). That happens only for an existing path or a text that
// looks like an address ("scheme:..."); anything else is refused at once. The opener's
// working folder is the given one, or else the folder part of the text.
//
// 1 when a process was started, 0 otherwise. The exit code is never read. A child that is not
// waited for is reaped in the background, so no zombie is left.
int run_program(const std::string& program, const std::vector<std::string>& arguments,
                const std::string& working_folder, int options);

// How long open_with_desktop waits for the opener's answer. A desktop's opener hands the
// target to the application and ends within a fraction of a second; without one, xdg-open
// tries a list of browsers, which takes it about two seconds on a loaded machine before it
// says that none is there. One still running after this is taken to be showing the target.
constexpr int OPEN_ANSWER_MILLISECONDS = 5000;

struct OpenAnswer {
    bool opened = false;
    std::string reason; // when not opened: why, as a phrase for a message ("it does not exist")
};

// Opens a folder, a file or a web address ("scheme:...") with the user's applications through
// `xdg-open` from PATH, and says whether that worked: a path that does not exist, a missing
// opener and an opener that failed (its exit status tells why) are answered with their
// reason. Waits at most answer_milliseconds; the opener is reaped in the background.
OpenAnswer open_with_desktop(const std::string& target, int answer_milliseconds = OPEN_ANSWER_MILLISECONDS);

} // namespace pictavo
