// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/jpeg_encoder.h"

#include "image/image_object.h"
#include "image/jpeg_error.h"
#include "image/jpeg_icc_pieces.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

namespace pictavo {
namespace {

struct JpegEncoderRecord {
    jpeg_compress_struct info{};
    JpegErrorManager error{};
    bool created = false;
    unsigned char* memory = nullptr;  // the memory destination's block (malloc'd by libjpeg)
    unsigned long memory_size = 0;

    JpegEncoderRecord() = default;
    JpegEncoderRecord(const JpegEncoderRecord&) = delete;
    JpegEncoderRecord& operator=(const JpegEncoderRecord&) = delete;
    ~JpegEncoderRecord()
    {
        if (created)
            jpeg_destroy_compress(&info);
        std::free(memory);
    }
};

void to_rgb(const std::uint8_t* bgr, int width, std::uint8_t* rgb)
{
    for (int x = 0; x < width; ++x, bgr += 3, rgb += 3) {
        rgb[0] = bgr[2];
        rgb[1] = bgr[1];
        rgb[2] = bgr[0];
    }
}

// The profile as numbered APP2 pieces, after the JFIF header libjpeg writes itself.
void write_icc_profile(jpeg_compress_struct* info, const std::vector<std::uint8_t>& profile)
{
    const std::size_t count = icc_piece_count(profile.size());
    for (std::size_t index = 0; index < count; ++index) {
        const std::size_t first = index * icc_piece_capacity;
        const std::size_t size = std::min(icc_piece_capacity, profile.size() - first);
        std::uint8_t header[icc_piece_header_size];
        icc_piece_header(index, count, header);
        jpeg_write_m_header(info, JPEG_APP0 + 2, static_cast<unsigned>(icc_piece_header_size + size));
        for (std::uint8_t byte : header)
            jpeg_write_m_byte(info, byte);
        for (std::size_t i = 0; i < size; ++i)
            jpeg_write_m_byte(info, profile[first + i]);
    }
}

// The libjpeg quality the request asks for: its native quality when it gives one (1..100),
// else ten times the program quality (0..10; libjpeg itself takes 0 as 1).
int libjpeg_quality(const EncodeRequest& request)
{
    if (request.options.native_quality > 0)
        return std::min(request.options.native_quality, NATIVE_QUALITY_MAXIMUM);
    return std::clamp(request.quality, 0, 10) * 10;
}

// Lossless savings: Huffman tables made for this image, and progressive scans (libjpeg's
// standard script). The quantisation tables, and so the decoded pixels, stay as they are.
void set_optimised_coding(jpeg_compress_struct* info)
{
    info->optimize_coding = TRUE;
    jpeg_simple_progression(info);
}

// Only trivially destructible locals: a library error jumps back here.
bool compress(JpegEncoderRecord& record, const EncodeRequest& request, std::FILE* file, std::uint8_t* row)
{
    jpeg_compress_struct* info = &record.info;
    info->err = jpeg_install_error_manager(record.error);
    if (setjmp(record.error.jump))
        return false;
    jpeg_create_compress(info);
    record.created = true;
    if (file)
        jpeg_stdio_dest(info, file);
    else
        jpeg_mem_dest(info, &record.memory, &record.memory_size);
    info->image_width = static_cast<JDIMENSION>(request.width);
    info->image_height = static_cast<JDIMENSION>(request.height);
    info->input_components = 3;
    info->in_color_space = JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, libjpeg_quality(request), FALSE);
    if (request.options.optimize)
        set_optimised_coding(info);
    jpeg_start_compress(info, TRUE);
    if (request.colour && icc_profile_describes_rgb(request.colour->icc))
        write_icc_profile(info, request.colour->icc);
    for (int y = 0; y < request.height; ++y) {
        to_rgb(request.image_row(y), request.width, row);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(info, rows, 1);
    }
    jpeg_finish_compress(info);
    return true;
}

} // namespace

bool jpeg_encode24(const EncodeRequest& request, const EncodeSink& sink)
{
    if (request.width < 1 || request.height < 1 || (!sink.file && !sink.memory))
        return false;
    std::unique_ptr<JpegEncoderRecord> record(new (std::nothrow) JpegEncoderRecord());
    std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[request.stride + 4]);
    if (!record || !row || !compress(*record, request, sink.file, row.get()))
        return false;
    if (!sink.file && !sink.write(record->memory, record->memory_size))
        return false;
    if (request.outcome)
        *request.outcome = EncodeOutcome{false, 0, std::max(1, libjpeg_quality(request))};
    return true;
}

const ImageEncoder jpeg_encoder_plugin = {IMAGE_CODE_JPEG, jpeg_encode24, nullptr};

} // namespace pictavo
