// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/webp_encoder.h"

#include "image/image_object.h"
#include "image/quality_scale.h"

#include <array>
#include <climits>
#include <webp/encode.h>
#include <webp/mux.h>

namespace pictavo {
namespace {

struct Picture {
    WebPPicture picture{};
    bool ready = WebPPictureInit(&picture) != 0;
    Picture() = default;
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    ~Picture() { WebPPictureFree(&picture); }
};

struct MemoryWriter {
    WebPMemoryWriter writer{};
    MemoryWriter() { WebPMemoryWriterInit(&writer); }
    MemoryWriter(const MemoryWriter&) = delete;
    MemoryWriter& operator=(const MemoryWriter&) = delete;
    ~MemoryWriter() { WebPMemoryWriterClear(&writer); }
};

struct Mux {
    WebPMux* mux = nullptr;
    WebPData assembled{nullptr, 0};
    Mux() = default;
    Mux(const Mux&) = delete;
    Mux& operator=(const Mux&) = delete;
    ~Mux()
    {
        WebPDataClear(&assembled);
        WebPMuxDelete(mux);
    }
};

int webp_quality(const EncodeRequest& request)
{
    return request.options.native_quality > 0 ? request.options.native_quality
                                              : native_quality_of(IMAGE_CODE_WEBP, request.quality);
}

bool make_config(const EncodeRequest& request, WebPConfig& config)
{
    if (!WebPConfigInit(&config))
        return false;
    config.method = WEBP_METHOD;
    if (request.options.lossless) {
        config.lossless = 1;
        config.exact = 1;
    } else {
        config.quality = static_cast<float>(webp_quality(request));
    }
    return WebPValidateConfig(&config) != 0;
}

// The pixels from the request's buffer, top row first: with bottom-up rows the import starts at
// the top image row and steps back by the stride.
bool import_pixels(const EncodeRequest& request, int channels, WebPPicture& picture)
{
    if (request.stride > static_cast<std::size_t>(INT_MAX))
        return false;
    const std::uint8_t* top = request.image_row(0);
    const int stride = request.image_row(request.height - 1) >= top ? static_cast<int>(request.stride)
                                                                      : -static_cast<int>(request.stride);
    picture.width = request.width;
    picture.height = request.height;
    picture.use_argb = request.options.lossless ? 1 : 0;
    return channels == 4 ? WebPPictureImportBGRA(&picture, top, stride) != 0
                         : WebPPictureImportBGR(&picture, top, stride) != 0;
}

// Full-range samples onto the ranges VP8 codes: luma 16..235, chroma 16..240 around 128.
struct StudioRange {
    std::array<std::uint8_t, 256> luma{};
    std::array<std::uint8_t, 256> chroma{};
};

constexpr StudioRange studio_range = [] {
    StudioRange range;
    for (int v = 0; v < 256; ++v) {
        const int offset = v - 128;
        range.luma[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(16 + (219 * v + 127) / 255);
        range.chroma[static_cast<std::size_t>(v)] =
            static_cast<std::uint8_t>(128 + (224 * offset + (offset < 0 ? -127 : 127)) / 255);
    }
    return range;
}();

void map_plane(const SamplePlane& plane, const std::array<std::uint8_t, 256>& map, std::uint8_t* out, int stride)
{
    for (int y = 0; y < plane.height(); ++y, out += stride) {
        const std::uint8_t* in = plane.row(y);
        for (int x = 0; x < plane.width(); ++x)
            out[x] = map[in[x]];
    }
}

// The request's YCbCr planes as the picture's own, without a conversion through RGB.
bool import_planes(const YcbcrPlanes& planes, WebPPicture& picture)
{
    picture.width = planes.width();
    picture.height = planes.height();
    picture.use_argb = 0;
    picture.colorspace = WEBP_YUV420;
    if (!is_420(planes) || !WebPPictureAlloc(&picture))
        return false;
    map_plane(planes.luma, studio_range.luma, picture.y, picture.y_stride);
    map_plane(planes.blue, studio_range.chroma, picture.u, picture.uv_stride);
    map_plane(planes.red, studio_range.chroma, picture.v, picture.uv_stride);
    return true;
}

// The encoded image with the profile in an ICCP chunk (which makes the file an extended one).
bool write_with_profile(const WebPMemoryWriter& encoded, const std::vector<std::uint8_t>& profile,
                        const EncodeSink& sink)
{
    Mux mux;
    const WebPData image{encoded.mem, encoded.size};
    const WebPData icc{profile.data(), profile.size()};
    mux.mux = WebPMuxCreate(&image, 0);
    if (!mux.mux || WebPMuxSetChunk(mux.mux, "ICCP", &icc, 0) != WEBP_MUX_OK
        || WebPMuxAssemble(mux.mux, &mux.assembled) != WEBP_MUX_OK)
        return false;
    return sink.write(mux.assembled.bytes, mux.assembled.size);
}

bool encode(const EncodeRequest& request, const EncodeSink& sink, int channels)
{
    if (request.width < 1 || request.height < 1 || (!sink.file && !sink.memory))
        return false;
    WebPConfig config;
    Picture picture;
    MemoryWriter encoded;
    const bool imported = request.ycbcr ? !request.options.lossless && import_planes(*request.ycbcr, picture.picture)
                                        : import_pixels(request, channels, picture.picture);
    if (!make_config(request, config) || !picture.ready || !imported)
        return false;
    picture.picture.writer = WebPMemoryWrite;
    picture.picture.custom_ptr = &encoded.writer;
    if (!WebPEncode(&config, &picture.picture))
        return false;
    const bool with_profile = request.colour && icc_profile_describes_rgb(request.colour->icc);
    const bool written = with_profile ? write_with_profile(encoded.writer, request.colour->icc, sink)
                                      : sink.write(encoded.writer.mem, encoded.writer.size);
    if (written && request.outcome)
        *request.outcome = EncodeOutcome{false, 0, request.options.lossless ? 0 : webp_quality(request)};
    return written;
}

} // namespace

bool webp_encode24(const EncodeRequest& request, const EncodeSink& sink)
{
    return encode(request, sink, 3);
}

bool webp_encode32(const EncodeRequest& request, const EncodeSink& sink)
{
    return encode(request, sink, 4);
}

bool webp_encode_ycbcr(const EncodeRequest& request, const EncodeSink& sink)
{
    return request.ycbcr && encode(request, sink, 0);
}

const ImageEncoder webp_encoder_plugin = {IMAGE_CODE_WEBP, webp_encode24, webp_encode32, webp_encode_ycbcr};

} // namespace pictavo
