// SPDX-License-Identifier: GPL-3.0-or-later
// Writing numbered images to files through the registered encoders.
#pragma once

#include "image/encode_options.h"
#include "image/image_error.h"
#include "image/image_object.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictavo {

class AtomicFile;

// Writes the image under number to path with the encoder registered under plugin_code.
// depth -1 stands for the image's source depth, with two exceptions: a source of 8 bits or
// fewer whose 32-bit pixels are not all opaque is written with its alpha (depth 32), and a
// 16-bit source as an 8-bit grey one when its pixels are grey, else at 24 bits. Depths 1, 2,
// 4, 8, 24 and 32 are accepted. A 32-bit image is written with alpha only when the encoder
// takes 32-bit pixels and the depth is 32; otherwise it is first flattened onto white. JPEG
// quality runs 0..10 (clamped). The image's ICC profile goes into the file when the format
// can hold it and the profile describes RGB data; PNG gets its sRGB chunk otherwise.
// The file is replaced only by a complete new one: a failed save leaves whatever was at path
// untouched and nothing else behind. 1 on success, 0 on failure.
int image_save(ImageNumber number, const std::string& path, std::uint32_t plugin_code = IMAGE_CODE_BMP,
               int quality = 7, int depth = -1);

// The same for an image the caller owns, with the reason on failure (ImageError::None on
// success). Touches no numbered image.
ImageError image_write(const ImageObject& image, const std::string& path, std::uint32_t plugin_code, int quality,
                       int depth = -1);

// The same, leaving the complete file in file's temporary (opened here for path, finished but
// not committed) for later steps; the caller commits or discards it. On failure nothing is
// left behind.
ImageError image_write_staged(const ImageObject& image, const std::string& path, AtomicFile& file,
                              std::uint32_t plugin_code, int quality, int depth = -1);

// The same with encoder options (image/encode_options.h); outcome, when not null, says what the
// encoder did.
ImageError image_write_staged(const ImageObject& image, const std::string& path, AtomicFile& file,
                              std::uint32_t plugin_code, int quality, const EncodeOptions& options,
                              EncodeOutcome* outcome = nullptr);

// The encoded file in memory, as image_write_staged would write it at the source's depth.
ImageError image_encode(const ImageObject& image, std::uint32_t plugin_code, int quality, const EncodeOptions& options,
                        std::vector<std::uint8_t>& encoded, EncodeOutcome* outcome = nullptr);

// The same encoding into memory: the encoded file, or an empty block on failure.
std::vector<std::uint8_t> image_save_memory(ImageNumber number, std::uint32_t plugin_code = IMAGE_CODE_BMP,
                                            int quality = 7, int depth = -1);

} // namespace pictavo
