// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary files this process has open, so that a process told to quit in the middle of
// writing (a second Ctrl-C, a fatal signal) can remove them on its way out, where no
// destructor runs.
//
// AtomicFile registers each temporary it creates and releases it once it has been renamed
// over its target or removed. remove_open_temporaries unlinks whatever is still registered;
// it is async-signal-safe, so a signal handler may call it right before _exit. It also runs
// at exit. What it misses (a kill -9) is left to sweep_temporary_files of the next run.
#pragma once

#include <string>

namespace pictavo {

// The registry's slot for path, or -1 when the registry is full or the path too long (the
// temporary is then left to the sweep).
int register_open_temporary(const std::string& path);

// The temporary of slot has been renamed or removed by its owner. -1 is ignored.
void release_open_temporary(int slot);

// Unlinks every temporary still registered by this process (not those a parent registered
// before a fork) and returns how many it unlinked. Async-signal-safe; the owners' later
// commits then fail, which leaves their targets as they were.
int remove_open_temporaries();

} // namespace pictavo
