// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the chunks and the unfiltered rows of a PNG file written by the encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <zlib.h>

namespace pictavo::test {

struct PngChunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

inline std::uint32_t big_endian32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

inline std::vector<PngChunk> png_chunks(const std::vector<std::uint8_t>& file)
{
    std::vector<PngChunk> chunks;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = big_endian32(&file[at]);
        if (length > file.size() - at - 12)
            break;
        chunks.push_back({std::string(file.begin() + static_cast<long>(at) + 4, file.begin() + static_cast<long>(at) + 8),
                          std::vector<std::uint8_t>(file.begin() + static_cast<long>(at) + 8,
                                                    file.begin() + static_cast<long>(at + 8 + length))});
        at += 12 + length;
    }
    return chunks;
}

inline std::vector<std::string> chunk_types(const std::vector<PngChunk>& chunks)
{
    std::vector<std::string> types;
    for (const auto& chunk : chunks)
        if (types.empty() || types.back() != chunk.type)
            types.push_back(chunk.type);
    return types;
}

struct PngLayout {
    std::uint32_t width = 0, height = 0;
    int bit_depth = 0, colour_type = 0;
    std::vector<std::uint8_t> palette;    // red, green, blue triples
    std::vector<std::uint8_t> scanlines;  // each row: filter byte, then the row bytes
    std::size_t row_bytes = 0;
};

inline PngLayout png_layout(const std::vector<std::uint8_t>& file)
{
    PngLayout layout;
    std::vector<std::uint8_t> compressed;
    for (const auto& chunk : png_chunks(file)) {
        if (chunk.type == "IHDR") {
            layout.width = big_endian32(&chunk.data[0]);
            layout.height = big_endian32(&chunk.data[4]);
            layout.bit_depth = chunk.data[8];
            layout.colour_type = chunk.data[9];
        } else if (chunk.type == "PLTE") {
            layout.palette = chunk.data;
        } else if (chunk.type == "IDAT") {
            compressed.insert(compressed.end(), chunk.data.begin(), chunk.data.end());
        }
    }
    const int channels = layout.colour_type == 2 ? 3 : layout.colour_type == 6 ? 4 : 1;
    layout.row_bytes = (static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(channels * layout.bit_depth) + 7) / 8;
    uLongf size = static_cast<uLongf>((layout.row_bytes + 1) * layout.height);
    layout.scanlines.resize(size);
    if (uncompress(layout.scanlines.data(), &size, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK)
        layout.scanlines.clear();
    return layout;
}

} // namespace pictavo::test
