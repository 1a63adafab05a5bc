// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory pixel layout every image operation relies on.
//
// 24 bits per pixel (blue, green, red) or 32 (blue, green, red, alpha; straight alpha, 255 is
// opaque). Rows are stored bottom-up: row 0 in memory is the bottom row of the image. Each
// row starts on a 4-byte boundary. A new buffer is all zero bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace pictavo {

// Images wider or taller than this are refused everywhere (sizes are kept in 16 bits).
constexpr int max_image_dimension = 32767;

// Decoders refuse an image of more pixels before allocating anything for it. 2^28 pixels take
// 1 GiB at 32 bits per pixel, and the largest camera photos (about 200 MP) stay below it; a
// header that declares more is in practice a file made to exhaust memory.
constexpr std::uint64_t max_image_pixels = std::uint64_t{1} << 28;

// Whether a declared size is beyond either limit (sizes below 1 are for the decoders to refuse).
bool exceeds_image_limits(std::int64_t width, std::int64_t height);

// Bytes from one row to the next for a width and bits per pixel (1, 4, 8, 15, 16, 24, 32);
// 0 when the width is negative.
std::size_t pixel_row_stride(std::int64_t width, int bits_per_pixel);

class PixelBuffer {
public:
    PixelBuffer() = default;

    // A zero-filled buffer of width x height at depth 24 or 32 (a smaller depth gets 24).
    // Returns an empty buffer when a size is below 1 or above max_image_dimension, or when
    // memory runs out. Never throws.
    static PixelBuffer create(int width, int height, int depth);

    bool empty() const { return bytes_ == nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    int depth() const { return depth_; }
    int bytes_per_pixel() const { return depth_ / 8; }
    std::size_t stride() const { return stride_; }
    std::size_t size_bytes() const { return stride_ * static_cast<std::size_t>(height_); }

    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }
    // Row in buffer order (0 = bottom image row).
    std::uint8_t* buffer_row(int row) { return bytes_.get() + stride_ * static_cast<std::size_t>(row); }
    const std::uint8_t* buffer_row(int row) const
    {
        return bytes_.get() + stride_ * static_cast<std::size_t>(row);
    }
    // Row counted from the top of the image.
    std::uint8_t* image_row(int y) { return buffer_row(height_ - 1 - y); }
    const std::uint8_t* image_row(int y) const { return buffer_row(height_ - 1 - y); }

private:
    struct FreeDeleter {
        void operator()(std::uint8_t* bytes) const { std::free(bytes); }
    };
    std::unique_ptr<std::uint8_t, FreeDeleter> bytes_;
    int width_ = 0;
    int height_ = 0;
    int depth_ = 0;
    std::size_t stride_ = 0;
};

} // namespace pictavo
