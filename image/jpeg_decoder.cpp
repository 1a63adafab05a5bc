// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/jpeg_decoder.h"

#include "image/exif_orientation.h"
#include "image/image_object.h"
#include "image/jpeg_error.h"
#include "image/jpeg_icc_pieces.h"
#include "image/pixel_buffer.h"

#include <algorithm>
#include <cstring>
#include <jerror.h>
#include <new>

namespace pictavo {
namespace {

constexpr std::uint64_t min_coefficient_buffer_cap = std::uint64_t{1} << 30;
constexpr std::uint64_t coefficient_bytes_per_data_byte = 256;

// Huffman coding spends at least one bit on every block of the first component (its DC
// difference), so data with fewer bits than that is cut short.
constexpr std::uint64_t huffman_blocks_per_byte = 8;
// Arithmetic coding adapts until flat blocks cost almost nothing (a flat grey image of any
// size fits in about 125 bytes), so no declared size is impossible. Photos take a byte or more
// per block and even nearly flat real images far more than a byte per 16 blocks; a stream that
// claims more is refused, since it would cost seconds and gigabytes for a few hundred bytes.
constexpr std::uint64_t arithmetic_blocks_per_byte = 16;

// Progressive encoders use about ten scans (a few dozen at most). Each scan makes the decoder
// visit every block of its components however few bytes it takes (a scan of a flat image fits
// in a few dozen), so thousands of tiny scans cost minutes of work.
constexpr int max_scans = 1000;
// For the same reason the visits of all scans together are bounded: real photos make fewer
// visits than their data has bytes, and 2^25 visits (ten passes over a flat 50 MP image) take
// a second or two at worst; a stream of many tiny scans over a large image would take minutes.
constexpr std::uint64_t min_block_visit_budget = std::uint64_t{1} << 25;
constexpr std::uint64_t block_visits_per_data_byte = 64;

constexpr std::uint8_t exif_identifier[] = {'E', 'x', 'i', 'f', 0, 0};

// libjpeg's progress record, with what the scan limits count.
struct ScanLimit {
    jpeg_progress_mgr progress;  // first: libjpeg's pointer to it is a pointer to the whole
    int counted_scan = 0;
    std::uint64_t block_visits = 0;
    std::uint64_t max_block_visits = 0;
};

struct JpegDecoderState final : DecoderState {
    jpeg_decompress_struct info{};
    JpegErrorManager error{};
    ScanLimit scan_limit{};
    bool created = false;
    JSAMPARRAY row = nullptr;  // one output row, owned by the library's image pool
    bool rows_stopped = false;  // jpeg_decode_row failed or delivered the last row

