// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/bmp_decoder.h"

#include "image/image_object.h"
#include "image/pixel_buffer.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace pictavo {
namespace {

constexpr std::size_t file_header_size = 14;
constexpr std::size_t min_info_header_size = 40;
constexpr std::uint32_t compression_rle8 = 1;
constexpr std::uint32_t compression_rle4 = 2;
constexpr std::uint32_t compression_bitfields = 3;

struct Bgr {
    std::uint8_t blue = 0, green = 0, red = 0;
};
using Palette = std::array<Bgr, 256>;

// File header "BM" with zero reserved words, then an info header of at least 40 bytes.
bool is_bmp_header(const ByteReader& data)
{
    if (data.size() < file_header_size || data.bytes(0, 2) == nullptr ||
        std::memcmp(data.bytes(0, 2), "BM", 2) != 0 || data.u16(6) != 0 || data.u16(8) != 0)
        return false;
    const auto info_size = data.u32(14);
    return info_size && *info_size >= min_info_header_size && data.holds(file_header_size, *info_size);
}

// A BMP header whose width and height (negative for top-down rows) are beyond the limits.
bool declares_too_many_pixels(const ByteReader& data)
{
    return is_bmp_header(data) && exceeds_image_limits(*data.i32(18), std::llabs(std::int64_t{*data.i32(22)}));
}

// Width, height and bit count are taken from the fixed offsets of the info header.
std::optional<BitmapLayout> read_bmp_header(const ByteReader& data)
{
    if (!is_bmp_header(data))
        return std::nullopt;
    const auto info_size = data.u32(14);
    const std::int64_t width = *data.i32(18);
    const std::int64_t stored_height = *data.i32(22);
    const std::int64_t height = std::llabs(stored_height);
    if (width < 1 || height < 1 || exceeds_image_limits(width, height))
        return std::nullopt;

    BitmapLayout layout;
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    layout.top_down = stored_height < 0;
    layout.bits_per_pixel = *data.u16(28);
    layout.compression = *data.u32(30);
    layout.palette_offset = file_header_size + *info_size;
    layout.pixel_offset = data.u32(10).value_or(0);
    return layout;
}

// Colour-table entries that lie outside the data read as black.
Palette read_palette(const ByteReader& data, std::size_t offset)
{
    Palette palette{};
    for (std::size_t index = 0; index < palette.size(); ++index) {
        const std::uint8_t* entry = data.bytes(offset + 4 * index, 3);
        if (!entry)
            break;
        palette[index] = {entry[0], entry[1], entry[2]};
    }
    return palette;
}

void put(std::uint8_t* pixel, Bgr colour)
{
    pixel[0] = colour.blue;
    pixel[1] = colour.green;
    pixel[2] = colour.red;
}

void unpack_row(const std::uint8_t* source, const BitmapLayout& layout, const Palette& palette,
                std::uint8_t* row)
{
    const int width = layout.width;
    for (int x = 0; x < width; ++x) {
        std::uint8_t* pixel = row + 3 * x;
        switch (layout.bits_per_pixel) {
        case 1: {
            const bool set = (source[x / 8] >> (7 - x % 8)) & 1;
            put(pixel, set ? Bgr{255, 255, 255} : Bgr{});
            break;
        }
        case 4:
            put(pixel, palette[(source[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F]);
            break;
        case 8:
            put(pixel, palette[source[x]]);
            break;
        case 16: {
            const unsigned value = source[2 * x] | source[2 * x + 1] << 8;
            // Channels are shifted up with the low bits left zero.
            if (layout.compression == compression_bitfields)
                put(pixel, {static_cast<std::uint8_t>((value & 0x1F) << 3),
                            static_cast<std::uint8_t>((value >> 5 & 0x3F) << 2),
                            static_cast<std::uint8_t>((value >> 11 & 0x1F) << 3)});
            else
                put(pixel, {static_cast<std::uint8_t>((value & 0x1F) << 3),
                            static_cast<std::uint8_t>((value >> 5 & 0x1F) << 3),
                            static_cast<std::uint8_t>((value >> 10 & 0x1F) << 3)});
            break;
        }
        case 24:
            std::memcpy(pixel, source + 3 * x, 3);
            break;
        case 32:
            std::memcpy(pixel, source + 4 * x, 3);
            break;
        }
    }
}

std::uint8_t* destination_row(const BitmapLayout& layout, std::int64_t stored_row, std::uint8_t* pixels,
                              std::size_t stride, int flags)
{
    const std::int64_t image_row = layout.top_down ? stored_row : layout.height - 1 - stored_row;
    return pixels + buffer_row_index(image_row, layout.height, flags) * stride;
}

void unpack_plain_rows(const ByteReader& data, const BitmapLayout& layout, std::uint8_t* pixels,
                       std::size_t stride, int flags)
{
    const Palette palette = read_palette(data, layout.palette_offset);
    const auto bits = static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.bits_per_pixel);
    const std::uint64_t source_stride = (bits + 31) / 32 * 4;
    const std::uint64_t used_bytes = (bits + 7) / 8;
    for (int stored_row = 0; stored_row < layout.height; ++stored_row) {
        const std::uint8_t* source = data.bytes(layout.pixel_offset + stored_row * source_stride, used_bytes);
        if (!source)
            return;
        unpack_row(source, layout, palette, destination_row(layout, stored_row, pixels, stride, flags));
    }
}

// 8-bit run-length data: (count > 0, index) runs and escapes after a zero count: 0 ends the
// line, 1 ends the image, 2 moves right and up, n >= 3 copies n literal indices padded to an
// even count. Nothing lands outside the image, and data that ends early ends the decoding.
void unpack_rle8(const ByteReader& data, const BitmapLayout& layout, std::uint8_t* pixels,
                 std::size_t stride, int flags)
{
    const Palette palette = read_palette(data, layout.palette_offset);
    std::size_t position = layout.pixel_offset;
    std::int64_t x = 0;
    std::int64_t row = 0;
    auto plot = [&](std::uint8_t index) {
        if (x < layout.width && row < layout.height)
            put(destination_row(layout, row, pixels, stride, flags) + 3 * x, palette[index]);
        ++x;
    };
    while (row < layout.height) {
        const std::uint8_t* pair = data.bytes(position, 2);
        if (!pair)
            return;
        position += 2;
        if (pair[0] > 0) {
            for (int i = 0; i < pair[0]; ++i)
                plot(pair[1]);
            continue;
        }
        switch (pair[1]) {
        case 0:
            x = 0;
            ++row;
            break;
        case 1:
            return;
        case 2: {
            const std::uint8_t* move = data.bytes(position, 2);
            if (!move)
                return;
            position += 2;
            x += move[0];
            row += move[1];
            break;
        }
        default: {
            const std::size_t count = pair[1];
            const std::uint8_t* literal = data.bytes(position, count);
            if (!literal)
                return;
            for (std::size_t i = 0; i < count; ++i)
                plot(literal[i]);
            position += count + (count & 1);
            break;
        }
        }
    }
}

bool is_decoded_kind(const BitmapLayout& layout)
{
    switch (layout.bits_per_pixel) {
    case 1:
    case 8:
    case 24:
    case 32:
        return true;
    case 4:
        return layout.compression != compression_rle4;
    case 16:
        return layout.compression == 0 || layout.compression == compression_bitfields;
    default:
        return false;
    }
}

} // namespace

void unpack_bitmap(const ByteReader& data, const BitmapLayout& layout, std::uint8_t* pixels,
                   std::size_t stride, int flags)
{
    if (!is_decoded_kind(layout))
        return;
    if (layout.bits_per_pixel == 8 && layout.compression == compression_rle8)
        unpack_rle8(data, layout, pixels, stride, flags);
    else
        unpack_plain_rows(data, layout, pixels, stride, flags);
}

bool bmp_check(DecodeContext& context)
{
    const ByteReader data(context.data, context.size);
    if (declares_too_many_pixels(data)) {
        context.error = ImageError::TooManyPixels;
        return false;
    }
    const auto layout = read_bmp_header(data);
    if (!layout)
        return false;
    // A file that ends before its pixels would decode as a black image of the declared size.
    if (layout->pixel_offset >= data.size()) {
        context.error = ImageError::CutOff;
        return false;
    }
    context.width = layout->width;
    context.height = layout->height;
    context.depth = 24;
    context.source_depth = layout->bits_per_pixel;
    return true;
}

bool bmp_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags)
{
    const ByteReader data(context.data, context.size);
    const auto layout = read_bmp_header(data);
    if (!layout)
        return false;
    unpack_bitmap(data, *layout, pixels, stride, flags);
    return true;
}

const ImageDecoder bmp_decoder_plugin = {IMAGE_CODE_BMP, bmp_check, bmp_decode, [](DecodeContext&) {}, nullptr};

} // namespace pictavo
