// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/pixel_buffer.h"

namespace pictavo {

std::size_t pixel_row_stride(std::int64_t width, int bits_per_pixel)
{
    if (width < 0)
        return 0;
    const auto w = static_cast<std::size_t>(width);
    switch (bits_per_pixel) {
    case 1: return (w + 31) / 32 * 4;
    case 4: return (w + 7) / 8 * 4;
    case 8: return (w + 3) / 4 * 4;
    case 15:
    case 16: return (w + 1) / 2 * 4;
    case 32: return 4 * w;
    default: return (3 * w + 3) / 4 * 4;
    }
}

bool exceeds_image_limits(std::int64_t width, std::int64_t height)
{
    if (width > max_image_dimension || height > max_image_dimension)
        return true;
    return width > 0 && height > 0 &&
           static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > max_image_pixels;
}

PixelBuffer PixelBuffer::create(int width, int height, int depth)
{
    PixelBuffer buffer;
    if (width < 1 || height < 1 || width > max_image_dimension || height > max_image_dimension)
        return buffer;
    const int actual_depth = depth == 32 ? 32 : 24;
    const std::size_t stride = pixel_row_stride(width, actual_depth);
    // At most 4 * 32767 * 32767 bytes: no overflow in size_t on the 64-bit hosts we build for.
    static_assert(sizeof(std::size_t) >= 8, "pixel sizes need 64-bit size_t");
    auto* bytes = static_cast<std::uint8_t*>(std::calloc(stride * static_cast<std::size_t>(height), 1));
    if (!bytes)
        return buffer;
    buffer.bytes_.reset(bytes);
    buffer.width_ = width;
    buffer.height_ = height;
    buffer.depth_ = actual_depth;
    buffer.stride_ = stride;
    return buffer;
}

} // namespace pictavo
