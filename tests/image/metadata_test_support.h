// SPDX-License-Identifier: GPL-3.0-or-later
// ICC profiles and EXIF blocks made in the tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pictavo::test {

inline void put_big32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// A display profile of exactly size bytes (at least 144) for the given data colour space
// ("RGB ", "GRAY", "CMYK"): a valid header and one tag whose contents fill the rest with
// bytes that depend on the seed, so that two profiles differ everywhere.
inline std::vector<std::uint8_t> make_icc_profile(std::size_t size, const char* colour_space = "RGB ", unsigned seed = 1)
{
    std::vector<std::uint8_t> profile(size, 0);
    put_big32(profile, 0, static_cast<std::uint32_t>(size));
    std::memcpy(&profile[4], "test", 4);
    put_big32(profile, 8, 0x02100000);  // version 2.1
    std::memcpy(&profile[12], "mntr", 4);
    std::memcpy(&profile[16], colour_space, 4);
    std::memcpy(&profile[20], "XYZ ", 4);
    std::memcpy(&profile[36], "acsp", 4);
    put_big32(profile, 68, 0x0000F6D6);  // D50 illuminant
    put_big32(profile, 72, 0x00010000);
    put_big32(profile, 76, 0x0000D32D);
    put_big32(profile, 128, 1);
    std::memcpy(&profile[132], "desc", 4);
    put_big32(profile, 136, 144);
    put_big32(profile, 140, static_cast<std::uint32_t>(size - 144));
    std::uint32_t state = seed;
    for (std::size_t i = 144; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        profile[i] = static_cast<std::uint8_t>(state >> 24);
    }
    return profile;
}

// A TIFF block whose IFD0 holds a width tag and the orientation tag as a SHORT.
inline std::vector<std::uint8_t> exif_block(int orientation, bool big_endian)
{
    std::vector<std::uint8_t> block;
    auto put16 = [&](unsigned v) {
        block.push_back(static_cast<std::uint8_t>(big_endian ? v >> 8 : v));
        block.push_back(static_cast<std::uint8_t>(big_endian ? v : v >> 8));
    };
    auto put32 = [&](std::uint32_t v) {
        put16(big_endian ? v >> 16 : v & 0xFFFF);
        put16(big_endian ? v & 0xFFFF : v >> 16);
    };
    block.push_back(big_endian ? 'M' : 'I');
    block.push_back(big_endian ? 'M' : 'I');
    put16(42);
    put32(8);
    put16(2);
    // ImageWidth as a LONG, then Orientation as a SHORT: tag, type, count, value.
    put16(0x0100);
    put16(4);
    put32(1);
    put32(640);
    put16(0x0112);
    put16(3);
    put32(1);
    put16(static_cast<unsigned>(orientation));
    put16(0);
    put32(0);  // no next directory
    return block;
}

// The APP1 payload of a JPEG file for an EXIF block.
inline std::vector<std::uint8_t> exif_app1(const std::vector<std::uint8_t>& block)
{
    std::vector<std::uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), block.begin(), block.end());
    return payload;
}

// The APP2 payload of piece number (from 1) of count, holding bytes.
inline std::vector<std::uint8_t> icc_app2(int number, int count, const std::uint8_t* bytes, std::size_t size)
{
    std::vector<std::uint8_t> payload = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
    payload.push_back(static_cast<std::uint8_t>(number));
    payload.push_back(static_cast<std::uint8_t>(count));
    payload.insert(payload.end(), bytes, bytes + size);
    return payload;
}

} // namespace pictavo::test
