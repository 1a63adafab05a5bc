// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/metadata_tool.h"

#include "sys/files.h"
#include "sys/process_runner.h"
#include "sys/temporary_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

namespace pictavo {
namespace {

// How long a tool asked to quit may take before it is killed.
constexpr auto TOOL_EXIT_GRACE = std::chrono::seconds(2);

const std::vector<std::string> STAY_OPEN_ARGUMENTS = {"-stay_open", "True", "-@", "-"};

bool has_line_break(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments)
        if (argument.find_first_of("\n\r") != std::string::npos)
            return true;
    return false;
}

// A folder of our own for the link, made with mkdtemp (owner-only).
std::string private_folder()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = base && *base ? base : "/tmp";
    if (pattern.find('%') != std::string::npos)
        pattern = "/tmp";
    pattern += "/pictavo-tags-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

} // namespace

std::vector<std::string> metadata_arguments(const MetadataCopy& copy)
{
    std::vector<std::string> arguments = {"-TagsFromFile", copy.source_path, "-all:all>all:all"};
    if (copy.shape.colour_profile)
        arguments.emplace_back("-ICC_Profile");
    const std::string width = std::to_string(copy.shape.width);
    const std::string height = std::to_string(copy.shape.height);
    if (copy.shape.turned_upright) {
        arguments.emplace_back("-Orientation#=1");
        arguments.push_back("-ExifImageWidth=" + width);
        arguments.push_back("-ExifImageHeight=" + height);
    } else if (copy.shape.resized) {
        // Taken from the source's own tag with its value replaced, so that a source without
        // size tags (often one without any EXIF data) gives an output without them.
        arguments.push_back("-ExifImageWidth<${ExifImageWidth;$_=" + width + "}");
        arguments.push_back("-ExifImageHeight<${ExifImageHeight;$_=" + height + "}");
    }
    arguments.emplace_back("-overwrite_original");
    arguments.push_back(copy.output_path);
    return arguments;
}

void remove_metadata_tool_leftover(const std::string& output_path)
{
    const std::string leftover = output_path + std::string(METADATA_TOOL_SUFFIX);
    struct stat info {};
    if (::lstat(leftover.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        ::unlink(leftover.c_str());
}

MetadataSession::MetadataSession(std::string tool_path, std::chrono::milliseconds time_limit)
    : tool_path_(std::move(tool_path)), time_limit_(time_limit)
{
}

MetadataSession::~MetadataSession() { close(); }

bool MetadataSession::copy(const MetadataCopy& copy)
{
    MetadataCopy request = copy;
    if (!tool_is_program() || !source_for_tool(copy.source_path, request.source_path))
        return false;
    const std::vector<std::string> arguments = metadata_arguments(request);
    return has_line_break(arguments) ? copy_one_off(arguments) : copy_streamed(arguments);
}

void MetadataSession::close()
{
    if (tool_.alive()) {
        tool_.send("-stay_open\nFalse\n");
        tool_.finish(TOOL_EXIT_GRACE);
    }
    tool_.kill();
    remove_link();
    if (!link_folder_.empty())
        ::rmdir(link_folder_.c_str());
    link_folder_.clear();
}

// Only a program is started: anything else named like the tool would be handed to the
// desktop's opener by the process runner, once for every image.
bool MetadataSession::tool_is_program() const
{
    return file_size(tool_path_) >= 0 && ::access(tool_path_.c_str(), X_OK) == 0;
}

bool MetadataSession::copy_streamed(const std::vector<std::string>& arguments)
{
    if (!tool_.alive()) {
        if (!tool_.start(tool_path_, STAY_OPEN_ARGUMENTS, ""))
            return false;
        ++starts_;
    }
    // A numbered execute gets a numbered ready mark, so an answer can never be taken for the
    // answer of another copy.
    const std::string number = std::to_string(++sequence_);
    std::string request;
    for (const std::string& argument : arguments) {
        request += argument;
        request += '\n';
    }
    request += "-execute" + number + "\n";
    std::string answer;
    if (tool_.send(request) && tool_.read_until("{ready" + number + "}\n", time_limit_, answer)
                                   == ChildProcess::Answer::Complete)
        return true;
    tool_.kill();
    return false;
}

bool MetadataSession::copy_one_off(const std::vector<std::string>& arguments)
{
    ++starts_;
    return run_program(tool_path_, arguments, current_folder(), RUN_WAIT | RUN_HIDE) != 0;
}

// The tool reads %d, %f, %e (and other codes) in the source path of -TagsFromFile as parts of
// the output's path, and it knows no escape for a plain '%'. A source whose path holds a '%'
// is therefore given to it through a link with a plain name in a private folder. When that
// link cannot be made the copy fails: the tool would read another file's tags.
bool MetadataSession::source_for_tool(const std::string& source_path, std::string& readable_as)
{
    if (source_path.find('%') == std::string::npos) {
        readable_as = source_path;
        return true;
    }
    if (link_folder_.empty())
        link_folder_ = private_folder();
    if (link_folder_.empty())
        return false;
    const std::string extension = extension_part(source_path);
    const std::string target = source_path.front() == '/' ? source_path : current_folder() + source_path;
    remove_link();
    link_path_ = link_folder_ + "/source";
    if (!extension.empty() && extension.find('%') == std::string::npos)
        link_path_ += "." + extension;
    if (::symlink(target.c_str(), link_path_.c_str()) != 0)
        return false;
    readable_as = link_path_;
    return true;
}

void MetadataSession::remove_link()
{
    if (!link_path_.empty())
        ::unlink(link_path_.c_str());
    link_path_.clear();
}

} // namespace pictavo
