// SPDX-License-Identifier: GPL-3.0-or-later
// The double's own image work, straight over libjpeg, libpng, libwebp and libavif, so that what
// it hands back does not depend on the program's codecs under test.
#include "double_codec.h"

#include "image/jpeg_error.h"

#include <avif/avif.h>
#include <cstdlib>
#include <cstring>
#include <png.h>
#include <vector>
#include <webp/decode.h>
#include <webp/encode.h>

namespace pictavo {
namespace {

constexpr int compressed_jpeg_quality = 40;
constexpr float compressed_webp_quality = 40;
constexpr int compressed_avif_quantizer = 45;
constexpr int sample_jpeg_quality = 95;

struct JpegCodec {
    jpeg_decompress_struct decoder {};
    jpeg_compress_struct encoder {};
    JpegErrorManager decoder_error {}, encoder_error {};
    bool decoding = false, encoding = false;
    unsigned char* memory = nullptr;
    unsigned long memory_size = 0;
    std::vector<unsigned char> pixels; // RGB rows, top-down
    JDIMENSION width = 0, height = 0;

    JpegCodec() = default;
    JpegCodec(const JpegCodec&) = delete;
    JpegCodec& operator=(const JpegCodec&) = delete;
    ~JpegCodec()
    {
        if (decoding)
            jpeg_destroy_decompress(&decoder);
        if (encoding)
            jpeg_destroy_compress(&encoder);
        std::free(memory);
    }
};

// Only trivially destructible locals in these two: a library error jumps back into them.
bool jpeg_read(JpegCodec& codec, const std::string& bytes)
{
    codec.decoder.err = jpeg_install_error_manager(codec.decoder_error);
    if (setjmp(codec.decoder_error.jump))
        return false;
    jpeg_create_decompress(&codec.decoder);
    codec.decoding = true;
    jpeg_mem_src(&codec.decoder, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&codec.decoder, TRUE) != JPEG_HEADER_OK)
        return false;
    codec.decoder.out_color_space = JCS_RGB;
    jpeg_start_decompress(&codec.decoder);
    codec.width = codec.decoder.output_width;
    codec.height = codec.decoder.output_height;
    codec.pixels.resize(std::size_t {codec.width} * codec.height * 3);
    while (codec.decoder.output_scanline < codec.height) {
        JSAMPROW row = codec.pixels.data() + std::size_t {codec.decoder.output_scanline} * codec.width * 3;
        jpeg_read_scanlines(&codec.decoder, &row, 1);
    }
    jpeg_finish_decompress(&codec.decoder);
    return !codec.decoder_error.data_ended;
}

bool jpeg_write(JpegCodec& codec, int quality)
{
    codec.encoder.err = jpeg_install_error_manager(codec.encoder_error);
    if (setjmp(codec.encoder_error.jump))
        return false;
    jpeg_create_compress(&codec.encoder);
    codec.encoding = true;
    jpeg_mem_dest(&codec.encoder, &codec.memory, &codec.memory_size);
    codec.encoder.image_width = codec.width;
    codec.encoder.image_height = codec.height;
    codec.encoder.input_components = 3;
    codec.encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&codec.encoder);
    jpeg_set_quality(&codec.encoder, quality, TRUE);
    jpeg_start_compress(&codec.encoder, TRUE);
    while (codec.encoder.next_scanline < codec.height) {
        JSAMPROW row = codec.pixels.data() + std::size_t {codec.encoder.next_scanline} * codec.width * 3;
        jpeg_write_scanlines(&codec.encoder, &row, 1);
    }
    jpeg_finish_compress(&codec.encoder);
    return true;
}

std::string jpeg_result(JpegCodec& codec, int quality)
{
    if (!jpeg_write(codec, quality))
        return {};
    return std::string(reinterpret_cast<const char*>(codec.memory), codec.memory_size);
}

struct PngImage {
    png_image image {};
    PngImage() { image.version = PNG_IMAGE_VERSION; }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
    ~PngImage() { png_image_free(&image); }
};

std::string png_result(png_image& image, const void* pixels, const void* colormap)
{
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, colormap))
        return {};
    std::string bytes(size, '\0');
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels, 0, colormap))
        return {};
    bytes.resize(size);
    return bytes;
}

// Reduced to a palette of at most 256 colours, as lossy PNG compressors do.
std::string png_shrink(const std::string& bytes)
{
    PngImage png;
    if (!png_image_begin_read_from_memory(&png.image, bytes.data(), bytes.size()))
        return {};
    png.image.format = (png.image.format & PNG_FORMAT_FLAG_ALPHA) ? PNG_FORMAT_RGBA_COLORMAP : PNG_FORMAT_RGB_COLORMAP;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(png.image));
    std::vector<unsigned char> colormap(PNG_IMAGE_COLORMAP_SIZE(png.image));
    if (!png_image_finish_read(&png.image, nullptr, pixels.data(), 0, colormap.data()))
        return {};
    return png_result(png.image, pixels.data(), colormap.data());
}

