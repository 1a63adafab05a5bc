// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress_line.h"

#include "app/byte_sizes.h"

#include <cmath>
#include <cstdio>

namespace pictavo {
namespace {

// A file name shorter than this is not worth showing cut.
constexpr int FILE_COLUMNS_MINIMUM = 12;
constexpr const char* ELLIPSIS = "\u2026";

bool starts_code_point(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

int code_points(const std::string& text)
{
    int count = 0;
    for (const char c : text)
        count += starts_code_point(c) ? 1 : 0;
    return count;
}

// The byte offset of code point index in text (text.size() past the end).
std::size_t offset_of(const std::string& text, int index)
{
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (starts_code_point(text[i]) && seen++ == index)
            return i;
    return text.size();
}

// The text cut in its middle to columns code points, the cut marked.
std::string elided(const std::string& text, int columns)
{
    const int length = code_points(text);
    if (length <= columns)
        return text;
    const int kept = columns - 1;
    const int head = kept / 2;
    const int tail = kept - head;
    return text.substr(0, offset_of(text, head)) + ELLIPSIS + text.substr(offset_of(text, length - tail));
}

std::string duration_text(double seconds)
{
    const auto whole = static_cast<long long>(std::llround(seconds));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

} // namespace

std::string progress_line_text(const RunProgress& progress, int columns)
{
    std::string line = "[" + std::to_string(progress.done) + "/" + std::to_string(progress.total) + "]";
    if (progress.done >= 2 && progress.seconds > 0) {
        const double rate = static_cast<double>(progress.done) / progress.seconds;
        char figure[32];
        std::snprintf(figure, sizeof figure, rate >= 10 ? " %.0f/s" : " %.1f/s", rate);
        line += figure;
        line += ", " + duration_text(static_cast<double>(progress.total - progress.done) / rate) + " left";
    }
    if (progress.counted_images > 0)
        line += progress.saved_bytes >= 0 ? ", saved " + byte_size_text(progress.saved_bytes)
                                          : ", grew " + byte_size_text(-progress.saved_bytes);
    const int room = columns - code_points(line) - 2;
    if (!progress.file.empty() && room >= FILE_COLUMNS_MINIMUM)
        line += "  " + elided(progress.file, room);
    if (code_points(line) <= columns)
        return line;
    return columns > 0 ? line.substr(0, offset_of(line, columns - 1)) + ELLIPSIS : std::string();
}

} // namespace pictavo
