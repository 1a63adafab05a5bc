// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/download_check.h"

#include "image/image_load.h"
#include "image/plugins.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace pictavo {
namespace {

constexpr unsigned char jpeg_signature[] = {0xFF, 0xD8, 0xFF};
constexpr unsigned char png_signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

template <std::size_t N>
bool begins_with(const unsigned char* bytes, std::size_t size, const unsigned char (&signature)[N])
{
    return size >= N && std::memcmp(bytes, signature, N) == 0;
}

bool is_webp(const unsigned char* bytes, std::size_t size)
{
    return size >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WEBP", 4) == 0;
}

// An ISO media file type box (size, "ftyp", major brand, version, compatible brands) that names
// an AVIF brand, within the bytes given.
bool is_avif(const unsigned char* bytes, std::size_t size)
{
    if (size < 16 || std::memcmp(bytes + 4, "ftyp", 4) != 0)
        return false;
    const std::size_t box_size = std::size_t{bytes[0]} << 24 | std::size_t{bytes[1]} << 16 | std::size_t{bytes[2]} << 8 | bytes[3];
    const std::size_t end = std::min(box_size, size);
    const auto is_avif_brand = [&](std::size_t at) {
        return std::memcmp(bytes + at, "avif", 4) == 0 || std::memcmp(bytes + at, "avis", 4) == 0;
    };
    if (is_avif_brand(8))
        return true;
    for (std::size_t at = 16; at + 4 <= end; at += 4)
        if (is_avif_brand(at))
            return true;
    return false;
}

} // namespace

ImageFormat image_format_of(const unsigned char* bytes, std::size_t size)
{
    size = std::min(size, IMAGE_SIGNATURE_BYTES);
    if (begins_with(bytes, size, jpeg_signature))
        return ImageFormat::Jpeg;
    if (begins_with(bytes, size, png_signature))
        return ImageFormat::Png;
    if (is_webp(bytes, size))
        return ImageFormat::Webp;
    if (is_avif(bytes, size))
        return ImageFormat::Avif;
    return ImageFormat::Unknown;
}

bool read_from_start(int descriptor, unsigned char* bytes, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(descriptor, bytes + done, size - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool file_is_image_of_format(int descriptor, std::int64_t size, ImageFormat format)
{
    // The signature first: an error page or a flood of zeros is not read whole.
    unsigned char head[IMAGE_SIGNATURE_BYTES] = {};
    const auto head_size = static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, sizeof head));
    if (format == ImageFormat::Unknown || size <= 0 || !read_from_start(descriptor, head, head_size)
        || image_format_of(head, head_size) != format)
        return false;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    if (!read_from_start(descriptor, bytes.data(), bytes.size()))
        return false;
    register_image_codecs();
    ImageObject image;
    return image_decode(bytes.data(), bytes.size(), image) == ImageError::None;
}

} // namespace pictavo