    ~JpegDecoderState() override
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

// libjpeg calls this as it works through the scans of a multi-scan stream (and once for every
// row it delivers); each scan's blocks are counted when the scan has begun.
void limit_scans(j_common_ptr common)
{
    const auto* info = reinterpret_cast<j_decompress_ptr>(common);
    auto* limit = reinterpret_cast<ScanLimit*>(info->progress);
    if (info->input_scan_number != limit->counted_scan) {
        limit->counted_scan = info->input_scan_number;
        for (int i = 0; i < info->comps_in_scan; ++i)
            limit->block_visits += static_cast<std::uint64_t>(info->cur_comp_info[i]->width_in_blocks) *
                                   info->cur_comp_info[i]->height_in_blocks;
    }
    if (info->input_scan_number <= max_scans && limit->block_visits <= limit->max_block_visits)
        return;
    auto* error = reinterpret_cast<JpegErrorManager*>(common->err);
    error->too_many_scans = true;
    std::longjmp(error->jump, 1);
}

// Why libjpeg gave up.
ImageError library_failure(const JpegErrorManager& error)
{
    if (error.too_many_scans)
        return ImageError::Unsupported;
    switch (error.manager.msg_code) {
    case JERR_BAD_PRECISION:  // 12-bit samples
    case JERR_SOF_UNSUPPORTED:  // lossless and hierarchical processes
    case JERR_ARITH_NOTIMPL:
    case JERR_NOT_COMPILED:
    case JERR_COMPONENT_COUNT:
        return ImageError::Unsupported;
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:  // the coefficient buffer is beyond the cap set below
        return ImageError::OutOfMemory;
    default:
        return error.data_ended ? ImageError::CutOff : ImageError::Corrupt;
    }
}

bool data_can_hold_blocks(const jpeg_decompress_struct& info, std::size_t size)
{
    if (info.num_components < 1)
        return true;
    const std::uint64_t blocks = static_cast<std::uint64_t>(info.comp_info[0].width_in_blocks) *
                                 static_cast<std::uint64_t>(info.comp_info[0].height_in_blocks);
    const std::uint64_t per_byte = info.arith_code ? arithmetic_blocks_per_byte : huffman_blocks_per_byte;
    return blocks <= per_byte * static_cast<std::uint64_t>(size);
}

// Colour streams are delivered as blue, green, red: the same samples the library's RGB output
// gives, in the pixel buffer's order, so rows can be decoded in place. YCCK becomes CMYK.
bool choose_output_colour_space(jpeg_decompress_struct& info)
{
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        info.out_color_space = JCS_EXT_BGR;
        return true;
    case JCS_YCCK:
        info.out_color_space = JCS_CMYK;
        return true;
    case JCS_CMYK:
        return true;
    default:
        return false;
    }
}

// Reads the header and checks the declared size against the limits and the data. Only
// trivially destructible locals: a library error jumps back here.
ImageError read_header(JpegDecoderState& state, const std::uint8_t* data, std::size_t size)
{
    jpeg_decompress_struct* info = &state.info;
    info->err = jpeg_install_error_manager(state.error);
    if (setjmp(state.error.jump))
        return library_failure(state.error);
    jpeg_create_decompress(info);
    state.created = true;
    jpeg_mem_src(info, data, static_cast<unsigned long>(size));
    jpeg_save_markers(info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(info, JPEG_APP0 + 2, 0xFFFF);
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK)
        return ImageError::Corrupt;
    if (!choose_output_colour_space(*info))
        return ImageError::Unsupported;
    if (exceeds_image_limits(info->image_width, info->image_height))
        return ImageError::TooManyPixels;
    if (!data_can_hold_blocks(*info, size))
        return ImageError::CutOff;
    // Multi-scan streams keep every coefficient of the image (up to 6 bytes a pixel). Real
    // photos compress far better than 1:256, so a larger buffer than that (and above 1 GiB)
    // is only asked for by a stream made to exhaust memory; libjpeg then fails the decode.
    if (jpeg_has_multiple_scans(info))
        info->mem->max_memory_to_use = static_cast<long>(std::max<std::uint64_t>(
            min_coefficient_buffer_cap, coefficient_bytes_per_data_byte * static_cast<std::uint64_t>(size)));
    state.scan_limit.progress.progress_monitor = limit_scans;
    state.scan_limit.max_block_visits =
        std::max(min_block_visit_budget, block_visits_per_data_byte * static_cast<std::uint64_t>(size));
    info->progress = &state.scan_limit.progress;
    info->dct_method = JDCT_ISLOW;
    return ImageError::None;
}

// Starts decompression (which reads every scan of a multi-scan stream): to rows of pixels, or
// with raw, to the samples of each component as the stream holds them.
ImageError start_output(JpegDecoderState& state, bool raw)
{
    jpeg_decompress_struct* info = &state.info;
    if (setjmp(state.error.jump))
        return library_failure(state.error);
    info->raw_data_out = raw ? TRUE : FALSE;
    jpeg_calc_output_dimensions(info);
    if (info->output_components != 3 && info->output_components != 4)
        return ImageError::Unsupported;
    if (info->output_components == 4)
        state.row = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                          info->output_width * static_cast<JDIMENSION>(info->output_components), 1);
    jpeg_start_decompress(info);
    return jpeg_data_cut_off(state.error, *info) ? ImageError::CutOff : ImageError::None;
}

// Whether the stream's samples are YCbCr, three components that planes can take as they are.
bool is_ycbcr_stream(const jpeg_decompress_struct& info)
{
    return info.jpeg_color_space == JCS_YCbCr && info.num_components == 3;
}

// The orientation from the first EXIF block, and the ICC profile from the APP2 pieces.
void read_metadata(const jpeg_decompress_struct& info, DecodeContext& context)
{
    std::vector<MarkerData> app2_markers;
    bool exif_read = false;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 2) {
            app2_markers.push_back({marker->data, marker->data_length});
        } else if (marker->marker == JPEG_APP0 + 1 && !exif_read && marker->data_length >= sizeof exif_identifier &&
                   std::memcmp(marker->data, exif_identifier, sizeof exif_identifier) == 0) {
            context.orientation = exif_orientation(marker->data + sizeof exif_identifier,
                                                   marker->data_length - sizeof exif_identifier);
            exif_read = true;
        }
    }
    context.colour.icc = assemble_icc_profile(app2_markers);
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

