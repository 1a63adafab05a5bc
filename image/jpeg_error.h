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
    bool data_ended;  // the stream ran out before its end marker
};

// Installs the jumping error_exit and a silent output_message (warnings are ignored, but
// the one for data that ends early is noted in data_ended).
jpeg_error_mgr* jpeg_install_error_manager(JpegErrorManager& error);

} // namespace pictavo
