// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_run.h"
#include "app/folder_scan.h"
#include "window/main_window.h"
#include "image/plugins.h"
#include "sys/process_runner.h"
#include "web/http.h"

#include <cstdio>

namespace pictavo {

WindowServices program_window_services(const std::string& manual_address, const std::string& donate_address)
{
    WindowServices services;
    services.start_networking = [] { return network_start() == 1; };
    services.register_codecs = [] { register_image_codecs(); };
    services.start_up_state = [](AppState& state) { state.start_up(); };
    services.scan_folder = [](AppState& state, const std::string& folder) {
        folder_scan(state.run, folder, folder_left_out(folder, state.job.output_folder), state.job.inputs);
    };
    services.run_batch = [](AppState& state, FrontEnd& front_end, const RunOptions& options) {
        batch_run(state, front_end, options);
    };
    services.open_with_shell = [](const std::string& target) {
        const OpenAnswer answer = open_with_desktop(target);
        return answer.opened ? std::string() : answer.reason;
    };
    services.note = [](const std::string& text) { std::fprintf(stderr, "pictavo: %s\n", text.c_str()); };
    services.manual_address = manual_address;
    services.donate_address = donate_address;
    return services;
}

} // namespace pictavo
