// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the chunks and the unfiltered rows of a PNG file written by the encoder.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <png.h>
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

// What write_png puts besides the image.
struct PngExtras {
    std::vector<std::uint8_t> icc;
    std::string icc_name = "Test profile";
    int srgb_intent = -1;
    std::vector<std::uint8_t> exif;
    std::vector<png_color> palette;
    std::vector<std::uint8_t> palette_alpha;  // tRNS of a palette image
};

inline void append_to_vector(png_structp png, png_bytep bytes, png_size_t count)
{
    auto* file = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    file->insert(file->end(), bytes, bytes + count);
}

// A PNG file written with libpng: samples are the stored rows, top first, packed as the colour
// type and bit depth store them (16-bit samples big-endian). Empty when libpng refuses.
inline std::vector<std::uint8_t> write_png(int width, int height, int colour_type, int bit_depth,
                                           const std::vector<std::uint8_t>& samples, const PngExtras& extras = {})
{
    std::vector<std::uint8_t> file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &file, append_to_vector, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bit_depth, colour_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!extras.palette.empty())
        png_set_PLTE(png, info, extras.palette.data(), static_cast<int>(extras.palette.size()));
    if (!extras.palette_alpha.empty())
        png_set_tRNS(png, info, extras.palette_alpha.data(), static_cast<int>(extras.palette_alpha.size()), nullptr);
    if (!extras.icc.empty())
        png_set_iCCP(png, info, extras.icc_name.c_str(), PNG_COMPRESSION_TYPE_BASE, extras.icc.data(),
                     static_cast<png_uint_32>(extras.icc.size()));
    if (extras.srgb_intent >= 0)
        png_set_sRGB(png, info, extras.srgb_intent);
    if (!extras.exif.empty())
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(extras.exif.size()), const_cast<png_bytep>(extras.exif.data()));
    png_write_info(png, info);
    const std::size_t row_bytes = png_get_rowbytes(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, samples.data() + static_cast<std::size_t>(y) * row_bytes);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

// One chunk with its length and CRC, for files put together by hand.
inline std::vector<std::uint8_t> png_chunk(const std::string& type, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> chunk;
    const auto length = static_cast<std::uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk.push_back(static_cast<std::uint8_t>(length >> shift));
    chunk.insert(chunk.end(), type.begin(), type.end());
    chunk.insert(chunk.end(), data.begin(), data.end());
    const auto crc = static_cast<std::uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4)));
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk.push_back(static_cast<std::uint8_t>(crc >> shift));
    return chunk;
}

inline std::vector<std::uint8_t> png_signature() { return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}; }

} // namespace pictavo::test
