// SPDX-License-Identifier: GPL-3.0-or-later
// Bounds-checked little-endian reads from a block of bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pictavo {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t size() const { return size_; }
    bool holds(std::size_t offset, std::size_t count) const
    {
        return offset <= size_ && count <= size_ - offset;
    }

    std::optional<std::uint8_t> u8(std::size_t offset) const
    {
        if (!holds(offset, 1))
            return std::nullopt;
        return data_[offset];
    }
    std::optional<std::uint16_t> u16(std::size_t offset) const
    {
        if (!holds(offset, 2))
            return std::nullopt;
        return static_cast<std::uint16_t>(data_[offset] | data_[offset + 1] << 8);
    }
    std::optional<std::uint32_t> u32(std::size_t offset) const
    {
        if (!holds(offset, 4))
            return std::nullopt;
        return static_cast<std::uint32_t>(data_[offset]) | static_cast<std::uint32_t>(data_[offset + 1]) << 8 |
               static_cast<std::uint32_t>(data_[offset + 2]) << 16 |
               static_cast<std::uint32_t>(data_[offset + 3]) << 24;
    }
    std::optional<std::int32_t> i32(std::size_t offset) const
    {
        auto value = u32(offset);
        if (!value)
            return std::nullopt;
        return static_cast<std::int32_t>(*value);
    }

    // Pointer to count bytes at offset, or nullptr when they are not all there.
    const std::uint8_t* bytes(std::size_t offset, std::size_t count) const
    {
        return holds(offset, count) ? data_ + offset : nullptr;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

} // namespace pictavo
