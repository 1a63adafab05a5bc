// SPDX-License-Identifier: GPL-3.0-or-later
// BMP decoder: uncompressed 1/4/8/16/24/32-bit data and 8-bit run-length data into 24-bit
// pixels. Kinds it does not decode (4-bit run-length data, 16-bit with other compressions,
// unusual bit counts) load as an all-black image of the stated size. A file that ends before
// its pixel data is refused as cut off.
#pragma once

#include "image/byte_reader.h"
#include "image/image_plugin.h"

namespace pictavo {

bool bmp_check(DecodeContext& context);
bool bmp_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags);

extern const ImageDecoder bmp_decoder_plugin;

// Where the parts of a device-independent bitmap lie in a block. Icons hold the same kind of
// bitmap without the file header, so the icon reader shares the unpacking.
struct BitmapLayout {
    std::size_t palette_offset = 0;  // colour table: 4-byte entries blue, green, red, unused
    std::size_t pixel_offset = 0;
    int width = 0;
    int height = 0;                  // rows, always positive
    bool top_down = false;           // first stored row is the top row
    int bits_per_pixel = 0;
    std::uint32_t compression = 0;
};

// Writes the bitmap's rows into 24-bit pixels; rows missing from the data stay black.
void unpack_bitmap(const ByteReader& data, const BitmapLayout& layout, std::uint8_t* pixels,
                   std::size_t stride, int flags);

} // namespace pictavo
