// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/exif_orientation.h"

namespace pictavo {
namespace {

constexpr std::size_t tiff_header_size = 8;
constexpr std::size_t entry_size = 12;
constexpr std::uint16_t orientation_tag = 0x0112;
constexpr std::uint16_t type_short = 3;
constexpr int upright = 1;

class TiffReader {
public:
    TiffReader(const std::uint8_t* block, std::size_t size, bool big_endian)
        : block_(block), size_(size), big_endian_(big_endian) {}

    bool holds(std::size_t offset, std::size_t count) const { return offset <= size_ && count <= size_ - offset; }
    std::uint16_t u16(std::size_t offset) const
    {
        const std::uint8_t* p = block_ + offset;
        return static_cast<std::uint16_t>(big_endian_ ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
    }
    std::uint32_t u32(std::size_t offset) const
    {
        const std::uint32_t high = u16(offset + (big_endian_ ? 0 : 2));
        const std::uint32_t low = u16(offset + (big_endian_ ? 2 : 0));
        return high << 16 | low;
    }

private:
    const std::uint8_t* block_;
    std::size_t size_;
    bool big_endian_;
};

} // namespace

int exif_orientation(const std::uint8_t* block, std::size_t size)
{
    if (!block || size < tiff_header_size)
        return upright;
    const bool big_endian = block[0] == 'M' && block[1] == 'M';
    if (!big_endian && !(block[0] == 'I' && block[1] == 'I'))
        return upright;
    const TiffReader tiff(block, size, big_endian);
    if (tiff.u16(2) != 42)
        return upright;
    const std::size_t directory = tiff.u32(4);
    if (!tiff.holds(directory, 2))
        return upright;
    const std::size_t entries = tiff.u16(directory);
    if (!tiff.holds(directory + 2, entries * entry_size))
        return upright;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + i * entry_size;
        if (tiff.u16(entry) != orientation_tag)
            continue;
        if (tiff.u16(entry + 2) != type_short || tiff.u32(entry + 4) != 1)
            return upright;
        // A single SHORT sits in the first two bytes of the value field.
        const int value = tiff.u16(entry + 8);
        return value >= 1 && value <= 8 ? value : upright;
    }
    return upright;
}

} // namespace pictavo
