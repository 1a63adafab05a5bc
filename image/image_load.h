// SPDX-License-Identifier: GPL-3.0-or-later
// Loading image files into numbered images.
//
// The format is chosen by content: icon data first, then the registered decoders in their
// order (BMP, JPEG, PNG). A file that cannot be opened or read leaves the number as it was;
// once the data is read, the number's previous image is gone whether or not decoding succeeds.
#pragma once

#include "image/image_error.h"
#include "image/image_object.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pictavo {

// The file or the data decoded into image, which is replaced whatever the outcome (empty on
// failure). ImageError::None on success. These work on values the caller owns and touch no
// numbered image, so any number of threads may use them at once.
ImageError image_read_file(const std::string& path, ImageObject& image);
ImageError image_decode(const void* data, std::size_t size, ImageObject& image);

// What a file says of its image before the pixels are decoded.
struct ImageHeader {
    int width = 0;
    int height = 0;
    int orientation = 1;  // as ImageObject::orientation will hold it
    std::uint32_t plugin_code = 0;
};

struct ImageSize {
    int width = 0;
    int height = 0;
};

// Asked once the header is read: the size the pixels are to have, or none to keep them as
// decoded. It must not load images itself (the thread's decoder is busy with this one).
using SizeChoice = std::function<std::optional<ImageSize>(const ImageHeader&)>;

// As image_read_file followed, when choose gives a size, by image_resize_object to it (mode 0,
// so a resize that fails leaves the image at its size). A JPEG that decodes to 24 bits is
// resized as its rows are decoded and never held whole; image and error are the same. choose
// is not asked for icon data or a file that fails before its header is read. streamed, when
// given, tells whether the pixels were resized while decoding. The decoders registered under the
// codes in left_out are not tried: data only they read is not an image here.
ImageError image_read_file_sized(const std::string& path, const SizeChoice& choose, ImageObject& image,
                                 bool* streamed = nullptr, const std::vector<std::uint32_t>& left_out = {});

// As image_read_file_sized, except that a JPEG whose stream is YCbCr is held as YCbCr 4:2:0
// planes (image.ycbcr) instead of pixels when planes_choose gives a size for its header: each
// plane area-resized from the samples as the stream holds them, without colour conversion or
// upsampling. Any other file, a JPEG whose planes cannot be given, and every file when JPEG is
// in left_out, is read from the same bytes as image_read_file_sized reads it with choose.
ImageError image_read_file_sized_as_planes(const std::string& path, const SizeChoice& planes_choose,
                                           const SizeChoice& choose, ImageObject& image,
                                           const std::vector<std::uint32_t>& left_out = {});

// Non-zero on success: the pixel handle, or for IMAGE_ANY the new image's reference.
ImageHandle image_load(ImageNumber number, const std::string& path);
ImageHandle image_load_memory(ImageNumber number, const void* data, std::size_t size);

// As image_load_memory, but only the decoder registered under plugin_code is tried
// (IMAGE_CODE_ICON: only the icon reader). For tests and fuzzing of one decoder.
ImageHandle image_load_memory_as(ImageNumber number, const void* data, std::size_t size, std::uint32_t plugin_code);

} // namespace pictavo
