// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/jpeg_decoder.h"

#include "image/image_object.h"
#include "image/jpeg_error.h"
#include "image/pixel_buffer.h"

#include <algorithm>
#include <new>

namespace pictavo {
namespace {

constexpr std::uint64_t min_coefficient_buffer_cap = std::uint64_t{1} << 30;
constexpr std::uint64_t coefficient_bytes_per_data_byte = 256;

struct JpegDecoderState final : DecoderState {
    jpeg_decompress_struct info{};
    JpegErrorManager error{};
    bool created = false;
    JSAMPARRAY row = nullptr;  // one output row, owned by the library's image pool

    ~JpegDecoderState() override
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

// Huffman coding spends at least one bit on every block of the first component (its DC
// difference), so data with fewer bits than that is cut short. libjpeg would decode such a
// stream with filler after a warning; for a header that promises a huge image this means
// gigabytes of buffers and minutes of work for a few hundred bytes, so it is refused instead.
bool data_can_hold_blocks(const jpeg_decompress_struct& info, std::size_t size)
{
    if (info.arith_code || info.num_components < 1)
        return true;
    const std::uint64_t blocks = static_cast<std::uint64_t>(info.comp_info[0].width_in_blocks) *
                                 static_cast<std::uint64_t>(info.comp_info[0].height_in_blocks);
    return blocks <= 8 * static_cast<std::uint64_t>(size);
}

// Reads the header, chooses the output colour space and starts decompression. Only trivially
// destructible locals: a library error jumps back here.
bool start_decompress(JpegDecoderState& state, const std::uint8_t* data, std::size_t size)
{
    jpeg_decompress_struct* info = &state.info;
    info->err = jpeg_install_error_manager(state.error);
    if (setjmp(state.error.jump))
        return false;
    jpeg_create_decompress(info);
    state.created = true;
    jpeg_mem_src(info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK)
        return false;
    // Colour streams are delivered as blue, green, red: the same samples the library's RGB
    // output gives, in the pixel buffer's order, so rows can be decoded in place.
    switch (info->jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        info->out_color_space = JCS_EXT_BGR;
        break;
    case JCS_YCCK:
        info->out_color_space = JCS_CMYK;
        break;
    case JCS_CMYK:
        break;
    default:
        return false;
    }
    if (!data_can_hold_blocks(*info, size))
        return false;
    // Multi-scan streams keep every coefficient of the image (up to 6 bytes a pixel). Real
    // photos compress far better than 1:256, so a larger buffer than that (and above 1 GiB)
    // is only asked for by a stream made to exhaust memory; libjpeg then fails the decode.
    if (jpeg_has_multiple_scans(info))
        info->mem->max_memory_to_use = static_cast<long>(std::max<std::uint64_t>(
            min_coefficient_buffer_cap, coefficient_bytes_per_data_byte * static_cast<std::uint64_t>(size)));
    info->dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(info);
    if (info->output_width > static_cast<JDIMENSION>(max_image_dimension) ||
        info->output_height > static_cast<JDIMENSION>(max_image_dimension) ||
        (info->output_components != 3 && info->output_components != 4))
        return false;
    if (info->output_components == 4)
        state.row = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                          info->output_width * static_cast<JDIMENSION>(info->output_components), 1);
    jpeg_start_decompress(info);
    return true;
}

// C, M, Y, K samples to blue, green, red by multiplying each ink with K.
void convert_cmyk_row(const JSAMPLE* source, JDIMENSION width, std::uint8_t* destination)
{
    for (JDIMENSION x = 0; x < width; ++x, source += 4, destination += 3) {
        const unsigned black = source[3];
        destination[0] = static_cast<std::uint8_t>(source[2] * black / 255);
        destination[1] = static_cast<std::uint8_t>(source[1] * black / 255);
        destination[2] = static_cast<std::uint8_t>(source[0] * black / 255);
    }
}

bool read_rows(JpegDecoderState& state, std::uint8_t* pixels, std::size_t stride, int flags)
{
    jpeg_decompress_struct* info = &state.info;
    if (setjmp(state.error.jump))
        return false;
    while (info->output_scanline < info->output_height) {
        const JDIMENSION y = info->output_scanline;
        std::uint8_t* destination = pixels + buffer_row_index(y, info->output_height, flags) * stride;
        if (info->output_components == 3) {
            // Blue, green, red straight into the pixel row; the row has room for the width.
            JSAMPROW row = destination;
            if (jpeg_read_scanlines(info, &row, 1) != 1)
                return false;
        } else {
            if (jpeg_read_scanlines(info, state.row, 1) != 1)
                return false;
            convert_cmyk_row(state.row[0], info->output_width, destination);
        }
        // Arithmetic coding may describe a huge image in a few bytes, so the data size does
        // not bound the work. A stream cut off before its end marker would go on as filler
        // for as many rows as its frame claims; the rows not yet decoded stay black instead.
        if (info->arith_code && state.error.data_ended) {
            jpeg_abort_decompress(info);
            return true;
        }
    }
    jpeg_finish_decompress(info);
    return true;
}

} // namespace

bool jpeg_check(DecodeContext& context)
{
    if (context.size < 2 || context.data[0] != 0xFF || context.data[1] != 0xD8)
        return false;
    auto* state = new (std::nothrow) JpegDecoderState();
    if (!state)
        return false;
    context.state.reset(state);
    if (!start_decompress(*state, context.data, context.size))
        return false;
    context.width = static_cast<std::int32_t>(state->info.output_width);
    context.height = static_cast<std::int32_t>(state->info.output_height);
    context.depth = 24;
    context.source_depth = 8 * state->info.output_components;
    return true;
}

bool jpeg_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags)
{
    auto* state = dynamic_cast<JpegDecoderState*>(context.state.get());
    return state && read_rows(*state, pixels, stride, flags);
}

const ImageDecoder jpeg_decoder_plugin = {IMAGE_CODE_JPEG, jpeg_check, jpeg_decode,
                                          [](DecodeContext& context) { context.state.reset(); }};

} // namespace pictavo
