// SPDX-License-Identifier: GPL-3.0-or-later
// Numbered in-memory images.
//
// Images live in a numbered table under numbers the caller chooses (the batch engine uses 0
// and 2). IMAGE_ANY as a number allocates an image outside the table; the returned value is
// then the image's own reference and serves as its number in later calls.
#pragma once

#include "image/colour_profile.h"
#include "image/pixel_buffer.h"
#include "image/sample_plane.h"

#include <cstdint>
#include <memory>

namespace pictavo {

using ImageNumber = std::intptr_t;
// Non-zero on success: the image's pixel handle, or for IMAGE_ANY the image's reference.
using ImageHandle = std::uintptr_t;

constexpr ImageNumber IMAGE_ANY = -1;
// Bit value of the decoder and encoder flags: image row y is buffer row height - 1 - y.
constexpr int ROWS_BOTTOM_UP = 2;

// Four-character plugin codes, little-endian.
constexpr std::uint32_t IMAGE_CODE_BMP = 0x00504D42;
constexpr std::uint32_t IMAGE_CODE_JPEG = 0x4745504A;
constexpr std::uint32_t IMAGE_CODE_PNG = 0x00474E50;
constexpr std::uint32_t IMAGE_CODE_ICON = 0x4E4F4349;
constexpr std::uint32_t IMAGE_CODE_WEBP = 0x50424557;
constexpr std::uint32_t IMAGE_CODE_AVIF = 0x46495641;

struct ImageObject {
    PixelBuffer pixels;          // empty: the number holds no image
    std::int16_t width = 0;
    std::int16_t height = 0;
    std::int8_t depth = 0;       // bits per pixel of pixels: 24 or 32
    std::int8_t source_depth = 0;
    std::uint32_t plugin_code = 0;
    std::int32_t frame_count = 0;
    bool is_icon = false;        // icon data: held as pixels, refused by resize and save
    // How the stored pixels are turned to be seen upright, as the source's EXIF orientation
    // says: 1 (as stored) to 8. image_apply_orientation turns them and makes it 1.
    std::uint8_t orientation = 1;
    ColourProfile colour;        // goes into the image's outputs (see image_write)
    // Set instead of pixels by image_read_file_sized_as_planes: the image as YCbCr 4:2:0
    // planes, for the encoders that code YCbCr (see image_encode). holds_image() is false for it.
    std::shared_ptr<const YcbcrPlanes> ycbcr;

    bool holds_image() const { return !pixels.empty(); }
    ImageHandle pixel_handle() const { return reinterpret_cast<ImageHandle>(pixels.data()); }
};

// The image under number, or nullptr when it holds none.
ImageObject* image_lookup(ImageNumber number);

// An empty image record under number, releasing the image held there. For IMAGE_ANY a new
// record outside the table. nullptr when memory runs out or the number is invalid.
ImageObject* image_allocate(ImageNumber number);

// What a successful load, grab or copy into number returns for image.
ImageHandle image_result(ImageNumber number, const ImageObject& image);

// Releases the image under number; IMAGE_ANY releases every image. Unknown numbers are ignored.
void image_free(ImageNumber number);

// The stored 16-bit size, sign-extended; 0 when the number holds no image.
int image_width(ImageNumber number);
int image_height(ImageNumber number);

} // namespace pictavo