// Re-encoded at a low quality, alpha kept.
std::string webp_shrink(const std::string& bytes)
{
    int width = 0;
    int height = 0;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::uint8_t* pixels = WebPDecodeRGBA(data, bytes.size(), &width, &height);
    if (!pixels)
        return {};
    std::uint8_t* output = nullptr;
    const std::size_t size = WebPEncodeRGBA(pixels, width, height, width * 4, compressed_webp_quality, &output);
    std::string shrunk(reinterpret_cast<const char*>(output), size);
    WebPFree(output);
    WebPFree(pixels);
    return shrunk;
}

std::string avif_shrink(const std::string& bytes)
{
    avifImage* image = avifImageCreateEmpty();
    avifDecoder* decoder = avifDecoderCreate();
    avifEncoder* encoder = avifEncoderCreate();
    avifRWData output = AVIF_DATA_EMPTY;
    std::string shrunk;
    if (image && decoder && encoder
        && avifDecoderReadMemory(decoder, image, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())
               == AVIF_RESULT_OK) {
        encoder->speed = AVIF_SPEED_FASTEST;
        encoder->minQuantizer = encoder->maxQuantizer = compressed_avif_quantizer;
        if (avifEncoderWrite(encoder, image, &output) == AVIF_RESULT_OK)
            shrunk.assign(reinterpret_cast<const char*>(output.data), output.size);
    }
    avifRWDataFree(&output);
    if (encoder)
        avifEncoderDestroy(encoder);
    if (decoder)
        avifDecoderDestroy(decoder);
    if (image)
        avifImageDestroy(image);
    return shrunk;
}

// A picture that compresses: smooth ramps with fine grain, which a lower JPEG quality and a
// palette both take away.
unsigned char sample_value(int x, int y, int channel)
{
    unsigned int grain = static_cast<unsigned int>(x) * 73856093u ^ static_cast<unsigned int>(y) * 19349663u
        ^ static_cast<unsigned int>(channel) * 83492791u;
    grain = (grain ^ (grain >> 13)) * 0x5bd1e995u;
    const int ramp = x * (channel + 1) * 3 + y * (3 - channel) * 2;
    return static_cast<unsigned char>((ramp + static_cast<int>((grain >> 24) & 31)) & 0xFF);
}

} // namespace

ImageKind image_kind(const std::string& bytes)
{
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xFF\xD8\xFF") == 0)
        return ImageKind::Jpeg;
    if (bytes.size() >= 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0)
        return ImageKind::Png;
    if (bytes.size() >= 12 && bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 4, "WEBP") == 0)
        return ImageKind::Webp;
    if (bytes.size() >= 12 && bytes.compare(4, 4, "ftyp") == 0
        && (bytes.compare(8, 4, "avif") == 0 || bytes.compare(8, 4, "avis") == 0))
        return ImageKind::Avif;
    return ImageKind::None;
}

std::string shrink_image(const std::string& bytes)
{
    std::string shrunk;
    switch (image_kind(bytes)) {
    case ImageKind::Jpeg: {
        JpegCodec codec;
        if (jpeg_read(codec, bytes))
            shrunk = jpeg_result(codec, compressed_jpeg_quality);
        break;
    }
    case ImageKind::Png: shrunk = png_shrink(bytes); break;
    case ImageKind::Webp: shrunk = webp_shrink(bytes); break;
    case ImageKind::Avif: shrunk = avif_shrink(bytes); break;
    case ImageKind::None: return {};
    }
    if (shrunk.empty())
        return {};
    return shrunk.size() < bytes.size() ? shrunk : bytes;
}

std::string sample_image(ImageKind kind, int width, int height)
{
    if (width <= 0 || height <= 0 || kind == ImageKind::None)
        return {};
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3
                       + static_cast<std::size_t>(c)] = sample_value(x, y, c);
    if (kind == ImageKind::Png) {
        PngImage png;
        png.image.width = static_cast<png_uint_32>(width);
        png.image.height = static_cast<png_uint_32>(height);
        png.image.format = PNG_FORMAT_RGB;
        return png_result(png.image, pixels.data(), nullptr);
    }
    JpegCodec codec;
    codec.width = static_cast<JDIMENSION>(width);
    codec.height = static_cast<JDIMENSION>(height);
    codec.pixels = std::move(pixels);
    return jpeg_result(codec, sample_jpeg_quality);
}

} // namespace pictavo
