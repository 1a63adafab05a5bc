// SPDX-License-Identifier: GPL-3.0-or-later
// What the compression-service double does to images.
#pragma once

#include <string>

namespace pictavo {

enum class ImageKind { None, Jpeg, Png, Webp, Avif };

// By signature.
ImageKind image_kind(const std::string& bytes);

// The upload compressed in its own format (JPEG, WebP and AVIF re-encoded at a low quality,
// PNG reduced to a palette), or the upload itself when that is not smaller; "" when it cannot
// be decoded.
std::string shrink_image(const std::string& bytes);

// A generated picture of that size in that format, at high quality, that shrink_image makes
// smaller. "" for ImageKind::None or an empty size.
std::string sample_image(ImageKind kind, int width, int height);

} // namespace pictavo
