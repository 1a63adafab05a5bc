// SPDX-License-Identifier: GPL-3.0-or-later
// What a program that draws a line in place needs of the terminal it writes to.
#pragma once

namespace pictavo {

// The width in columns of the terminal open on descriptor, or 0 when it is none (a file, a
// pipe) or does not say.
int terminal_columns(int descriptor);

// From now on a change of the terminal's size (SIGWINCH) is noted, for terminal_resized().
void watch_terminal_size();

// True once after each change of the terminal's size since the last call.
bool terminal_resized();

} // namespace pictavo
