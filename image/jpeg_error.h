// SPDX-License-Identifier: GPL-3.0-or-later
// libjpeg error handling shared by the decoder and the encoder.
//
// libjpeg reports an error by calling error_exit, which must not return. Ours jumps back to
// the setjmp of the function that called into the library. Such a function keeps only
// trivially destructible locals, since the jump skips destructors; the records it works on
// are owned by its caller.
#pragma once

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace pictavo {

struct JpegErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    // The stream ran out before its end marker, while the decoder was in this iMCU row of
    // its scan (libjpeg then goes on as if the end marker had come).
    bool data_ended;
    JDIMENSION data_ended_in_row;
    // After the data ended, the entropy decoder lacked bits it needed.
    bool scan_data_short;
    bool too_many_scans;  // set by the decoder's scan limits before they jump back
};

// Installs the jumping error_exit and a silent output_message. Warnings are ignored, but the
// ones for data that ends early are noted.
jpeg_error_mgr* jpeg_install_error_manager(JpegErrorManager& error);

// Whether the image's data ended before its last rows: the decoder ran out of data it needed.
// With Huffman coding libjpeg says so; arithmetic-coded data gives no such sign, so there the
// data must not end before the last iMCU row (a complete file that lacks only its end marker
// makes the decoder look past the data while it reads that row).
bool jpeg_data_cut_off(const JpegErrorManager& error, const jpeg_decompress_struct& info);

} // namespace pictavo
