// SPDX-License-Identifier: GPL-3.0-or-later
// What a drag and drop of a folder carries: a text/uri-list naming it.
#pragma once

#include <string>

namespace pictavo {

constexpr const char* URI_LIST_TYPE = "text/uri-list";

// The folder named by a text/uri-list (lines ending in CR LF or LF; '#' lines are comments),
// as a path ending in "/", when the list names exactly one URI and that is a file: URI on this
// machine (no host or "localhost") of an existing folder. "" for anything else: several
// items, a file, a remote or malformed URI, a query or fragment, an encoded NUL byte.
std::string folder_of_uri_list(const std::string& uri_list);

} // namespace pictavo