// Decodes the rows before end, image row y into row_at(y), and after the last row the rest of
// the data. Stops as soon as the data turns out to end before the image: the rest would be
// filler.
template <class RowAt>
ImageError read_rows(JpegDecoderState& state, JDIMENSION end, RowAt row_at)
{
    jpeg_decompress_struct* info = &state.info;
    if (setjmp(state.error.jump))
        return library_failure(state.error);
    while (info->output_scanline < end) {
        std::uint8_t* destination = row_at(info->output_scanline);
        if (info->output_components == 3) {
            // Blue, green, red straight into the pixel row; the row has room for the width.
            JSAMPROW row = destination;
            if (jpeg_read_scanlines(info, &row, 1) != 1)
                return ImageError::Corrupt;
        } else {
            if (jpeg_read_scanlines(info, state.row, 1) != 1)
                return ImageError::Corrupt;
            convert_cmyk_row(state.row[0], info->output_width, destination);
        }
        if (jpeg_data_cut_off(state.error, *info))
            return ImageError::CutOff;
    }
    if (info->output_scanline == info->output_height)
        jpeg_finish_decompress(info);
    return ImageError::None;
}

// The next iMCU row of each component into rows[c][0 .. its group rows).
ImageError read_plane_group(JpegDecoderState& state, std::uint8_t* const* const (&rows)[3])
{
    jpeg_decompress_struct* info = &state.info;
    if (setjmp(state.error.jump))
        return library_failure(state.error);
    const auto rows_per_call = static_cast<JDIMENSION>(info->max_v_samp_factor * DCTSIZE);
    JSAMPARRAY groups[3] = {const_cast<JSAMPARRAY>(rows[0]), const_cast<JSAMPARRAY>(rows[1]),
                            const_cast<JSAMPARRAY>(rows[2])};
    if (jpeg_read_raw_data(info, groups, rows_per_call) != rows_per_call)
        return ImageError::Corrupt;
    if (jpeg_data_cut_off(state.error, *info))
        return ImageError::CutOff;
    if (info->output_scanline >= info->output_height)
        jpeg_finish_decompress(info);
    return ImageError::None;
}

} // namespace

namespace {

// A new decoder state for the data in context, with its header read and checked; nullptr, with
// the reason in context.error, when the data is no JPEG or the header is refused.
JpegDecoderState* open_state(DecodeContext& context)
{
    if (context.size < 2 || context.data[0] != 0xFF || context.data[1] != 0xD8)
        return nullptr;
    auto* state = new (std::nothrow) JpegDecoderState();
    if (!state) {
        context.error = ImageError::OutOfMemory;
        return nullptr;
    }
    context.state.reset(state);
    if (const ImageError error = read_header(*state, context.data, context.size); error != ImageError::None) {
        context.error = error;
        return nullptr;
    }
    return state;
}

} // namespace

