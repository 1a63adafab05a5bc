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

} // namespace pictavo
