// SPDX-License-Identifier: GPL-3.0-or-later
// Copying a source's metadata into its output with the outside tool exiftool.
//
// A session keeps one tool running for as long as it lives (`exiftool -stay_open True -@ -`):
// per copy it writes the arguments one per line, then "-executeN", and reads the answer up to
// "{readyN}". A tool that dies, or does not answer within the time limit, is killed; that copy
// counts as failed, and the next copy starts a fresh tool. Arguments that hold a line break
// cannot travel one per line, so such a copy gets a one-off run of the tool instead. No shell
// is ever involved.
//
// One session belongs to one thread (each worker of a run has its own); it is not shared.
#pragma once

#include "app/output_shape.h"
#include "sys/child_process.h"

#include <chrono>
#include <string>
#include <vector>

namespace pictavo {

// A healthy tool answers in well under a second; the limit leaves room for a very large file
// on a slow disk while keeping a hung tool from holding the run for ever.
constexpr std::chrono::milliseconds METADATA_TOOL_TIME_LIMIT = std::chrono::seconds(60);

// What one copy needs. The argument list is made from it in one place, so that further
// arguments (for an output that was turned upright, a colour profile) go in there.
struct MetadataCopy {
    std::string source_path; // the file the tags come from, as the tool is to read it
    std::string output_path; // rewritten in place by the tool
    OutputShape shape = {};
};

// The tool's arguments for one copy: -TagsFromFile SOURCE -all:all>all:all, then for a profile
// -ICC_Profile, for a turned output -Orientation#=1 -ExifImageWidth=W -ExifImageHeight=H, for
// an output only resized the same two sizes where the source has those tags, then
// -overwrite_original OUTPUT. Values assigned after the copy replace the copied ones.
std::vector<std::string> metadata_arguments(const MetadataCopy& copy);

// Removes the file that the tool writes the new content to before renaming it over
// output_path (OUTPUT_exiftool_tmp), which stays behind when the tool is killed mid-write.
// Only for an output_path that is a temporary of this program's own: beside any other file a
// file of that name may be somebody's.
void remove_metadata_tool_leftover(const std::string& output_path);

class MetadataSession {
public:
    // tool_path: the program to run; time_limit: how long one answer may take.
    explicit MetadataSession(std::string tool_path, std::chrono::milliseconds time_limit = METADATA_TOOL_TIME_LIMIT);
    ~MetadataSession();
    MetadataSession(const MetadataSession&) = delete;
    MetadataSession& operator=(const MetadataSession&) = delete;

    // Copies the source's tags into the output. False when the tool is no program, could not be
    // started, died or did not answer in time; the output is then as the tool left it.
    // copy.source_path is the source as the user named it.
    bool copy(const MetadataCopy& copy);

    // Ends the tool (asked to quit, killed when it does not) and reaps it.
    void close();

    // How many times a tool process was started, one-off runs included.
    int starts() const { return starts_; }

private:
    bool tool_is_program() const;
    bool copy_streamed(const std::vector<std::string>& arguments);
    bool copy_one_off(const std::vector<std::string>& arguments);
    bool source_for_tool(const std::string& source_path, std::string& readable_as);
    void remove_link();

    std::string tool_path_;
    std::chrono::milliseconds time_limit_;
    ChildProcess tool_;
    unsigned long sequence_ = 0;
    int starts_ = 0;
    std::string link_folder_; // private folder of the plain-name link, once made
    std::string link_path_;
};

} // namespace pictavo
