// SPDX-License-Identifier: GPL-3.0-or-later
// Numbered worker threads.
//
// Threads are named by numbers, not by host handles. Numbers start at 1, only grow and are
// never given twice in a process; 0 never names a thread. A thread's entry stays in the
// registry after it ended until the next thread_start sweeps it (or the program ends), but a
// wait treats an ended thread like an unknown number and returns at once.
#pragma once

#include <cstdint>

namespace pictavo {

using ThreadNumber = std::int64_t;

// Runs on the new thread with the parameter given to thread_start. Its result is not kept.
using ThreadProcedure = int (*)(void*);

// Starts procedure(parameter) on a new thread: its number, or 0 when no thread could be made.
ThreadNumber thread_start(ThreadProcedure procedure, void* parameter);

// Waits without a time limit until the thread has ended: 1. Number 0, a number never given and
// a thread that has already ended give 1 at once.
int thread_wait(ThreadNumber number);

// Waits at most limit_ms milliseconds (a negative limit means no limit): 1 when the thread has
// ended (or is not known, as above), 0 when the limit passed while it still ran.
int thread_wait(ThreadNumber number, std::int64_t limit_ms);

// 1 while the thread with that number runs, else 0.
int thread_running(ThreadNumber number);

// Entries the registry still holds (ended threads not yet swept included); for tests.
std::int64_t thread_registry_size();

} // namespace pictavo
