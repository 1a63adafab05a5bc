// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/image_formats.h"

#include "app/folder_scan.h"
#include "image/image_object.h"
#include "sys/files.h"

namespace pictavo {
namespace {

struct FormatName {
    OutputFormat format;
    const char* name;
    const char* extension; // what an output of the format is named with
    std::uint32_t encoder;
};
constexpr FormatName FORMAT_NAMES[] = {
    {OutputFormat::Same, "same", "", 0},
    {OutputFormat::Jpeg, "jpeg", "jpg", IMAGE_CODE_JPEG},
    {OutputFormat::Png, "png", "png", IMAGE_CODE_PNG},
    {OutputFormat::Webp, "webp", "webp", IMAGE_CODE_WEBP},
    {OutputFormat::Avif, "avif", "avif", IMAGE_CODE_AVIF},
};

const FormatName& entry_of(OutputFormat format)
{
    for (const FormatName& entry : FORMAT_NAMES)
        if (entry.format == format)
            return entry;
    return FORMAT_NAMES[0];
}

struct KindName {
    const char* name;
    bool InputKinds::*member;
};
constexpr KindName KIND_NAMES[] = {
    {"jpeg", &InputKinds::jpeg}, {"png", &InputKinds::png}, {"webp", &InputKinds::webp}, {"avif", &InputKinds::avif}};

} // namespace

OutputFormat format_of_file_name(const std::string& name)
{
    const std::string extension = lower_case_extension(name);
    if (extension == "jpeg")
        return OutputFormat::Jpeg;
    for (const FormatName& entry : FORMAT_NAMES)
        if (entry.format != OutputFormat::Same && extension == entry.extension)
            return entry.format;
    return OutputFormat::Same;
}

const char* output_format_name(OutputFormat format)
{
    return entry_of(format).name;
}

std::optional<OutputFormat> output_format_named(const std::string& name)
{
    for (const FormatName& entry : FORMAT_NAMES)
        if (name == entry.name)
            return entry.format;
    return std::nullopt;
}

std::string input_kinds_text(const InputKinds& kinds)
{
    std::string text;
    for (const KindName& kind : KIND_NAMES)
        if (kinds.*kind.member) {
            if (!text.empty())
                text += ',';
            text += kind.name;
        }
    return text;
}

std::optional<InputKinds> input_kinds_named(const std::string& text)
{
    InputKinds kinds{false, false, false, false};
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string name = text.substr(start, comma - start);
        bool known = false;
        for (const KindName& kind : KIND_NAMES)
            if (name == kind.name) {
                kinds.*kind.member = true;
                known = true;
            }
        if (!known)
            return std::nullopt;
        start = comma + 1;
    }
    return kinds;
}

bool is_input_kind(const std::string& name, const InputKinds& kinds)
{
    switch (format_of_file_name(name)) {
    case OutputFormat::Jpeg: return kinds.jpeg;
    case OutputFormat::Png: return kinds.png;
    case OutputFormat::Webp: return kinds.webp;
    case OutputFormat::Avif: return kinds.avif;
    case OutputFormat::Same: break;
    }
    return false;
}

std::uint32_t encoder_of(OutputFormat format)
{
    return entry_of(format).encoder;
}

std::string output_path_in_format(const std::string& path, OutputFormat format)
{
    const std::string extension = extension_part(path);
    if (format == OutputFormat::Same || extension.empty() || format_of_file_name(path) == format)
        return path;
    const std::size_t dot = path.find_last_of('.');
    return path.substr(0, dot + 1) + entry_of(format).extension + path.substr(dot + 1 + extension.size());
}

std::vector<std::uint32_t> decoders_left_out(const InputKinds& kinds)
{
    std::vector<std::uint32_t> left_out;
    if (!kinds.webp)
        left_out.push_back(IMAGE_CODE_WEBP);
    if (!kinds.avif)
        left_out.push_back(IMAGE_CODE_AVIF);
    return left_out;
}

} // namespace pictavo
