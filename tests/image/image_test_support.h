// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the image tests: test files, pixel access and images made in memory.
#pragma once

#include "image/image_load.h"
#include "image/image_object.h"
#include "image/plugins.h"
#include "test_data.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pictavo::test {

inline std::vector<std::uint8_t> read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// Blue, green, red, alpha (255 for 24-bit images) of image pixel (x, y), y from the top.
inline std::array<int, 4> pixel_at(ImageNumber number, int x, int y)
{
    const ImageObject* image = image_lookup(number);
    const std::uint8_t* p = image->pixels.image_row(y) + x * image->pixels.bytes_per_pixel();
    return {p[0], p[1], p[2], image->pixels.depth() == 32 ? p[3] : 255};
}

// Puts an image of the given depth under number; fill(x, y) gives blue, green, red, alpha.
template <class Fill>
ImageObject& make_image(ImageNumber number, int width, int height, int depth, int source_depth, Fill fill)
{
    ImageObject& image = *image_allocate(number);
    image.pixels = PixelBuffer::create(width, height, depth);
    image.width = static_cast<std::int16_t>(width);
    image.height = static_cast<std::int16_t>(height);
    image.depth = static_cast<std::int8_t>(depth);
    image.source_depth = static_cast<std::int8_t>(source_depth);
    image.frame_count = 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::array<int, 4> bgra = fill(x, y);
            std::uint8_t* p = image.pixels.image_row(y) + x * image.pixels.bytes_per_pixel();
            for (int c = 0; c < image.pixels.bytes_per_pixel(); ++c)
                p[c] = static_cast<std::uint8_t>(bgra[static_cast<std::size_t>(c)]);
        }
    return image;
}

// A picture owned by the caller: colours that change smoothly from corner to corner (rows or
// columns in the wrong order show), plus up to grain levels of fixed pseudo-random grain per
// pixel (what makes a photograph hard to compress); with alpha, from 0 at the left edge to
// 255 at the right.
inline ImageObject picture(int width, int height, bool alpha, int grain = 0)
{
    ImageObject image;
    image.pixels = PixelBuffer::create(width, height, alpha ? 32 : 24);
    image.width = static_cast<std::int16_t>(width);
    image.height = static_cast<std::int16_t>(height);
    image.depth = static_cast<std::int8_t>(alpha ? 32 : 24);
    image.source_depth = image.depth;
    image.frame_count = 1;
    std::uint32_t noise = 777;
    const int bytes = image.pixels.bytes_per_pixel();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            const int g = grain > 0 ? static_cast<int>((noise >> 16) % static_cast<std::uint32_t>(grain)) : 0;
            std::uint8_t* p = image.pixels.image_row(y) + x * bytes;
            p[0] = static_cast<std::uint8_t>(40 + x * 150 / width + g);
            p[1] = static_cast<std::uint8_t>(30 + y * 180 / height + g);
            p[2] = static_cast<std::uint8_t>(200 - (x + y) * 120 / (width + height) + g / 2);
            if (alpha)
                p[3] = static_cast<std::uint8_t>(x * 255 / std::max(width - 1, 1));
        }
    return image;
}

struct CodecsRegistered {
    CodecsRegistered() { register_jpeg_and_png_codecs(); }
};

} // namespace pictavo::test
