// SPDX-License-Identifier: GPL-3.0-or-later
// What a download from the compression service must be before it replaces an output: an image
// of the uploaded file's own format that decodes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pictavo {

// Enough of a file's start to tell its format: an AVIF file type box names its brands within it.
constexpr std::size_t IMAGE_SIGNATURE_BYTES = 64;

enum class ImageFormat { Unknown, Jpeg, Png, Webp, Avif };

// By the signature at the start of the bytes: JPEG's SOI marker, PNG's signature, WebP's RIFF
// header, an AVIF file type box (brand avif or avis) first. Looks at no more than
// IMAGE_SIGNATURE_BYTES.
ImageFormat image_format_of(const unsigned char* bytes, std::size_t size);

// Reads size bytes from the start of an open file; false when it ends sooner or fails.
bool read_from_start(int descriptor, unsigned char* bytes, std::size_t size);

// True when the open file of that size begins with the signature of format and decodes as an
// image. Unknown is never matched.
bool file_is_image_of_format(int descriptor, std::int64_t size, ImageFormat format);

} // namespace pictavo
