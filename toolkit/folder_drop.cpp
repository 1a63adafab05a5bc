// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/folder_drop.h"

#include <optional>
#include <sys/stat.h>
#include <vector>

namespace pictavo {
namespace {

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percent_decoded(const std::string& text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hex_value(text[i + 1]);
        const int low = hex_value(text[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

std::vector<std::string> uris_of(const std::string& uri_list)
{
    std::vector<std::string> uris;
    std::size_t start = 0;
    while (start < uri_list.size()) {
        std::size_t end = uri_list.find('\n', start);
        if (end == std::string::npos)
            end = uri_list.size();
        std::string line = uri_list.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            uris.push_back(line);
    }
    return uris;
}

// The path of a local file: URI ("file:///p", "file://localhost/p" or "file:/p").
std::optional<std::string> local_path_of(const std::string& uri)
{
    const std::string scheme = "file:";
    if (uri.compare(0, scheme.size(), scheme) != 0)
        return std::nullopt;
    std::string rest = uri.substr(scheme.size());
    if (rest.compare(0, 2, "//") == 0) {
        const auto path_start = rest.find('/', 2);
        if (path_start == std::string::npos)
            return std::nullopt;
        const std::string host = rest.substr(2, path_start - 2);
        if (!host.empty() && host != "localhost")
            return std::nullopt;
        rest = rest.substr(path_start);
    }
    if (rest.empty() || rest[0] != '/' || rest.find_first_of("?#") != std::string::npos)
        return std::nullopt;
    return percent_decoded(rest);
}

} // namespace

std::string folder_of_uri_list(const std::string& uri_list)
{
    const std::vector<std::string> uris = uris_of(uri_list);
    if (uris.size() != 1)
        return {};
    const std::optional<std::string> path = local_path_of(uris[0]);
    struct stat info {};
    if (!path || ::stat(path->c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return {};
    return path->back() == '/' ? *path : *path + "/";
}

} // namespace pictavo
