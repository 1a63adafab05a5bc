// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/byte_sizes.h"

#include <cstdio>

namespace pictavo {

std::optional<std::int64_t> parse_byte_size(const std::string& text)
{
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    // 15 digits times a mebibyte still fits in 64 bits.
    if (digits == 0 || digits > 15)
        return std::nullopt;
    std::int64_t unit = 1;
    const std::string suffix = text.substr(digits);
    if (suffix == "K" || suffix == "k")
        unit = 1024;
    else if (suffix == "M" || suffix == "m")
        unit = 1024 * 1024;
    else if (!suffix.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = 0; i < digits; ++i)
        value = value * 10 + (text[i] - '0');
    return value * unit;
}

std::string byte_size_text(std::int64_t bytes)
{
    constexpr const char* units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024 && bytes > -1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    value /= 1024;
    while ((value >= 1024 || value <= -1024) && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[48];
    const bool whole = value == static_cast<double>(static_cast<std::int64_t>(value));
    if (whole || value >= 100 || value <= -100)
        std::snprintf(text, sizeof text, "%.0f %s", value, units[unit]);
    else
        std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

} // namespace pictavo
