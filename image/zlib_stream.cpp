// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/zlib_stream.h"

#include <libdeflate.h>

#include <algorithm>

namespace pictavo {

void ZlibCompressor::Free::operator()(libdeflate_compressor* compressor) const
{
    libdeflate_free_compressor(compressor);
}

ZlibCompressor::ZlibCompressor(int level) : compressor_(libdeflate_alloc_compressor(level)) {}

bool ZlibCompressor::compress(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out, std::size_t limit)
{
    if (!compressor_)
        return false;
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor_.get(), data.size());
    out.resize(limit > 0 ? std::min(limit, bound) : bound);
    const std::size_t size = libdeflate_zlib_compress(compressor_.get(), data.data(), data.size(), out.data(), out.size());
    out.resize(size);
    return size > 0;
}

std::uint32_t crc32_of(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count)
{
    return libdeflate_crc32(crc, bytes, count);
}

} // namespace pictavo
