// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT and SIGTERM as a request to stop a run, for a program without a window.
//
// The first of them only sets a flag that the run looks at between images, so the images in
// progress finish and the program ends in its own time. A second one means "now": the handler
// removes this process's open temporary files (sys/temporary_registry.h) and ends the process
// at once with status 128 + the signal's number, leaving every output as complete as it was.
#pragma once

#include <atomic>

namespace pictavo {

// Installs the handlers for SIGINT and SIGTERM (system calls they interrupt are restarted).
void catch_stop_signals();

// Set by the first stop signal; stays set for the life of the process.
const std::atomic<bool>& stop_signal_flag();

// The number of the first stop signal received, or 0.
int stop_signal_received();

// Blocks both signals in the calling thread and in the threads it starts afterwards, so that
// they reach the thread that handles them and never interrupt a worker's system calls.
void block_stop_signals_in_this_thread();

} // namespace pictavo
