// SPDX-License-Identifier: GPL-3.0-or-later
// The job settings, the run state and the window-side state of the options, in one owner.
//
// One AppState exists for the whole process. Only the front end's thread reads or changes it;
// a run works on its own copy of the job settings. The window shows WindowState and calls the
// operations here for every click and focus loss, so all option logic lives (and is tested)
// here.
#pragma once

#include "app/image_formats.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pictavo {

// Resize modes; 4 is not used.
constexpr int RESIZE_KEEP = 0;             // re-encode at the source size
constexpr int RESIZE_NORMAL = 1;           // longer side := target width, aspect kept
constexpr int RESIZE_FILL_FIT = 2;         // exactly width x height (swapped for portrait)
constexpr int RESIZE_UPLOAD_ORIGINALS = 3; // copy the source unchanged
constexpr int RESIZE_UNIFORM = 5;          // cover width x height, cut the centred rectangle

// The modes' names on the command line and in reports.
struct ResizeModeName {
    const char* name;
    int mode;
};
constexpr ResizeModeName RESIZE_MODE_NAMES[] = {
    {"keep", RESIZE_KEEP}, {"normal", RESIZE_NORMAL}, {"fill", RESIZE_FILL_FIT},
    {"upload", RESIZE_UPLOAD_ORIGINALS}, {"uniform", RESIZE_UNIFORM},
};
// The name of a mode ("normal" for RESIZE_NORMAL, and for an unknown value).
const char* resize_mode_name(int mode);

constexpr const char* KEY_FILE_NAME = "kestro.api.txt";
constexpr const char* EXIFTOOL_NAME = "exiftool";
constexpr std::size_t API_KEY_LENGTH = 32; // UTF-16 code units

// Field defaults and ranges.
constexpr const char* SIZE_FALLBACK_TEXT = "1000";
constexpr std::int64_t SIZE_MINIMUM = 12;
constexpr std::int64_t SIZE_MAXIMUM = 8000;
constexpr const char* QUALITY_FALLBACK_TEXT = "6";
constexpr std::int64_t QUALITY_DEFAULT = 6;
constexpr std::int64_t QUALITY_MINIMUM = 1;
constexpr std::int64_t QUALITY_MAXIMUM = 10;

// A size limit for every output, in bytes. Below a kilobyte not even a small image's headers and
// tags fit, so such a limit is a typing mistake; above the largest source this program reads it
// limits nothing.
constexpr std::int64_t SIZE_LIMIT_MINIMUM = 1024;
constexpr std::int64_t SIZE_LIMIT_MAXIMUM = 256LL * 1024 * 1024;

// Local compression, all off by default: without it every output is the plain one.
struct CompressionSettings {
    bool optimize = false;       // lossless: smaller files with the same pixels
    bool png_palette = false;    // lossy: PNG outputs as 8-bit palettes where they stay close
    bool only_smaller = false;   // keep the source's bytes when the output would be larger
    std::int64_t size_limit = 0; // bytes every output may take; 0 for no limit
    bool operator==(const CompressionSettings&) const = default;
};

// The window's max size field counts kilobytes (1024 bytes).
constexpr std::int64_t SIZE_FIELD_UNIT = 1024;

struct JobSettings {
    std::string input_folder;  // ends with '/' once chosen
    std::string output_folder; // ends with '/' once chosen
    int resize_mode = RESIZE_NORMAL;
    // The texts of the numeric fields as typed; numbers are read from them by text_to_integer.
    std::string normal_size_text = "1000";
    std::string fill_width_text = "1000";
    std::string fill_height_text = "667";
    std::string uniform_width_text = "1000";
    std::string uniform_height_text = "667";
    std::string quality_text = "6";
    std::int32_t target_width = 1000;
    std::int32_t target_height = 667;
    std::int64_t jpeg_quality = QUALITY_DEFAULT;
    int metadata_copy = 0;
    // Pixels as stored, whatever orientation the file gives; by default images are turned
    // upright before they are sized.
    bool keep_orientation = false;
    int date_copy = 0;
    CompressionSettings compression;
    std::string max_size_text; // the window's max size field, in kilobytes; "" for no limit
    // The format of every output (its source's by default), and the files taken as sources.
    OutputFormat output_format = OutputFormat::Same;
    InputKinds inputs;
    // PNG sources written as WebP keep every pixel (lossless WebP) instead of the lossy form.
    bool lossless = false;
    int tinify_upload = 0;
    std::string api_key;        // exactly 32 characters, or empty
    int exiftool_found = 1;
    std::string exiftool_path;  // the program to start when exiftool_found is 1
    // Where the key is stored and what else is kept for the user (ends with '/'); both empty
    // when the home folder is unknown, and then nothing is stored.
    std::string config_folder;
    std::string key_file_path;
};

struct RunState {
    std::int64_t image_count = 0;  // images found by the most recent scan
    std::int64_t folder_count = 0; // sub-folders recorded so far by the current scan or walk
    // Sub-folder paths in pre-order and their mirrors under the output root. They grow as
    // needed; only slots below folder_count belong to the current scan.
    std::vector<std::string> source_folders;
    std::vector<std::string> output_folders;
};

// Stores text in list slot index, growing the list when needed.
void store_folder(std::vector<std::string>& list, std::int64_t index, const std::string& text);

// The five resize-mode check boxes of the window.
enum class ModeBox { KeepOriginal, NormalResize, FillFit, Uniform, UploadOriginals };
constexpr std::array<ModeBox, 5> MODE_BOXES = {ModeBox::KeepOriginal, ModeBox::NormalResize,
                                               ModeBox::FillFit, ModeBox::Uniform,
                                               ModeBox::UploadOriginals};
