// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_resize.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace pictavo {
namespace {

// Copies the part of the width x height rectangle at (x, y) (top-left origin) that lies
// inside source into destination, whose size is the rectangle's.
void copy_rectangle(const PixelBuffer& source, PixelBuffer& destination, std::int64_t x, std::int64_t y)
{
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t right = std::min<std::int64_t>(x + destination.width(), source.width());
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t bottom = std::min<std::int64_t>(y + destination.height(), source.height());
    if (left >= right || top >= bottom)
        return;
    const auto pixel_bytes = static_cast<std::size_t>(source.bytes_per_pixel());
    const auto bytes = static_cast<std::size_t>(right - left) * pixel_bytes;
    for (std::int64_t row = top; row < bottom; ++row) {
        const std::uint8_t* in = source.image_row(static_cast<int>(row)) + static_cast<std::size_t>(left) * pixel_bytes;
        std::uint8_t* out = destination.image_row(static_cast<int>(row - y))
            + static_cast<std::size_t>(left - x) * pixel_bytes;
        std::memcpy(out, in, bytes);
    }
}

// The profile goes with the pixels; false when memory runs out.
bool copy_colour(const ColourProfile& source, ColourProfile& copy)
{
    try {
        copy = source;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// A usable source: an image whose record agrees with its pixels.
bool is_copy_source(const ImageObject& image)
{
    return image.holds_image() && image.frame_count == 1 && image.pixels.width() == image.width &&
           image.pixels.height() == image.height;
}

const ImageObject* copy_source(ImageNumber number)
{
    const ImageObject* image = image_lookup(number);
    return image && is_copy_source(*image) ? image : nullptr;
}

// The rectangle of source as a new image record (not yet stored anywhere).
bool grab_rectangle(const ImageObject& source, int x, int y, int width, int height, ImageObject& grabbed)
{
    PixelBuffer pixels = PixelBuffer::create(width, height, source.pixels.depth());
    grabbed = ImageObject();
    if (pixels.empty() || !copy_colour(source.colour, grabbed.colour))
        return false;
    copy_rectangle(source.pixels, pixels, x, y);
    grabbed.width = static_cast<std::int16_t>(width);
    grabbed.height = static_cast<std::int16_t>(height);
    grabbed.depth = static_cast<std::int8_t>(pixels.depth());
    grabbed.source_depth = source.source_depth;
    grabbed.plugin_code = 0;
    grabbed.frame_count = 1;
    grabbed.orientation = source.orientation;
    grabbed.pixels = std::move(pixels);
    return true;
}

} // namespace

bool image_grab_object(const ImageObject& source, int x, int y, int width, int height, ImageObject& result)
{
    ImageObject grabbed;
    if (!is_copy_source(source) || !grab_rectangle(source, x, y, width, height, grabbed))
        return false;
    result = std::move(grabbed);
    return true;
}

ImageHandle image_grab(ImageNumber source, ImageNumber target, int x, int y, int width, int height)
{
    const ImageObject* image = copy_source(source);
    ImageObject grabbed;
    if (!image || !grab_rectangle(*image, x, y, width, height, grabbed))
        return 0;
    // Allocating the target may release the source (grab onto itself); the grab is complete.
    ImageObject* result = image_allocate(target);
    if (!result)
        return 0;
    *result = std::move(grabbed);
    return image_result(target, *result);
}

ImageHandle image_copy(ImageNumber source, ImageNumber target)
{
    if (source == target)
        return 0;
    const ImageObject* image = copy_source(source);
    if (!image)
        return 0;
    ImageObject* result = image_allocate(target);
    if (!result)
        return 0;
    PixelBuffer pixels = PixelBuffer::create(image->pixels.width(), image->pixels.height(), image->pixels.depth());
    if (pixels.empty() || !copy_colour(image->colour, result->colour)) {
        image_free(target == IMAGE_ANY ? static_cast<ImageNumber>(image_result(target, *result)) : target);
        return 0;
    }
    std::memcpy(pixels.data(), image->pixels.data(), pixels.size_bytes());
    result->width = image->width;
    result->height = image->height;
    result->depth = image->depth;
    result->source_depth = image->source_depth;
    result->plugin_code = image->plugin_code;
    result->frame_count = 1;
    result->is_icon = image->is_icon;
    result->orientation = image->orientation;
    result->pixels = std::move(pixels);
    return image_result(target, *result);
}

} // namespace pictavo