bool jpeg_check(DecodeContext& context)
{
    JpegDecoderState* state = open_state(context);
    if (!state)
        return false;
    if (const ImageError error = start_output(*state, false); error != ImageError::None) {
        context.error = error;
        return false;
    }
    context.width = static_cast<std::int32_t>(state->info.output_width);
    context.height = static_cast<std::int32_t>(state->info.output_height);
    context.depth = 24;
    context.source_depth = 8 * state->info.output_components;
    read_metadata(state->info, context);
    return true;
}

bool jpeg_check_planes(DecodeContext& context)
{
    JpegDecoderState* state = open_state(context);
    if (!state)
        return false;
    if (!is_ycbcr_stream(state->info)) {
        context.error = ImageError::Unsupported;
        return false;
    }
    context.width = static_cast<std::int32_t>(state->info.image_width);
    context.height = static_cast<std::int32_t>(state->info.image_height);
    context.depth = 24;
    context.source_depth = 24;
    read_metadata(state->info, context);
    return true;
}

bool jpeg_start_planes(DecodeContext& context, PlaneLayout& layout)
{
    auto* state = dynamic_cast<JpegDecoderState*>(context.state.get());
    if (!state || !is_ycbcr_stream(state->info))
        return false;
    if (context.error = start_output(*state, true); context.error != ImageError::None)
        return false;
    const jpeg_decompress_struct& info = state->info;
    for (std::size_t c = 0; c < 3; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        layout.width[c] = static_cast<int>(component.downsampled_width);
        layout.height[c] = static_cast<int>(component.downsampled_height);
        layout.room[c] = static_cast<int>(component.width_in_blocks) * DCTSIZE;
        layout.group_rows[c] = component.v_samp_factor * DCTSIZE;
    }
    layout.groups = static_cast<int>(info.total_iMCU_rows);
    return true;
}

bool jpeg_read_plane_group(DecodeContext& context, std::uint8_t* const* const (&rows)[3])
{
    auto* state = dynamic_cast<JpegDecoderState*>(context.state.get());
    if (!state || !state->info.raw_data_out || state->rows_stopped ||
        state->info.output_scanline >= state->info.output_height) {
        context.error = ImageError::Corrupt;
        return false;
    }
    context.error = read_plane_group(*state, rows);
    // After a failure libjpeg's state is undefined, and after the last group it is finished.
    state->rows_stopped = context.error != ImageError::None || state->info.output_scanline >= state->info.output_height;
    return context.error == ImageError::None;
}

bool jpeg_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags)
{
    auto* state = dynamic_cast<JpegDecoderState*>(context.state.get());
    if (!state)
        return false;
    const JDIMENSION height = state->info.output_height;
    context.error = read_rows(*state, height, [pixels, stride, flags, height](JDIMENSION y) {
        return pixels + buffer_row_index(y, height, flags) * stride;
    });
    return context.error == ImageError::None;
}

bool jpeg_decode_row(DecodeContext& context, std::uint8_t* row)
{
    auto* state = dynamic_cast<JpegDecoderState*>(context.state.get());
    if (!state)
        return false;
    jpeg_decompress_struct& info = state->info;
    if (state->rows_stopped || info.output_scanline >= info.output_height) {
        context.error = ImageError::Corrupt;
        return false;
    }
    context.error = read_rows(*state, info.output_scanline + 1, [row](JDIMENSION) { return row; });
    // After a failure libjpeg's state is undefined, and after the last row it is finished.
    state->rows_stopped = context.error != ImageError::None || info.output_scanline == info.output_height;
    return context.error == ImageError::None;
}

const ImageDecoder jpeg_decoder_plugin = {IMAGE_CODE_JPEG, jpeg_check, jpeg_decode,
                                          [](DecodeContext& context) { context.state.reset(); }, jpeg_decode_row};

} // namespace pictavo
