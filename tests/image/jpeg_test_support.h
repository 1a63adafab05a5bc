// SPDX-License-Identifier: GPL-3.0-or-later
// Writing and reading JPEG data with libjpeg directly, as an independent route for the tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

namespace pictavo::test {

struct RawJpeg {
    int width = 0, height = 0, components = 0;
    std::vector<std::uint8_t> samples;  // rows top first, components interleaved
    std::vector<unsigned> luma_table, chroma_table;
};

// A marker written after the JFIF header, e.g. APP1 with an EXIF block.
struct JpegMarker {
    int code;
    std::vector<std::uint8_t> data;
};

// Encodes samples (components per pixel in in_space) with libjpeg's defaults at quality 100,
// stored in jpeg_space, optionally progressive or arithmetic-coded, with extra markers.
inline std::vector<std::uint8_t> write_jpeg(const std::vector<std::uint8_t>& samples, int width, int height,
                                            J_COLOR_SPACE in_space, int components, J_COLOR_SPACE jpeg_space,
                                            bool progressive = false, bool arithmetic = false,
                                            const std::vector<JpegMarker>& markers = {})
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = in_space;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, jpeg_space);
    jpeg_set_quality(&info, 100, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    info.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    for (const JpegMarker& marker : markers)
        jpeg_write_marker(&info, marker.code, marker.data.data(), static_cast<unsigned>(marker.data.size()));
    for (int y = 0; y < height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + static_cast<std::size_t>(y * width * components));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

inline RawJpeg read_jpeg(const std::vector<std::uint8_t>& bytes, J_COLOR_SPACE out_space)
{
    jpeg_decompress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = out_space;
    info.dct_method = JDCT_ISLOW;
    RawJpeg raw;
    for (int i = 0; i < DCTSIZE2; ++i) {
        raw.luma_table.push_back(info.quant_tbl_ptrs[0]->quantval[i]);
        if (info.quant_tbl_ptrs[1])
            raw.chroma_table.push_back(info.quant_tbl_ptrs[1]->quantval[i]);
    }
    jpeg_start_decompress(&info);
    raw.width = static_cast<int>(info.output_width);
    raw.height = static_cast<int>(info.output_height);
    raw.components = info.output_components;
    raw.samples.resize(static_cast<std::size_t>(raw.width * raw.height * raw.components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = raw.samples.data() + static_cast<std::size_t>(info.output_scanline) * static_cast<std::size_t>(raw.width * raw.components);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return raw;
}

// The profile in a JPEG file as libjpeg itself reassembles it; empty when there is none. Also
// counts the file's APP2 markers.
inline std::vector<std::uint8_t> read_jpeg_icc_profile(const std::vector<std::uint8_t>& bytes, int* app2_markers = nullptr)
{
    jpeg_decompress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    if (app2_markers) {
        *app2_markers = 0;
        for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next)
            *app2_markers += marker->marker == JPEG_APP0 + 2;
    }
    JOCTET* profile = nullptr;
    unsigned size = 0;
    std::vector<std::uint8_t> result;
    if (jpeg_read_icc_profile(&info, &profile, &size))
        result.assign(profile, profile + size);
    std::free(profile);
    jpeg_destroy_decompress(&info);
    return result;
}

// libjpeg's own quantization tables for a quality (0..100), as jpeg_set_quality makes them.
inline std::vector<unsigned> quality_table(int quality, int table)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    info.in_color_space = JCS_RGB;
    info.input_components = 3;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, FALSE);
    std::vector<unsigned> values;
    for (int i = 0; i < DCTSIZE2; ++i)
        values.push_back(info.quant_tbl_ptrs[table]->quantval[i]);
    jpeg_destroy_compress(&info);
    return values;
}

} // namespace pictavo::test
