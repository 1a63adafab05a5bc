// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file so that its target is replaced only by complete content.
//
// The content goes to a temporary file ".NAME.pictavo-XXXXXX" in the target's own folder (a
// short form for a long NAME, see sys/temporary_files.h); commit() renames it over the target.
// Until then the target is untouched, and an AtomicFile that is destroyed without a
// successful commit removes its temporary file. The temporary is held under an exclusive flock
// from before it can be written until it has been renamed or removed, so that a sweep never
// takes a live one, and it is listed in the registry of open temporaries
// (sys/temporary_registry.h) for a process that must quit mid-write. Every save of the program
// goes through it: encoders, file copies, downloads and the key file.
#pragma once

#include "sys/descriptor.h"

#include <cstdio>
#include <string>

namespace pictavo {

class AtomicFile {
public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&& other) noexcept;
    ~AtomicFile();

    // Creates the temporary file beside target. Fails (false) when the target's folder is
    // missing or not writable, or when the target exists and is read-only (no owner write
    // permission) or is not a regular file. The new file gets the permission bits of the
    // target it replaces, or the usual ones (0666 less the umask) for a new target; with
    // Access::PrivateFile it is readable by the owner only (0600) from the moment it exists.
    enum class Access { Usual, PrivateFile };
    bool open(const std::string& target, Access access = Access::Usual);

    // The open temporary file as a stdio stream (for libjpeg and libpng) and as a descriptor.
    // Use one or the other; commit() flushes the stream.
    std::FILE* stream();
    int descriptor() const { return descriptor_; }

    // Writes all of data to the descriptor; false on any short or failed write.
    bool write_all(const void* data, std::size_t size);

    // Closes the writing descriptor and keeps the complete temporary file, still locked, for
    // later steps that work on it by its path before commit() puts it in place. False (the
    // temporary stays, for discard()) when the last of the content could not be written.
    bool finish();

    // After a later step replaced the temporary through a rename of its own (a download, the
    // metadata tool), takes the lock on the file now under its name. False when there is no
    // such regular file any more (a sweep of another run took it).
    bool relock();

    // Closes the temporary file and renames it over the target. On failure the temporary
    // file is removed and the target is left as it was.
    bool commit();

    // Closes and removes the temporary file; the target is left as it was.
    void discard();

    bool is_open() const { return descriptor_ >= 0; }
    // The errno of the last step that failed (open, write_all or commit), 0 when none did.
    int error() const { return error_; }
    const std::string& temporary_path() const { return temporary_path_; }

private:
    bool fail(int error_number);

    bool close_writer();
    void release_temporary();

    std::string target_;
    std::string temporary_path_;
    int descriptor_ = -1;
    std::FILE* stream_ = nullptr;
    Descriptor lock_; // a duplicate that keeps the flock once the writing descriptor is closed
    int registry_slot_ = -1;
    int error_ = 0;
};

// Replaces target by content once all of it is written, opened as AtomicFile::open does.
// 0 on success, else the errno of the step that failed; the target is then left as it was.
int write_whole_file(const std::string& target, const std::string& content,
                     AtomicFile::Access access = AtomicFile::Access::Usual);

} // namespace pictavo
