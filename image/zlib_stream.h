// SPDX-License-Identifier: GPL-3.0-or-later
// zlib streams (RFC 1950) made with libdeflate, whose slower levels search for matches more
// thoroughly than zlib's own and so make smaller streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct libdeflate_compressor;

namespace pictavo {

class ZlibCompressor {
public:
    // level 1 (fastest) to 12 (smallest output).
    explicit ZlibCompressor(int level);
    bool valid() const { return compressor_ != nullptr; }

    // data compressed into out, resized to the stream's length (its capacity is kept, so a
    // buffer reused between calls is allocated once). With a limit, out gets only that much
    // room and false means the stream would not fit; without one it gets room for any
    // stream. std::bad_alloc is left to the caller.
    bool compress(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out, std::size_t limit = 0);

private:
    struct Free {
        void operator()(libdeflate_compressor* compressor) const;
    };
    std::unique_ptr<libdeflate_compressor, Free> compressor_;
};

// The CRC-32 that PNG chunks and zlib's crc32 use, continued from crc.
std::uint32_t crc32_of(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count);

} // namespace pictavo
