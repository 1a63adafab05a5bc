// SPDX-License-Identifier: GPL-3.0-or-later
// Byte counts as people type and read them: a size limit's text, and sizes in messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pictavo {

// The bytes a size text gives: whole decimal digits, optionally followed by K (1024) or
// M (1024 x 1024) in either case. Empty for anything else and for a count too large to hold.
std::optional<std::int64_t> parse_byte_size(const std::string& text);

// A byte count for people: "900 bytes", "200 KB", "1.5 MB", "2.1 GB" (units of 1024, one
// decimal below 100 of a unit, none from 100 on; whole kilobytes or megabytes without one).
std::string byte_size_text(std::int64_t bytes);

} // namespace pictavo
