// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the metadata tool in its stay-open mode, for tests of the metadata step.
//
// It answers each "-executeN" with "{readyN}" after the given delay, except that it dies when
// the output's name holds "die" and never answers when it holds "hang", in both cases with
// its half-written file OUTPUT_exiftool_tmp left beside the output, as the real tool would. It copies no tags;
// given an output_mark, it appends that text to each output it answers for, so that a test
// can tell the outputs whose metadata step was done. Each start adds its process number to
// the file PATH.pids.
#pragma once

#include <sys/stat.h>

#include <fstream>
#include <string>

namespace pictavo::test {

inline bool write_fake_metadata_tool(const std::string& path, const std::string& answer_delay_seconds = "0",
                                     const std::string& output_mark = "")
{
    std::ofstream(path) << "#!/bin/sh\n"
                           "echo $$ >> \"$0.pids\"\n"
                           "last=\n"
                           "while IFS= read -r line; do\n"
                           "  case \"$line\" in\n"
                           "    -execute*)\n"
                           "      case \"$last\" in\n"
                           "        *die*) : > \"${last}_exiftool_tmp\"; kill -9 $$ ;;\n"
                           "        *hang*) : > \"${last}_exiftool_tmp\"; sleep 1000 ;;\n"
                           "      esac\n"
                           "      sleep " << answer_delay_seconds << "\n"
                           "      [ -n '" << output_mark << "' ] && [ -f \"$last\" ] && printf '%s' '" << output_mark
                        << "' >> \"$last\"\n"
                           "      printf '    1 image files updated\\n{ready%s}\\n' \"${line#-execute}\" ;;\n"
                           "    False) exit 0 ;;\n"
                           "    *) last=$line ;;\n"
                           "  esac\n"
                           "done\n";
    return ::chmod(path.c_str(), 0755) == 0;
}

} // namespace pictavo::test
