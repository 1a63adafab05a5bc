// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_resize.h"

#include "image/area_resample.h"
#include "image/cubic_resample.h"
#include "image/nearest_resample.h"

#include <utility>

namespace pictavo {

bool image_resize_object(ImageObject& image, int width, int height, int mode)
{
    if (!image.holds_image() || image.is_icon || image.frame_count != 1)
        return false;
    if (width == IMAGE_KEEP)
        width = image.width;
    if (height == IMAGE_KEEP)
        height = image.height;
    if (width == image.width && height == image.height)
        return true;
    if (image.width < 1 || image.height < 1 || width < 1 || height < 1)
        return false;
    const PixelBuffer& source = image.pixels;
    // A record whose sizes disagree with its pixels would send the resamplers out of bounds.
    if (source.width() != image.width || source.height() != image.height)
        return false;
    PixelBuffer resized = PixelBuffer::create(width, height, source.depth());
    if (resized.empty())
        return false;
    bool done = false;
    if (mode != 0)
        done = nearest_resample(source, resized);
    else if (source.depth() == 32)
        done = cubic_resample(source, resized);
    else
        done = area_resample(source, resized);
    if (!done)
        return false;
    image.pixels = std::move(resized);
    image.width = static_cast<std::int16_t>(width);
    image.height = static_cast<std::int16_t>(height);
    return true;
}

ImageHandle image_resize(ImageNumber number, int width, int height, int mode)
{
    ImageObject* image = image_lookup(number);
    if (!image || !image_resize_object(*image, width, height, mode))
        return 0;
    return image->pixel_handle();
}

} // namespace pictavo