int mode_of_box(ModeBox box);

// The window's boxes for local compression.
enum class CompressionBox { Optimize, PngPalette, OnlySmaller };

// The six numeric fields checked when they lose the focus.
enum class NumericField { NormalSize, FillWidth, FillHeight, UniformWidth, UniformHeight, Quality };

// What the window shows of the options. The mode boxes act as one exclusive group: exactly one
// is the selection and only it is ticked. Upload Originals is usable only while the Tinify box
// is ticked, and selecting it disables the quality field.
struct WindowState {
    ModeBox selection = ModeBox::NormalResize;
    bool tinify_ticked = false;
    bool tinify_enabled = false;
    bool exif_enabled = true;
    std::string api_key_text;

    bool mode_box_ticked(ModeBox box) const { return box == selection; }
    bool upload_originals_enabled() const { return tinify_ticked; }
    bool quality_enabled() const { return selection != ModeBox::UploadOriginals; }
    // Copied originals are not encoded, so nothing of local compression applies to them, and
    // they keep their format.
    bool compression_enabled() const { return selection != ModeBox::UploadOriginals; }
    bool format_enabled() const { return selection != ModeBox::UploadOriginals; }
};

// Where start-up looks for its files. Folders end with '/'; an empty one is not looked in.
struct StartUpPlaces {
    StartUpPlaces() = default;
    StartUpPlaces(std::string working, std::string search, std::string config = {}, std::string program = {})
        : working_folder(std::move(working)), search_path(std::move(search)), config_folder(std::move(config)),
          program_folder(std::move(program))
    {
    }

    // Only for a key file left there by an earlier version; never for programs.
    std::string working_folder;
    // The program search path (colon-separated, like PATH).
    std::string search_path;
    // The configuration folder (config_folder_of_process) with the key file.
    std::string config_folder;
    // The folder of the running program, where a copy of exiftool may be installed with it.
    std::string program_folder;
    // current_folder(), $PATH, the configuration folder and the folder of /proc/self/exe.
    static StartUpPlaces of_process();
};

// The number in a field's text: leading blanks and tabs, an optional sign, then "$" and hex
// digits, "%" and binary digits, or decimal digits; reading stops at the first other
// character. No digits give 0. Wraps around on overflow.
std::int64_t text_to_integer(const std::string& text);

// Length of UTF-8 text in UTF-16 code units, the unit the key length is counted in.
std::size_t utf16_length(const std::string& text);

// The key from the first line of the key file; "" when the file cannot be read or the line is
// not exactly 32 characters long.
std::string read_key_file(const std::string& path);
// Replaces the key file by key and a line feed, readable by the owner only, once the new
// content is complete. 0 on failure (the earlier file is then left as it was).
int write_key_file(const std::string& path, const std::string& key);

// An executable exiftool in the first absolute folder of the search path that has one, else in
// the program's folder; "" when there is none. Empty and relative entries of the search path
// are skipped: they name the working folder, where anyone who could put a file there would
// have it run with the user's rights.
std::string find_exiftool(const StartUpPlaces& places);

class AppState {
public:
    JobSettings job;
    RunState run;
    WindowState window;

    // Defaults, exiftool detection and the stored key, in that order, then the window state
    // that follows from them. The key is read from the configuration folder, or, while no key
    // file exists there, from the working folder.
    void start_up(const StartUpPlaces& places);
    void start_up() { start_up(StartUpPlaces::of_process()); }

    // A click on a mode box. Clicking the selection keeps it; another box becomes the selection.
    // A click on Upload Originals while it is disabled is ignored.
    void click_mode_box(ModeBox box);
    // A click on the Tinify box (ignored while it is disabled). Unticking it while Upload
    // Originals is the selection returns to Normal Resize.
    void click_tinify_box();
    // Clicks on the Exif and Dates boxes toggle their flags (Exif only while enabled).
    void click_exif_box();
    void click_dates_box();
    // A click on an Optimize, PNG palette or Only if smaller box toggles its setting.
    void click_compression_box(CompressionBox box);
    bool compression_box_ticked(CompressionBox box) const;
    // The format drop-down: the output format chosen (ignored while it is disabled).
    void choose_output_format(OutputFormat format);
    // A click on the "Also WebP/AVIF inputs" box: WebP and AVIF files become sources too, or no
    // longer are.
    void click_extra_inputs_box();
    bool extra_inputs_ticked() const { return job.inputs.webp && job.inputs.avif; }

    // A numeric field lost the focus with text: stores the text, corrected when its number is
    // out of range, and answers the text the field must show.
    std::string field_lost_focus(NumericField field, const std::string& text);

    // The API-key field lost the focus with text. A 32-character key is kept and stored; any
    // other text clears the key and the field, unticks and disables the Tinify box and leaves
    // Upload Originals, and a non-empty one also clears the stored key. An empty field writes
    // and removes no file. Answers the text the field must show.
    std::string api_key_lost_focus(const std::string& text);

    // The max size field lost the focus with text: a number of kilobytes from 1 to the largest
    // limit sets the size limit; anything else (an empty field, 0, too large) removes the limit
    // and empties the field. Answers the text the field must show.
    std::string max_size_lost_focus(const std::string& text);

    // Fills the target pair from the selected mode's fields (run start; no range check).
    void take_target_pair();

    // The text a numeric field holds as last checked.
    const std::string& numeric_text(NumericField field) const;

private:
    std::string& field_text(NumericField field);
    void select(ModeBox box);
    void leave_upload_originals();
    // Writes the key (or an empty line for none) into the configuration folder, made first.
    void store_key();
};

} // namespace pictavo
