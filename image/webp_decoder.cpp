// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/webp_decoder.h"

#include "image/exif_orientation.h"
#include "image/image_object.h"
#include "image/pixel_buffer.h"

#include <cstring>
#include <webp/decode.h>
#include <webp/demux.h>

namespace pictavo {
namespace {

// "RIFF", the chunk size, "WEBP": the file header of every WebP file.
constexpr std::size_t riff_header_size = 12;

bool has_webp_signature(const std::uint8_t* data, std::size_t size)
{
    return size >= riff_header_size && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

ImageError error_of(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OK: return ImageError::None;
    case VP8_STATUS_OUT_OF_MEMORY: return ImageError::OutOfMemory;
    case VP8_STATUS_UNSUPPORTED_FEATURE: return ImageError::Unsupported;
    case VP8_STATUS_NOT_ENOUGH_DATA: return ImageError::CutOff;
    default: return ImageError::Corrupt;
    }
}

struct Demuxer {
    WebPDemuxer* demuxer = nullptr;
    explicit Demuxer(const WebPData& data) : demuxer(WebPDemux(&data)) {}
    Demuxer(const Demuxer&) = delete;
    Demuxer& operator=(const Demuxer&) = delete;
    ~Demuxer() { WebPDemuxDelete(demuxer); }
};

// The first chunk of that name, or an empty one.
WebPData chunk_named(const Demuxer& demuxer, const char* name)
{
    WebPChunkIterator chunk{};
    WebPData found{nullptr, 0};
    if (demuxer.demuxer && WebPDemuxGetChunk(demuxer.demuxer, name, 1, &chunk))
        found = chunk.chunk;
    WebPDemuxReleaseChunkIterator(&chunk);
    return found;
}

// The ICC profile and the EXIF orientation of an extended file (a simple one has neither).
// The chunk data lies in the file's own block, which outlives the demuxer.
void read_metadata(DecodeContext& context)
{
    const Demuxer demuxer(WebPData{context.data, context.size});
    const WebPData profile = chunk_named(demuxer, "ICCP");
    if (profile.size > 0 && profile.size <= max_icc_profile_bytes)
        context.colour.icc.assign(profile.bytes, profile.bytes + profile.size);
    const WebPData exif = chunk_named(demuxer, "EXIF");
    // Some writers keep the "Exif\0\0" prefix of a JPEG APP1 segment before the TIFF header.
    constexpr std::size_t app1_prefix_size = 6;
    if (exif.size > app1_prefix_size && std::memcmp(exif.bytes, "Exif\0\0", app1_prefix_size) == 0)
        context.orientation = exif_orientation(exif.bytes + app1_prefix_size, exif.size - app1_prefix_size);
    else if (exif.size > 0)
        context.orientation = exif_orientation(exif.bytes, exif.size);
}

} // namespace

bool webp_check(DecodeContext& context)
{
    if (!has_webp_signature(context.data, context.size))
        return false;
    WebPBitstreamFeatures features{};
    if (const ImageError error = error_of(WebPGetFeatures(context.data, context.size, &features));
        error != ImageError::None) {
        context.error = error;
        return false;
    }
    if (features.has_animation) {
        context.error = ImageError::Unsupported;
        return false;
    }
    if (features.width < 1 || features.height < 1 || exceeds_image_limits(features.width, features.height)) {
        context.error = ImageError::TooManyPixels;
        return false;
    }
    context.width = features.width;
    context.height = features.height;
    context.depth = features.has_alpha ? 32 : 24;
    context.source_depth = context.depth;
    read_metadata(context);
    return true;
}

bool webp_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config) || stride > static_cast<std::size_t>(INT32_MAX)) {
        context.error = ImageError::OutOfMemory;
        return false;
    }
    config.options.flip = (flags & ROWS_BOTTOM_UP) ? 1 : 0;
    config.output.colorspace = context.depth == 32 ? MODE_BGRA : MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = pixels;
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = stride * static_cast<std::size_t>(context.height);
    context.error = error_of(WebPDecode(context.data, context.size, &config));
    WebPFreeDecBuffer(&config.output);
    return context.error == ImageError::None;
}

const ImageDecoder webp_decoder_plugin = {IMAGE_CODE_WEBP, webp_check, webp_decode,
                                          [](DecodeContext& context) { context.state.reset(); }, nullptr};

} // namespace pictavo
