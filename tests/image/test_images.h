// SPDX-License-Identifier: GPL-3.0-or-later
// Images made directly in the image table for resize, grab and copy tests.
#pragma once

#include "image/image_object.h"

#include <cstdint>
#include <random>

namespace pictavo::test {

// An image of random pixels under number (all bytes random, alpha included), recorded as a
// decoded JPEG so that tests can see which fields are carried along.
inline ImageObject* make_image(ImageNumber number, int width, int height, int depth, unsigned seed = 1)
{
    ImageObject* image = image_allocate(number);
    if (!image)
        return nullptr;
    image->pixels = PixelBuffer::create(width, height, depth);
    image->width = static_cast<std::int16_t>(width);
    image->height = static_cast<std::int16_t>(height);
    image->depth = static_cast<std::int8_t>(image->pixels.depth());
    image->source_depth = 8;
    image->plugin_code = IMAGE_CODE_JPEG;
    image->frame_count = 1;
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < image->pixels.size_bytes(); ++i)
        image->pixels.data()[i] = static_cast<std::uint8_t>(random());
    return image;
}

// Pixel (x, y) counted from the top-left, as the user sees the image.
inline std::uint8_t* pixel_at(PixelBuffer& pixels, int x, int y)
{
    return pixels.image_row(y) + static_cast<std::size_t>(x) * static_cast<std::size_t>(pixels.bytes_per_pixel());
}

inline void set_pixel(PixelBuffer& pixels, int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a = 255)
{
    std::uint8_t* p = pixel_at(pixels, x, y);
    p[0] = b;
    p[1] = g;
    p[2] = r;
    if (pixels.bytes_per_pixel() == 4)
        p[3] = a;
}

} // namespace pictavo::test
