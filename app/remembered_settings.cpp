// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/remembered_settings.h"

#include "app/config_folder.h"
#include "sys/atomic_file.h"
#include "sys/descriptor.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace pictavo {
namespace {

template <typename Value> struct Entry {
    const char* name;
    Value RememberedSettings::*member;
};

constexpr std::array<Entry<std::string>, 2> FOLDER_ENTRIES = {{
    {"input-folder", &RememberedSettings::input_folder},
    {"output-folder", &RememberedSettings::output_folder},
}};
constexpr std::array<Entry<std::string>, 7> TEXT_ENTRIES = {{
    {"normal-size", &RememberedSettings::normal_size_text},
    {"fill-width", &RememberedSettings::fill_width_text},
    {"fill-height", &RememberedSettings::fill_height_text},
    {"uniform-width", &RememberedSettings::uniform_width_text},
    {"uniform-height", &RememberedSettings::uniform_height_text},
    {"quality", &RememberedSettings::quality_text},
    {"max-size", &RememberedSettings::max_size_text},
}};
constexpr std::array<Entry<bool>, 7> FLAG_ENTRIES = {{
    {"exif", &RememberedSettings::metadata_copy},
    {"dates", &RememberedSettings::date_copy},
    {"tinify", &RememberedSettings::tinify_upload},
    {"optimize", &RememberedSettings::optimize},
    {"png-palette", &RememberedSettings::png_palette},
    {"only-smaller", &RememberedSettings::only_smaller},
    {"extra-inputs", &RememberedSettings::extra_inputs},
}};
constexpr const char* MODE_NAME = "mode";
constexpr const char* FORMAT_NAME = "format";

// Values are one line each: backslashes and line breaks are written as \\, \n and \r.
std::string escaped(const std::string& value)
{
    std::string text;
    for (const char c : value) {
        if (c == '\\')
            text += "\\\\";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\r')
            text += "\\r";
        else
            text += c;
    }
    return text;
}

std::optional<std::string> unescaped(const std::string& text)
{
    std::string value;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            value += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\': value += '\\'; break;
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        default: return std::nullopt;
        }
    }
    return value;
}

bool is_mode(int mode)
{
    for (const ModeBox box : MODE_BOXES)
        if (mode_of_box(box) == mode)
            return true;
    return false;
}

// Stores one "name=value" line; false when the value does not fit its name.
bool take_entry(const std::string& name, const std::string& value, RememberedSettings& settings)
{
    for (const auto& entry : FOLDER_ENTRIES) {
        if (name == entry.name) {
            if (!value.empty() && (value.front() != '/' || value.back() != '/'))
                return false;
            settings.*entry.member = value;
            return true;
        }
    }
    for (const auto& entry : TEXT_ENTRIES) {
        if (name == entry.name) {
            settings.*entry.member = value;
            return true;
        }
    }
    for (const auto& entry : FLAG_ENTRIES) {
        if (name == entry.name) {
            if (value != "0" && value != "1")
                return false;
            settings.*entry.member = value == "1";
            return true;
        }
    }
    if (name == FORMAT_NAME) {
        const std::optional<OutputFormat> format = output_format_named(value);
        if (!format)
            return false;
        settings.output_format = *format;
    }
    if (name == MODE_NAME) {
        if (value.size() != 1 || value[0] < '0' || value[0] > '9' || !is_mode(value[0] - '0'))
            return false;
        settings.resize_mode = value[0] - '0';
    }
    return true; // a name of another version
}

RememberedRead broken(std::string problem)
{
    RememberedRead read;
    read.status = RememberedStatus::Broken;
    read.problem = std::move(problem);
    return read;
}

// The whole file, when it is a regular file of at most the size a settings file can have.
// Errors as text; an empty answer with no error also means "missing".
std::optional<std::string> read_settings_file(const std::string& path, std::string& error, bool& missing)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) {
        missing = errno == ENOENT;
        error = std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "not a regular file";
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(info.st_size) > REMEMBERED_SETTINGS_MAX_BYTES) {
        error = "larger than a settings file can be";
        return std::nullopt;
    }
    std::string content(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t got = ::read(file.get(), content.data() + done, content.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? std::strerror(errno) : "it ended while being read";
            return std::nullopt;
        }
        done += static_cast<std::size_t>(got);
    }
    return content;
}

} // namespace

