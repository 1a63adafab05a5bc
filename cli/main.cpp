// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/allocator_tuning.h"
#include "cli/cli_main.h"

#include <unistd.h>

int main(int argc, char** argv)
{
    pictavo::keep_large_buffers_in_heap();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    pictavo::CliStreams streams;
    streams.in_is_terminal = ::isatty(STDIN_FILENO) == 1;
    return pictavo::cli_main(arguments, streams);
}
