// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/png_decoder.h"

#include "image/image_object.h"
#include "image/pixel_buffer.h"

#include <cstring>
#include <new>
#include <png.h>

namespace pictavo {
namespace {

constexpr std::size_t signature_size = 8;
constexpr std::size_t chunk_overhead = 12;  // length, type, CRC

struct PngDecoderState final : DecoderState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    int passes = 1;

    ~PngDecoderState() override
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

void ignore_warning(png_structp, png_const_charp) {}

// libpng's own error routine would print the message before jumping back; this one only jumps.
[[noreturn]] void fail_silently(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

// Reads from the block. A request that passes the end of the data is an error: libpng
// expects every byte it asks for.
void read_from_block(png_structp png, png_bytep destination, png_size_t count)
{
    auto* state = static_cast<PngDecoderState*>(png_get_io_ptr(png));
    if (count > state->size - state->position)
        png_error(png, "read past the end of the data");
    std::memcpy(destination, state->data + state->position, count);
    state->position += count;
}

void request_transformations(png_structp png, png_infop info)
{
    const int colour_type = png_get_color_type(png, info);
    const int bit_depth = png_get_bit_depth(png, info);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_PALETTE ||
        colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (bit_depth < 8)
            png_set_expand(png);
        if (colour_type == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(png);
        else
            png_set_gray_to_rgb(png);
    }
    if (bit_depth == 16)
        png_set_strip_16(png);
    png_set_bgr(png);
}

// Bit depth of the source as the format describes it once transparency counts as alpha.
int source_depth_of(int colour_type, int bit_depth, bool has_transparency)
{
    if (colour_type == PNG_COLOR_TYPE_PALETTE && has_transparency)
        return 32;
    if (colour_type == PNG_COLOR_TYPE_GRAY && has_transparency)
        return bit_depth < 8 ? 8 : bit_depth;
    switch (colour_type) {
    case PNG_COLOR_TYPE_RGB: return has_transparency ? 32 : 24;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 32;
    default: return bit_depth;
    }
}

std::uint32_t big_endian32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

// Whether every chunk before the first IDAT lies wholly inside the data. libpng reads all of
// them before any row and would fail on one that runs past the end anyway, but only after
// allocating (and clearing) a buffer of the length the chunk claims, which may be a gigabyte.
bool chunks_before_image_data_fit(const std::uint8_t* data, std::size_t size)
{
    std::size_t position = signature_size;
    while (size - position >= chunk_overhead) {
        const std::uint32_t length = big_endian32(data + position);
        if (std::memcmp(data + position + 4, "IDAT", 4) == 0)
            return true;
        if (length > size - position - chunk_overhead)
            return false;
        position += chunk_overhead + length;
    }
    return false;
}

// Only trivially destructible locals: a libpng error jumps back here.
bool read_info(PngDecoderState& state, DecodeContext& context)
{
    png_structp png = state.png;
    png_infop info = state.info;
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_user_limits(png, max_image_dimension, max_image_dimension);
    png_set_read_fn(png, &state, read_from_block);
    png_read_info(png, info);

    const int colour_type = png_get_color_type(png, info);
    const int bit_depth = png_get_bit_depth(png, info);
    const bool has_transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    request_transformations(png, info);
    // Interlaced images of every colour type need libpng to combine the passes.
    state.passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int channels = png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB ? 3 : 4;
    if (png_get_rowbytes(png, info) != static_cast<std::size_t>(width) * static_cast<std::size_t>(channels))
        return false;
    context.width = static_cast<std::int32_t>(width);
    context.height = static_cast<std::int32_t>(height);
    context.depth = 8 * channels;
    context.source_depth = source_depth_of(colour_type, bit_depth, has_transparency);
    return true;
}

bool read_rows(PngDecoderState& state, std::uint8_t* pixels, std::size_t stride, int flags, std::int32_t height)
{
    png_structp png = state.png;
    if (setjmp(png_jmpbuf(png)))
        return false;
    for (int pass = 0; pass < state.passes; ++pass) {
        for (std::int32_t y = 0; y < height; ++y) {
            png_bytep row = pixels + buffer_row_index(y, height, flags) * stride;
            png_read_rows(png, &row, nullptr, 1);
        }
    }
    return true;
}

} // namespace

bool png_check(DecodeContext& context)
{
    if (context.size < signature_size || png_sig_cmp(context.data, 0, signature_size) != 0 ||
        !chunks_before_image_data_fit(context.data, context.size))
        return false;
    auto* state = new (std::nothrow) PngDecoderState();
    if (!state)
        return false;
    context.state.reset(state);
    state->data = context.data;
    state->size = context.size;
    state->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail_silently, ignore_warning);
    if (!state->png)
        return false;
    state->info = png_create_info_struct(state->png);
    if (!state->info)
        return false;
    return read_info(*state, context);
}

bool png_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags)
{
    auto* state = dynamic_cast<PngDecoderState*>(context.state.get());
    return state && read_rows(*state, pixels, stride, flags, context.height);
}

const ImageDecoder png_decoder_plugin = {IMAGE_CODE_PNG, png_check, png_decode,
                                         [](DecodeContext& context) { context.state.reset(); }};

} // namespace pictavo
