// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/icon_image.h"

#include "image/bmp_decoder.h"
#include "image/byte_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace pictavo {
namespace {

constexpr std::size_t directory_header_size = 6;
constexpr std::size_t directory_entry_size = 16;
constexpr std::size_t min_info_header_size = 40;

struct IconEntry {
    int width = 0;   // 0 in the directory stands for 256
    int height = 0;
    int bit_count = 0;
    std::size_t offset = 0;
    std::size_t size = 0;
};

std::optional<IconEntry> read_entry(const ByteReader& data, std::size_t index)
{
    const std::size_t at = directory_header_size + index * directory_entry_size;
    if (!data.holds(at, directory_entry_size))
        return std::nullopt;
    IconEntry entry;
    entry.width = *data.u8(at) ? *data.u8(at) : 256;
    entry.height = *data.u8(at + 1) ? *data.u8(at + 1) : 256;
    entry.bit_count = *data.u16(at + 6);
    entry.size = *data.u32(at + 8);
    entry.offset = *data.u32(at + 12);
    if (!data.holds(entry.offset, entry.size))
        return std::nullopt;
    return entry;
}

std::optional<IconEntry> choose_entry(const ByteReader& data)
{
    const std::size_t count = *data.u16(4);
    std::optional<IconEntry> chosen;
    for (std::size_t index = 0; index < count; ++index) {
        const auto entry = read_entry(data, index);
        if (!entry)
            return std::nullopt;
        if (!chosen)
            chosen = entry;
        else if (entry->width == chosen->width && entry->height == chosen->height &&
                 entry->bit_count > chosen->bit_count)
            chosen = entry;
    }
    return chosen;
}

// The entry's colour bitmap: an info header, the colour table, the rows; its stored height
// covers the colour rows and the transparency mask below them.
std::optional<BitmapLayout> read_colour_bitmap(const ByteReader& entry)
{
    const auto info_size = entry.u32(0);
    if (!info_size || *info_size < min_info_header_size || !entry.holds(0, *info_size))
        return std::nullopt;
    const std::int64_t width = *entry.i32(4);
    const std::int64_t height = *entry.i32(8) / 2;
    if (width < 1 || height < 1 || exceeds_image_limits(width, height))
        return std::nullopt;
    BitmapLayout layout;
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    layout.bits_per_pixel = *entry.u16(14);
    layout.compression = *entry.u32(16);
    std::uint64_t colours = *entry.u32(32);
    if (colours == 0 && layout.bits_per_pixel <= 8)
        colours = std::uint64_t{1} << layout.bits_per_pixel;
    layout.palette_offset = *info_size;
    layout.pixel_offset = static_cast<std::size_t>(*info_size + 4 * std::min<std::uint64_t>(colours, 256));
    return layout;
}

// A colour bitmap whose declared size (its height covers the colour and the mask rows) is
// beyond the limits.
bool declares_too_many_pixels(const ByteReader& entry)
{
    const auto width = entry.i32(4);
    const auto height = entry.i32(8);
    return width && height && exceeds_image_limits(*width, std::llabs(std::int64_t{*height}) / 2);
}

bool is_png_entry(const ByteReader& entry)
{
    static const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const std::uint8_t* start = entry.bytes(0, sizeof signature);
    return start && std::memcmp(start, signature, sizeof signature) == 0;
}

} // namespace

bool is_icon_data(const std::uint8_t* data, std::size_t size)
{
    const ByteReader reader(data, size);
    return reader.u16(0) == 0 && reader.u16(2) == 1 && reader.u16(4).has_value();
}

ImageError load_icon(ImageObject& image, const std::uint8_t* data, std::size_t size)
{
    const ByteReader reader(data, size);
    const auto entry = choose_entry(reader);
    if (!entry)
        return ImageError::Corrupt;
    const ByteReader entry_data(data + entry->offset, entry->size);

    // Compressed entries are held at their directory size without their pixels.
    std::optional<BitmapLayout> layout;
    if (is_png_entry(entry_data)) {
        layout = BitmapLayout{};
        layout->width = entry->width;
        layout->height = entry->height;
        layout->bits_per_pixel = 32;
    } else {
        if (declares_too_many_pixels(entry_data))
            return ImageError::TooManyPixels;
        layout = read_colour_bitmap(entry_data);
        if (!layout)
            return ImageError::Corrupt;
    }
    image.pixels = PixelBuffer::create(layout->width, layout->height, 24);
    if (image.pixels.empty())
        return ImageError::OutOfMemory;
    if (!is_png_entry(entry_data))
        unpack_bitmap(entry_data, *layout, image.pixels.data(), image.pixels.stride(), ROWS_BOTTOM_UP);
    image.width = static_cast<std::int16_t>(layout->width);
    image.height = static_cast<std::int16_t>(layout->height);
    image.depth = 24;
    image.source_depth = static_cast<std::int8_t>(layout->bits_per_pixel);
    image.plugin_code = IMAGE_CODE_ICON;
    image.frame_count = 1;
    image.is_icon = true;
    return ImageError::None;
}

} // namespace pictavo
