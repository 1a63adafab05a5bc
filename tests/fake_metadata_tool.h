// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the metadata tool in its stay-open mode, for tests of the metadata step.
//
// It answers each "-executeN" with "{readyN}" after the given delay, except that it dies when
// the output's name holds "die" and never answers when it holds "hang". It copies no tags.
// Each start adds its process number to the file PATH.pids.
#pragma once

#include <sys/stat.h>

#include <fstream>
#include <string>

namespace pictavo::test {

inline bool write_fake_metadata_tool(const std::string& path, const std::string& answer_delay_seconds = "0")
{
    std::ofstream(path) << "#!/bin/sh\n"
                           "echo $$ >> \"$0.pids\"\n"
                           "last=\n"
                           "while IFS= read -r line; do\n"
                           "  case \"$line\" in\n"
                           "    -execute*)\n"
                           "      case \"$last\" in\n"
                           "        *die*) kill -9 $$ ;;\n"
                           "        *hang*) sleep 1000 ;;\n"
                           "      esac\n"
                           "      sleep " << answer_delay_seconds << "\n"
                           "      printf '    1 image files updated\\n{ready%s}\\n' \"${line#-execute}\" ;;\n"
                           "    False) exit 0 ;;\n"
                           "    *) last=$line ;;\n"
                           "  esac\n"
                           "done\n";
    return ::chmod(path.c_str(), 0755) == 0;
}

} // namespace pictavo::test
