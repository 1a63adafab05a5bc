// SPDX-License-Identifier: GPL-3.0-or-later
// ICC profiles in JPEG files: the profile is split into numbered pieces, each in an APP2
// marker that starts with "ICC_PROFILE\0", the piece's number (from 1) and the number of
// pieces, followed by the piece's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pictavo {

constexpr std::size_t icc_piece_header_size = 14;
// A marker holds at most 65533 bytes of data, the piece's header included.
constexpr std::size_t icc_piece_capacity = 65533 - icc_piece_header_size;
constexpr std::size_t icc_max_pieces = 255;

struct MarkerData {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
};

// The profile from the APP2 markers of a file, in the order they appear; markers that are
// not ICC pieces are passed over. Empty (no profile) when a piece is missing, repeated or
// numbered outside its count, or when the pieces disagree about the count.
std::vector<std::uint8_t> assemble_icc_profile(const std::vector<MarkerData>& app2_markers);

// The header of piece index (from 0) of count pieces.
void icc_piece_header(std::size_t index, std::size_t count, std::uint8_t (&header)[icc_piece_header_size]);

// How many pieces a profile of size bytes takes; 0 when it is empty or too large for a file.
std::size_t icc_piece_count(std::size_t size);

} // namespace pictavo
