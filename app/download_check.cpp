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

} // namespace

ImageFormat image_format_of(const unsigned char* bytes, std::size_t size)
{
    if (begins_with(bytes, size, jpeg_signature))
        return ImageFormat::Jpeg;
    if (begins_with(bytes, size, png_signature))
        return ImageFormat::Png;
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
    unsigned char head[sizeof png_signature] = {};
    const auto head_size = static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, sizeof head));
    if (format == ImageFormat::Unknown || size <= 0 || !read_from_start(descriptor, head, head_size)
        || image_format_of(head, head_size) != format)
        return false;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    if (!read_from_start(descriptor, bytes.data(), bytes.size()))
        return false;
    register_jpeg_and_png_codecs();
    ImageObject image;
    return image_decode(bytes.data(), bytes.size(), image) == ImageError::None;
}

} // namespace pictavo
