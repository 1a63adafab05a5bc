// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/jpeg_error.h"

#include <jerror.h>

namespace pictavo {
namespace {

[[noreturn]] void jump_back(j_common_ptr info)
{
    auto* error = reinterpret_cast<JpegErrorManager*>(info->err);
    std::longjmp(error->jump, 1);
}

void stay_silent(j_common_ptr) {}

void note_message(j_common_ptr info, int level)
{
    auto* error = reinterpret_cast<JpegErrorManager*>(info->err);
    if (level >= 0)
        return;
    ++error->manager.num_warnings;
    if (error->manager.msg_code == JWRN_JPEG_EOF && !error->data_ended) {
        error->data_ended = true;
        if (info->is_decompressor)
            error->data_ended_in_row = reinterpret_cast<j_decompress_ptr>(info)->input_iMCU_row;
    } else if (error->manager.msg_code == JWRN_HIT_MARKER && error->data_ended) {
        error->scan_data_short = true;
    }
}

} // namespace

jpeg_error_mgr* jpeg_install_error_manager(JpegErrorManager& error)
{
    jpeg_error_mgr* manager = jpeg_std_error(&error.manager);
    manager->error_exit = jump_back;
    manager->output_message = stay_silent;
    manager->emit_message = note_message;
    error.data_ended = false;
    error.data_ended_in_row = 0;
    error.scan_data_short = false;
    error.too_many_scans = false;
    manager->trace_level = 0;
    return manager;
}

bool jpeg_data_cut_off(const JpegErrorManager& error, const jpeg_decompress_struct& info)
{
    if (!error.data_ended)
        return false;
    if (!info.arith_code)
        return error.scan_data_short;
    return error.data_ended_in_row + 1 < info.total_iMCU_rows;
}

} // namespace pictavo
