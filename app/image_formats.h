// SPDX-License-Identifier: GPL-3.0-or-later
// Which files a run takes as sources and in which format it writes them.
//
// By default a run reads .jpg, .jpeg and .png files and writes every output in its source's
// format under the source's name. Asked to, it also reads .webp and .avif files, and writes
// every output in one format under the source's name with that format's extension.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pictavo {

enum class OutputFormat { Same, Jpeg, Png, Webp, Avif };

// The kinds of source files a scan takes, by extension (any case): jpeg (.jpg, .jpeg), png,
// webp, avif.
struct InputKinds {
    bool jpeg = true;
    bool png = true;
    bool webp = false;
    bool avif = false;
    bool operator==(const InputKinds&) const = default;
    bool any() const { return jpeg || png || webp || avif; }
};

constexpr InputKinds EVERY_INPUT_KIND{true, true, true, true};

// "same", "jpeg", "png", "webp", "avif": the names of the command line and the reports.
const char* output_format_name(OutputFormat format);
std::optional<OutputFormat> output_format_named(const std::string& name);

// The kinds as a list of their names joined by commas ("jpeg,png"), and back; a name that is
// not a kind, or no name at all, gives none.
std::string input_kinds_text(const InputKinds& kinds);
std::optional<InputKinds> input_kinds_named(const std::string& text);

// The format a file's name says it holds by its extension (any case); Same for a name of none.
OutputFormat format_of_file_name(const std::string& name);

// Whether a file name's extension (any case) is one of the kinds'.
bool is_input_kind(const std::string& name, const InputKinds& kinds);

// The encoder that writes a format: 0 for Same (the source's own decides).
std::uint32_t encoder_of(OutputFormat format);

// The output path for a source's output path in a format: the same path for Same and where
// the extension already names the format (x.jpeg stays x.jpeg for JPEG), otherwise the path
// with its extension replaced by the format's own, in lower case: a/x.PNG -> a/x.webp.
std::string output_path_in_format(const std::string& path, OutputFormat format);

// The decoders a run with these input kinds leaves out: WebP's and AVIF's unless their files
// are read, so that a .jpg holding WebP data stays "not an image" as it was.
std::vector<std::uint32_t> decoders_left_out(const InputKinds& kinds);

} // namespace pictavo
