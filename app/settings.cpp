// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"

#include "app/config_folder.h"
#include "sys/atomic_file.h"
#include "sys/files.h"
#include "sys/numbered_file.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace pictavo {
namespace {

// The key file is the only file read on number 0 by the window's thread; the compression
// worker uses that number only while this thread waits for it.
constexpr std::int64_t KEY_FILE_NUMBER = 0;

int digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99; // not a digit in any base
}

std::int32_t low_32_bits(std::int64_t value)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

bool in_range(std::int64_t value, std::int64_t minimum, std::int64_t maximum)
{
    return value >= minimum && value <= maximum;
}

bool is_executable_file(const std::string& path)
{
    return file_size(path) >= 0 && ::access(path.c_str(), X_OK) == 0;
}

// The folder of the running program, ending with '/'; empty when it cannot be read.
std::string folder_of_running_program()
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target)
        return {};
    const std::string path(target, static_cast<std::size_t>(length));
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

void store_folder(std::vector<std::string>& list, std::int64_t index, const std::string& text)
{
    if (index < 0)
        return;
    const auto slot = static_cast<std::size_t>(index);
    if (slot >= list.size())
        list.resize(slot + 1);
    list[slot] = text;
}

int mode_of_box(ModeBox box)
{
    switch (box) {
    case ModeBox::KeepOriginal:
        return RESIZE_KEEP;
    case ModeBox::NormalResize:
        return RESIZE_NORMAL;
    case ModeBox::FillFit:
        return RESIZE_FILL_FIT;
    case ModeBox::Uniform:
        return RESIZE_UNIFORM;
    case ModeBox::UploadOriginals:
        return RESIZE_UPLOAD_ORIGINALS;
    }
    return RESIZE_NORMAL;
}

StartUpPlaces StartUpPlaces::of_process()
{
    const char* path = std::getenv("PATH");
    return {current_folder(), path ? path : "", config_folder_of_process(), folder_of_running_program()};
}

const char* resize_mode_name(int mode)
{
    for (const ResizeModeName& known : RESIZE_MODE_NAMES)
        if (known.mode == mode)
            return known.name;
    return "normal";
}

std::int64_t text_to_integer(const std::string& text)
{
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        return 0;
    bool negative = false;
    if (text[i] == '-' || text[i] == '+') {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == '%')) {
        base = text[i] == '$' ? 16 : 2;
        ++i;
    }
    // Unsigned arithmetic wraps instead of overflowing.
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = digit_value(text[i]);
        if (static_cast<unsigned>(digit) >= base)
            break;
        value = value * base + static_cast<unsigned>(digit);
    }
    if (negative)
        value = 0 - value;
    return static_cast<std::int64_t>(value);
}

std::size_t utf16_length(const std::string& text)
{
    std::size_t length = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) == 0x80)
            continue; // continuation byte
        length += (byte & 0xF8) == 0xF0 ? 2 : 1; // four-byte sequences need a surrogate pair
    }
    return length;
}

std::string read_key_file(const std::string& path)
{
    std::string key;
    if (file_read_open(KEY_FILE_NUMBER, path)) {
        std::string line = file_read_line(KEY_FILE_NUMBER);
        if (utf16_length(line) == API_KEY_LENGTH)
            key = std::move(line);
        file_close(KEY_FILE_NUMBER);
    }
    return key;
}

int write_key_file(const std::string& path, const std::string& key)
{
    // Through a temporary file, so that a failed write (a full disk) keeps the stored key.
    return write_whole_file(path, key + "\n", AtomicFile::Access::PrivateFile) == 0 ? 1 : 0;
}

std::string find_exiftool(const StartUpPlaces& places)
{
    std::size_t start = 0;
    while (start <= places.search_path.size()) {
        std::size_t end = places.search_path.find(':', start);
        if (end == std::string::npos)
            end = places.search_path.size();
        std::string folder = places.search_path.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || folder[0] != '/')
            continue;
        if (folder.back() != '/')
            folder += '/';
        if (is_executable_file(folder + EXIFTOOL_NAME))
            return folder + EXIFTOOL_NAME;
    }
    if (places.program_folder.empty() || places.program_folder[0] != '/')
        return {};
    const std::string installed = places.program_folder + EXIFTOOL_NAME;
    return is_executable_file(installed) ? installed : std::string();
}

void AppState::start_up(const StartUpPlaces& places)
{
    job = JobSettings{};
    run = RunState{};

    job.exiftool_path = find_exiftool(places);
    job.exiftool_found = job.exiftool_path.empty() ? 0 : 1;
    job.config_folder = places.config_folder;
    if (!job.config_folder.empty())
        job.key_file_path = job.config_folder + KEY_FILE_NAME;
    // A key file of an earlier version, kept in the working folder, serves until one is stored
    // in the configuration folder; it is never changed or removed.
    const bool stored = !job.key_file_path.empty() && file_size(job.key_file_path) != FILE_SIZE_MISSING;
    job.api_key = read_key_file(stored ? job.key_file_path : places.working_folder + KEY_FILE_NAME);

    window = WindowState{};
    window.exif_enabled = job.exiftool_found == 1;
    window.api_key_text = job.api_key;
    window.tinify_enabled = !job.api_key.empty();
}