RememberedSettings remembered_from(const AppState& state)
{
    const JobSettings& job = state.job;
    RememberedSettings settings;
    settings.input_folder = job.input_folder;
    settings.output_folder = job.output_folder;
    settings.resize_mode = job.resize_mode;
    settings.normal_size_text = job.normal_size_text;
    settings.fill_width_text = job.fill_width_text;
    settings.fill_height_text = job.fill_height_text;
    settings.uniform_width_text = job.uniform_width_text;
    settings.uniform_height_text = job.uniform_height_text;
    settings.quality_text = job.quality_text;
    settings.metadata_copy = job.metadata_copy != 0;
    settings.date_copy = job.date_copy != 0;
    settings.tinify_upload = job.tinify_upload != 0;
    settings.optimize = job.compression.optimize;
    settings.png_palette = job.compression.png_palette;
    settings.only_smaller = job.compression.only_smaller;
    settings.max_size_text = job.max_size_text;
    settings.output_format = job.output_format;
    settings.extra_inputs = state.extra_inputs_ticked();
    return settings;
}

std::string remembered_settings_text(const RememberedSettings& settings)
{
    std::string text = "# Pictavo: the window's folders and options of its last session\n";
    const auto line = [&text](const char* name, const std::string& value) {
        text += std::string(name) + "=" + escaped(value) + "\n";
    };
    for (const auto& entry : FOLDER_ENTRIES)
        line(entry.name, settings.*entry.member);
    line(MODE_NAME, std::to_string(settings.resize_mode));
    line(FORMAT_NAME, output_format_name(settings.output_format));
    for (const auto& entry : TEXT_ENTRIES)
        line(entry.name, settings.*entry.member);
    for (const auto& entry : FLAG_ENTRIES)
        line(entry.name, settings.*entry.member ? "1" : "0");
    return text;
}

RememberedRead parse_remembered_settings(const std::string& text)
{
    RememberedRead read;
    std::size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] == '#')
            continue;
        const auto equals = line.find('=');
        const std::optional<std::string> value =
            equals == std::string::npos ? std::nullopt : unescaped(line.substr(equals + 1));
        if (!value || !take_entry(line.substr(0, equals), *value, read.settings))
            return broken("line " + std::to_string(number) + " cannot be read");
    }
    read.status = RememberedStatus::Read;
    return read;
}

RememberedRead read_remembered_settings(const std::string& config_folder)
{
    if (config_folder.empty())
        return {};
    std::string error;
    bool missing = false;
    const std::optional<std::string> content =
        read_settings_file(config_folder + REMEMBERED_SETTINGS_NAME, error, missing);
    if (!content)
        return missing ? RememberedRead{} : broken(error);
    return parse_remembered_settings(*content);
}

int write_remembered_settings(const std::string& config_folder, const RememberedSettings& settings)
{
    if (config_folder.empty() || !make_private_folder(config_folder))
        return 0;
    const std::string content = remembered_settings_text(settings);
    AtomicFile file;
    if (!file.open(config_folder + REMEMBERED_SETTINGS_NAME, AtomicFile::Access::PrivateFile) ||
        !file.write_all(content.data(), content.size()))
        return 0;
    return file.commit() ? 1 : 0;
}

void apply_remembered_options(AppState& state, const RememberedSettings& settings)
{
    const std::pair<NumericField, const std::string*> fields[] = {
        {NumericField::NormalSize, &settings.normal_size_text},
        {NumericField::FillWidth, &settings.fill_width_text},
        {NumericField::FillHeight, &settings.fill_height_text},
        {NumericField::UniformWidth, &settings.uniform_width_text},
        {NumericField::UniformHeight, &settings.uniform_height_text},
        {NumericField::Quality, &settings.quality_text},
    };
    for (const auto& [field, text] : fields)
        state.field_lost_focus(field, *text);
    state.max_size_lost_focus(settings.max_size_text);
    const std::pair<CompressionBox, bool> boxes[] = {
        {CompressionBox::Optimize, settings.optimize},
        {CompressionBox::PngPalette, settings.png_palette},
        {CompressionBox::OnlySmaller, settings.only_smaller},
    };
    for (const auto& [box, ticked] : boxes)
        if (ticked != state.compression_box_ticked(box))
            state.click_compression_box(box);
    state.choose_output_format(settings.output_format);
    if (settings.extra_inputs != state.extra_inputs_ticked())
        state.click_extra_inputs_box();
    // The boxes start unticked; a click that is not possible now (no tool, no key) is ignored.
    if (settings.metadata_copy && state.job.metadata_copy == 0)
        state.click_exif_box();
    if (settings.date_copy && state.job.date_copy == 0)
        state.click_dates_box();
    if (settings.tinify_upload && !state.window.tinify_ticked)
        state.click_tinify_box();
    for (const ModeBox box : MODE_BOXES)
        if (mode_of_box(box) == settings.resize_mode)
            state.click_mode_box(box);
}

} // namespace pictavo
