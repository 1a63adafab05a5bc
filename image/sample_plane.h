// SPDX-License-Identifier: GPL-3.0-or-later
// Images held as planes of one sample per pixel, as JPEG stores colour and as the WebP and AVIF
// encoders code it: YCbCr, a luma plane and two chroma planes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace pictavo {

// One channel: width x height samples, rows top first.
class SamplePlane {
public:
    SamplePlane() = default;

    // A plane whose samples are undefined until written, each row stride samples after the
    // last (stride: at least width; 0 for width), so that a decoder may write whole blocks
    // past the width. Empty when a side is below 1 or above max_image_dimension, or when
    // memory runs out. Never throws.
    static SamplePlane create(int width, int height, int stride = 0);

    bool empty() const { return samples_ == nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t stride() const { return stride_; }
    std::uint8_t* row(int y) { return samples_.get() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* row(int y) const { return samples_.get() + static_cast<std::size_t>(y) * stride_; }

private:
    std::unique_ptr<std::uint8_t[]> samples_;
    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
};

// Full-range YCbCr of ITU-R BT.601, as JFIF defines it. The chroma planes cover the same
// picture as the luma plane, each at its own size: as a stream samples them after decoding,
// half the luma's width and height (rounded up) once resized for an encoder.
struct YcbcrPlanes {
    SamplePlane luma;
    SamplePlane blue;  // Cb
    SamplePlane red;   // Cr

    bool empty() const { return luma.empty() || blue.empty() || red.empty(); }
    int width() const { return luma.width(); }
    int height() const { return luma.height(); }
};

// The chroma length of 4:2:0 sampling for a luma length.
constexpr int chroma_length_420(int luma_length)
{
    return luma_length / 2 + luma_length % 2;
}

// Whether the chroma planes are those of 4:2:0 sampling.
bool is_420(const YcbcrPlanes& planes);

// Pixel (x, y) of 4:2:0 planes as red, green, blue, with the chroma sample that covers it: for
// showing the image, not for an output.
std::array<std::uint8_t, 3> ycbcr_to_rgb(const YcbcrPlanes& planes, int x, int y);

} // namespace pictavo