void AppState::select(ModeBox box)
{
    window.selection = box;
    job.resize_mode = mode_of_box(box);
}

void AppState::leave_upload_originals()
{
    if (window.selection == ModeBox::UploadOriginals)
        select(ModeBox::NormalResize);
}

void AppState::click_mode_box(ModeBox box)
{
    if (box == ModeBox::UploadOriginals && !window.upload_originals_enabled())
        return;
    select(box);
}

void AppState::click_tinify_box()
{
    if (!window.tinify_enabled)
        return;
    window.tinify_ticked = !window.tinify_ticked;
    job.tinify_upload = window.tinify_ticked ? 1 : 0;
    if (!window.tinify_ticked)
        leave_upload_originals();
}

void AppState::click_exif_box()
{
    if (window.exif_enabled)
        job.metadata_copy ^= 1;
}

void AppState::click_dates_box() { job.date_copy ^= 1; }

namespace {

bool& compression_flag(CompressionSettings& compression, CompressionBox box)
{
    switch (box) {
    case CompressionBox::Optimize: return compression.optimize;
    case CompressionBox::PngPalette: return compression.png_palette;
    case CompressionBox::OnlySmaller: break;
    }
    return compression.only_smaller;
}

} // namespace

void AppState::click_compression_box(CompressionBox box)
{
    bool& flag = compression_flag(job.compression, box);
    flag = !flag;
}

bool AppState::compression_box_ticked(CompressionBox box) const
{
    CompressionSettings copy = job.compression;
    return compression_flag(copy, box);
}

void AppState::choose_output_format(OutputFormat format)
{
    if (window.format_enabled())
        job.output_format = format;
}

void AppState::click_extra_inputs_box()
{
    const bool ticked = !extra_inputs_ticked();
    job.inputs.webp = ticked;
    job.inputs.avif = ticked;
}

std::string AppState::max_size_lost_focus(const std::string& text)
{
    const std::int64_t kilobytes = text_to_integer(text);
    const bool valid = in_range(kilobytes, SIZE_LIMIT_MINIMUM / SIZE_FIELD_UNIT, SIZE_LIMIT_MAXIMUM / SIZE_FIELD_UNIT);
    job.compression.size_limit = valid ? kilobytes * SIZE_FIELD_UNIT : 0;
    return job.max_size_text = valid ? text : std::string();
}

std::string& AppState::field_text(NumericField field)
{
    switch (field) {
    case NumericField::NormalSize:
        return job.normal_size_text;
    case NumericField::FillWidth:
        return job.fill_width_text;
    case NumericField::FillHeight:
        return job.fill_height_text;
    case NumericField::UniformWidth:
        return job.uniform_width_text;
    case NumericField::UniformHeight:
        return job.uniform_height_text;
    case NumericField::Quality:
        break;
    }
    return job.quality_text;
}

const std::string& AppState::numeric_text(NumericField field) const
{
    return const_cast<AppState&>(*this).field_text(field); // field_text changes nothing
}

std::string AppState::field_lost_focus(NumericField field, const std::string& text)
{
    const std::int64_t value = text_to_integer(text);
    std::string& stored = field_text(field);
    if (field == NumericField::Quality) {
        const bool valid = in_range(value, QUALITY_MINIMUM, QUALITY_MAXIMUM);
        job.jpeg_quality = valid ? value : QUALITY_DEFAULT;
        return stored = valid ? text : QUALITY_FALLBACK_TEXT;
    }
    // The normal size and fill-fit fields are tested on the number's low 32 bits (so
    // "4294967596" passes as 300); the uniform fields on the whole 64-bit number.
    const bool cut_to_32_bits = field == NumericField::NormalSize || field == NumericField::FillWidth
                                || field == NumericField::FillHeight;
    const std::int64_t tested = cut_to_32_bits ? low_32_bits(value) : value;
    return stored = in_range(tested, SIZE_MINIMUM, SIZE_MAXIMUM) ? text : SIZE_FALLBACK_TEXT;
}

std::string AppState::api_key_lost_focus(const std::string& text)
{
    if (utf16_length(text) == API_KEY_LENGTH) {
        job.api_key = text;
        window.tinify_enabled = true;
    } else {
        job.api_key.clear();
        window.tinify_ticked = false;
        window.tinify_enabled = false;
        job.tinify_upload = 0;
        leave_upload_originals();
    }
    // Leaving the field empty, as passing through it does, must not create or change a file.
    if (!text.empty())
        store_key();
    return window.api_key_text = job.api_key;
}

void AppState::store_key()
{
    if (job.key_file_path.empty() || !make_private_folder(job.config_folder))
        return;
    write_key_file(job.key_file_path, job.api_key);
}

void AppState::take_target_pair()
{
    const auto number = [](const std::string& text) { return low_32_bits(text_to_integer(text)); };
    switch (job.resize_mode) {
    case RESIZE_FILL_FIT:
        job.target_width = number(job.fill_width_text);
        job.target_height = number(job.fill_height_text);
        break;
    case RESIZE_NORMAL:
        job.target_width = job.target_height = number(job.normal_size_text);
        break;
    case RESIZE_UNIFORM:
        job.target_width = number(job.uniform_width_text);
        job.target_height = number(job.uniform_height_text);
        break;
    default:
        break; // the other modes do not use the pair
    }
}

} // namespace pictavo
