// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/bmp_encoder.h"

#include "image/image_object.h"
#include "image/pixel_buffer.h"

#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace pictavo {
namespace {

constexpr std::size_t headers_size = 14 + 40;

void put16(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value)
{
    put16(at, value);
    put16(at + 2, value >> 16);
}

std::array<std::uint8_t, headers_size> make_headers(int width, int height, int bits_per_pixel, std::size_t image_size)
{
    std::array<std::uint8_t, headers_size> headers{};
    headers[0] = 'B';
    headers[1] = 'M';
    put32(&headers[2], static_cast<std::uint32_t>(headers_size + image_size));
    put32(&headers[10], headers_size);
    put32(&headers[14], 40);
    put32(&headers[18], static_cast<std::uint32_t>(width));
    put32(&headers[22], static_cast<std::uint32_t>(height));
    put16(&headers[26], 1);
    put16(&headers[28], static_cast<std::uint32_t>(bits_per_pixel));
    put32(&headers[34], static_cast<std::uint32_t>(image_size));
    put32(&headers[38], 2835);  // 72 dots per inch
    put32(&headers[42], 2835);
    return headers;
}

bool encode(const EncodeRequest& request, const EncodeSink& sink, int bits_per_pixel)
{
    if (request.width < 1 || request.height < 1)
        return false;
    const std::size_t stride = pixel_row_stride(request.width, bits_per_pixel);
    const std::size_t used = static_cast<std::size_t>(request.width) * static_cast<std::size_t>(bits_per_pixel / 8);
    const std::size_t image_size = stride * static_cast<std::size_t>(request.height);
    if (headers_size + image_size > UINT32_MAX)
        return false;
    const auto headers = make_headers(request.width, request.height, bits_per_pixel, image_size);
    if (!sink.write(headers.data(), headers.size()))
        return false;
    std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[stride]());
    if (!row)
        return false;
    // Bottom row first.
    for (int y = request.height - 1; y >= 0; --y) {
        std::memcpy(row.get(), request.image_row(y), used);
        if (!sink.write(row.get(), stride))
            return false;
    }
    return true;
}

} // namespace

bool bmp_encode24(const EncodeRequest& request, const EncodeSink& sink)
{
    return encode(request, sink, 24);
}

bool bmp_encode32(const EncodeRequest& request, const EncodeSink& sink)
{
    return encode(request, sink, 32);
}

const ImageEncoder bmp_encoder_plugin = {IMAGE_CODE_BMP, bmp_encode24, bmp_encode32};

} // namespace pictavo
