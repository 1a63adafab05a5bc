// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/sample_plane.h"

#include "image/pixel_buffer.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace pictavo {

SamplePlane SamplePlane::create(int width, int height, int stride)
{
    SamplePlane plane;
    if (stride == 0)
        stride = width;
    if (width < 1 || height < 1 || width > max_image_dimension || height > max_image_dimension || stride < width ||
        stride > 2 * max_image_dimension)
        return plane;
    try {
        plane.samples_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(stride) *
                                                                          static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        return plane;
    }
    plane.width_ = width;
    plane.height_ = height;
    plane.stride_ = static_cast<std::size_t>(stride);
    return plane;
}

bool is_420(const YcbcrPlanes& planes)
{
    const int width = chroma_length_420(planes.width());
    const int height = chroma_length_420(planes.height());
    return planes.blue.width() == width && planes.blue.height() == height && planes.red.width() == width &&
           planes.red.height() == height;
}

std::array<std::uint8_t, 3> ycbcr_to_rgb(const YcbcrPlanes& planes, int x, int y)
{
    const double luma = planes.luma.row(y)[x];
    const double blue = planes.blue.row(y / 2)[x / 2] - 128.0;
    const double red = planes.red.row(y / 2)[x / 2] - 128.0;
    const auto sample = [](double value) {
        return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
    };
    return {sample(luma + 1.402 * red), sample(luma - 0.344136 * blue - 0.714136 * red), sample(luma + 1.772 * blue)};
}

} // namespace pictavo
