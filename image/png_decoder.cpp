// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/png_decoder.h"

#include "image/exif_orientation.h"
#include "image/image_object.h"
#include "image/pixel_buffer.h"

#include <cstring>
#include <new>
#include <png.h>

namespace pictavo {
namespace {

constexpr std::size_t signature_size = 8;
constexpr std::size_t chunk_overhead = 12;  // length, type, CRC
constexpr std::size_t header_chunk_size = 13;

// libpng keeps text chunks, decompressed, until the image is released; they are never used
// here, and a file of compressed text chunks would expand to gigabytes.
constexpr png_byte ignored_chunks[] = {'t', 'E', 'X', 't', 0, 'z', 'T', 'X', 't', 0,
                                       'i', 'T', 'X', 't', 0, 's', 'P', 'L', 'T', 0};

struct PngDecoderState final : DecoderState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    int passes = 1;
    bool data_ended = false;     // libpng asked for bytes beyond the end of the data
    bool rows_complete = false;  // ... after every row of the image had been delivered
    bool image_data_short = false;  // the image data stream ended before the last row

    ~PngDecoderState() override
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

void ignore_warning(png_structp, png_const_charp) {}

// libpng's own error routine would print the message before jumping back; this one only
// notes the one message that says the image data ended early.
[[noreturn]] void fail_silently(png_structp png, png_const_charp message)
{
    auto* state = static_cast<PngDecoderState*>(png_get_error_ptr(png));
    if (state && std::strcmp(message, "Not enough image data") == 0)
        state->image_data_short = true;
    png_longjmp(png, 1);
}

// Whether libpng has delivered every row: it counts the rows of a pass and, with interlace
// handling, moves on to pass 7 after the last row of the last pass.
bool all_rows_delivered(png_structp png, png_infop info)
{
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE)
        return png_get_current_pass_number(png) >= 7;
    return png_get_current_row_number(png) >= png_get_image_height(png, info);
}

// Reads from the block. A request that passes the end of the data is an error: libpng
// expects every byte it asks for.
void read_from_block(png_structp png, png_bytep destination, png_size_t count)
{
    auto* state = static_cast<PngDecoderState*>(png_get_io_ptr(png));
    if (count > state->size - state->position) {
        state->data_ended = true;
        state->rows_complete = all_rows_delivered(png, state->info);
        png_error(png, "read past the end of the data");
    }
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

// What the chunks before the first IDAT allow: an image within the size limits, and chunks
// that lie wholly inside the data. libpng reads all of them before any row and would fail on
// one that runs past the end anyway, but only after allocating (and clearing) a buffer of the
// length the chunk claims, which may be a gigabyte.
ImageError check_chunks_before_image_data(const std::uint8_t* data, std::size_t size)
{
    std::size_t position = signature_size;
    if (size - position >= chunk_overhead + header_chunk_size && std::memcmp(data + position + 4, "IHDR", 4) == 0 &&
        exceeds_image_limits(big_endian32(data + position + 8), big_endian32(data + position + 12)))
        return ImageError::TooManyPixels;
    while (size - position >= chunk_overhead) {
        const std::uint32_t length = big_endian32(data + position);
        if (std::memcmp(data + position + 4, "IDAT", 4) == 0)
            return ImageError::None;
        if (length > size - position - chunk_overhead)
            return ImageError::CutOff;
        position += chunk_overhead + length;
    }
    return ImageError::CutOff;
}

// Why libpng gave up.
ImageError library_failure(const PngDecoderState& state)
{
    return state.data_ended || state.image_data_short ? ImageError::CutOff : ImageError::Corrupt;
}

// Only trivially destructible locals: a libpng error jumps back here.
ImageError read_info(PngDecoderState& state, DecodeContext& context)
{
    png_structp png = state.png;
    png_infop info = state.info;
    if (setjmp(png_jmpbuf(png)))
        return library_failure(state);
    png_set_user_limits(png, max_image_dimension, max_image_dimension);
    png_set_chunk_malloc_max(png, max_icc_profile_bytes);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, ignored_chunks, sizeof ignored_chunks / 5);
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
        return ImageError::Corrupt;
    context.width = static_cast<std::int32_t>(width);
    context.height = static_cast<std::int32_t>(height);
    context.depth = 8 * channels;
    context.source_depth = source_depth_of(colour_type, bit_depth, has_transparency);
    return ImageError::None;
}

// The ICC profile (or sRGB chunk) and the EXIF orientation, from chunks before the image data.
// libpng keeps only the first of iCCP and sRGB when a file has both in that order.
void read_metadata(const PngDecoderState& state, DecodeContext& context)
{
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profile_size = 0;
    if (png_get_iCCP(state.png, state.info, &name, &compression, &profile, &profile_size) && profile && profile_size > 0) {
        context.colour.icc.assign(profile, profile + profile_size);
        context.colour.icc_name = name ? name : "";
    }
    int intent = 0;
    if (png_get_sRGB(state.png, state.info, &intent))
        context.colour.srgb_intent = intent;
    png_uint_32 exif_size = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(state.png, state.info, &exif_size, &exif))
        context.orientation = exif_orientation(exif, exif_size);
}

// A data end after the last row is a missing trailer, not missing image data.
ImageError read_rows(PngDecoderState& state, std::uint8_t* pixels, std::size_t stride, int flags, std::int32_t height)
{
    png_structp png = state.png;
    if (setjmp(png_jmpbuf(png)))
        return state.data_ended && state.rows_complete ? ImageError::None : library_failure(state);
    for (int pass = 0; pass < state.passes; ++pass) {
        for (std::int32_t y = 0; y < height; ++y) {
            png_bytep row = pixels + buffer_row_index(y, height, flags) * stride;
            png_read_rows(png, &row, nullptr, 1);
        }
    }
    return ImageError::None;
}

} // namespace

bool png_check(DecodeContext& context)
{
    if (context.size < signature_size || png_sig_cmp(context.data, 0, signature_size) != 0)
        return false;
    if (const ImageError error = check_chunks_before_image_data(context.data, context.size); error != ImageError::None) {
        context.error = error;
        return false;
    }
    auto* state = new (std::nothrow) PngDecoderState();
    if (state) {
        context.state.reset(state);
        state->data = context.data;
        state->size = context.size;
        state->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state, fail_silently, ignore_warning);
        if (state->png)
            state->info = png_create_info_struct(state->png);
    }
    if (!state || !state->info) {
        context.error = ImageError::OutOfMemory;
        return false;
    }
    context.error = read_info(*state, context);
    if (context.error != ImageError::None)
        return false;
    read_metadata(*state, context);
    return true;
}

bool png_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags)
{
    auto* state = dynamic_cast<PngDecoderState*>(context.state.get());
    if (!state)
        return false;
    context.error = read_rows(*state, pixels, stride, flags, context.height);
    return context.error == ImageError::None;
}

const ImageDecoder png_decoder_plugin = {IMAGE_CODE_PNG, png_check, png_decode,
                                         [](DecodeContext& context) { context.state.reset(); }, nullptr};

} // namespace pictavo
