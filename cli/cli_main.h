// SPDX-License-Identifier: GPL-3.0-or-later
// pictavo-cli from its arguments to its exit status.
#pragma once

#include "cli/cli_front_end.h"

#include <string>
#include <vector>

namespace pictavo {

constexpr int EXIT_ALL_DONE = 0;
constexpr int EXIT_SOME_FAILED = 1; // images that failed, or a failed compression exchange
constexpr int EXIT_USAGE = 2;       // wrong options, missing folders, no images, a No answer

// Runs the command line given without the program name.
int cli_main(const std::vector<std::string>& arguments, const CliStreams& streams);

// A folder argument as the run uses it: the full path with links resolved, ending with '/'.
// A folder that does not exist keeps its text (with the '/'), so that the run's check reports it.
std::string folder_argument(const std::string& text);

} // namespace pictavo
