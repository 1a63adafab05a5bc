// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/jpeg_icc_pieces.h"

#include <array>
#include <cstring>

namespace pictavo {
namespace {

constexpr char icc_identifier[] = "ICC_PROFILE";  // with its terminating zero: 12 bytes

bool is_icc_piece(const MarkerData& marker)
{
    return marker.size >= icc_piece_header_size && std::memcmp(marker.bytes, icc_identifier, sizeof icc_identifier) == 0;
}

} // namespace

std::vector<std::uint8_t> assemble_icc_profile(const std::vector<MarkerData>& app2_markers)
{
    std::array<const MarkerData*, icc_max_pieces + 1> by_number{};
    std::size_t count = 0;
    std::size_t seen = 0;
    std::size_t total = 0;
    for (const MarkerData& marker : app2_markers) {
        if (!is_icc_piece(marker))
            continue;
        const std::size_t number = marker.bytes[12];
        const std::size_t of = marker.bytes[13];
        if (count == 0)
            count = of;
        if (of != count || number < 1 || number > count || by_number[number])
            return {};
        by_number[number] = &marker;
        ++seen;
        total += marker.size - icc_piece_header_size;
    }
    if (seen == 0 || seen != count || total == 0)
        return {};
    std::vector<std::uint8_t> profile;
    profile.reserve(total);
    for (std::size_t number = 1; number <= count; ++number) {
        const MarkerData& piece = *by_number[number];
        profile.insert(profile.end(), piece.bytes + icc_piece_header_size, piece.bytes + piece.size);
    }
    return profile;
}

void icc_piece_header(std::size_t index, std::size_t count, std::uint8_t (&header)[icc_piece_header_size])
{
    std::memcpy(header, icc_identifier, sizeof icc_identifier);
    header[12] = static_cast<std::uint8_t>(index + 1);
    header[13] = static_cast<std::uint8_t>(count);
}

std::size_t icc_piece_count(std::size_t size)
{
    const std::size_t count = (size + icc_piece_capacity - 1) / icc_piece_capacity;
    return count <= icc_max_pieces ? count : 0;
}

} // namespace pictavo
