// SPDX-License-Identifier: GPL-3.0-or-later
// The window's folders and options, remembered from one session to the next.
//
// They are kept in the configuration folder beside the key file, as lines of "name=value".
// Only the window reads and writes them; the command line always starts from its defaults.
#pragma once

#include "app/settings.h"

#include <cstddef>
#include <string>

namespace pictavo {

constexpr const char* REMEMBERED_SETTINGS_NAME = "window.conf";
// Far more than any real file needs; a larger one is not a settings file.
constexpr std::size_t REMEMBERED_SETTINGS_MAX_BYTES = 64 * 1024;

struct RememberedSettings {
    std::string input_folder;  // "" or a folder ending with '/'
    std::string output_folder; // "" or a folder ending with '/'
    int resize_mode = RESIZE_NORMAL;
    std::string normal_size_text = "1000";
    std::string fill_width_text = "1000";
    std::string fill_height_text = "667";
    std::string uniform_width_text = "1000";
    std::string uniform_height_text = "667";
    std::string quality_text = "6";
    bool metadata_copy = false;
    bool date_copy = false;
    bool tinify_upload = false;
    bool optimize = false;
    bool png_palette = false;
    bool only_smaller = false;
    std::string max_size_text; // kilobytes, "" for no limit
    OutputFormat output_format = OutputFormat::Same;
    bool extra_inputs = false; // WebP and AVIF files are sources too
    bool operator==(const RememberedSettings&) const = default;
};

enum class RememberedStatus { Read, Missing, Broken };

struct RememberedRead {
    RememberedStatus status = RememberedStatus::Missing;
    RememberedSettings settings; // the defaults unless status is Read
    std::string problem;         // for Broken: what is wrong, for a note to the user
};

// What the window shows now.
RememberedSettings remembered_from(const AppState& state);

// The file's content, and back. A text with a line that is not "name=value", a known name
// with a value it cannot have, or a folder that is not absolute is broken as a whole; lines
// with names this version does not know are passed over, so a later version's file still reads.
std::string remembered_settings_text(const RememberedSettings& settings);
RememberedRead parse_remembered_settings(const std::string& text);

// The file in the configuration folder. Reading answers Missing when there is none, Broken
// when it cannot be read or parsed; writing makes the folder and replaces the file (readable
// by the owner only) once the new content is complete, and answers 0 on failure.
RememberedRead read_remembered_settings(const std::string& config_folder);
int write_remembered_settings(const std::string& config_folder, const RememberedSettings& settings);

// Applies the options (not the folders, which the window sets as if they were picked) through
// the same operations as the user's clicks and field checks, so nothing the window could not
// show is restored: a mode, a tick or a size that is not possible now stays at its default.
void apply_remembered_options(AppState& state, const RememberedSettings& settings);

} // namespace pictavo
