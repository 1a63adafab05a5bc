// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary files that AtomicFile writes beside their targets, and the removal of those
// that their writers abandoned.
//
// A temporary file is named ".NAME.pictavo-XXXXXX" (NAME the target's file name, XXXXXX six
// characters of mkstemp's alphabet) and its writer holds an exclusive flock on it for as long
// as it writes. A temporary that nobody holds locked belongs to a writer that has gone (a
// process killed mid-write, a crash, a power cut) and may be removed.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace pictavo {

// What comes between the target's name and the six random characters.
inline constexpr std::string_view TEMPORARY_MARKER = ".pictavo-";

// The mkostemp pattern for a temporary beside target_name: ".NAME.pictavo-XXXXXX". For a
// target_name that has the temporary shape itself, NAME is the name inside it.
std::string temporary_name_pattern(std::string_view target_name);

// True when name (a file name, no folder) has exactly the shape of a temporary: a dot, a
// non-empty name other than "." and "..", the marker, six letters or digits. Async-signal-safe.
bool is_temporary_name(std::string_view name);

// True when temporary_name (a file name, no folder) is a temporary written for target_name in
// the same folder, or what the metadata tool leaves of one when it is killed mid-write
// (".NAME.pictavo-XXXXXX_exiftool_tmp").
bool temporary_belongs_to(const std::string& temporary_name, const std::string& target_name);

// Removes, in folder (not below it), every regular file whose name has the temporary shape and
// that no live process holds locked. Each candidate is locked without waiting and unlinked
// only while the lock is held and only if its name still refers to the locked file; a locked
// one is left alone, and nothing of any other shape or kind (folder, link, FIFO) is touched.
// The number removed, or -1 when the folder cannot be read.
int sweep_temporary_files(const std::string& folder);

// The same sweep limited to the temporaries whose name wanted accepts, for a run that shares
// the folder with others and removes only what its own images left.
int sweep_temporary_files(const std::string& folder, const std::function<bool(std::string_view name)>& wanted);

} // namespace pictavo
