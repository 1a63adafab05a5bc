// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of a web address that say where a request goes, read by libcurl's own URL parser
// (the one its transfers use), so that a check and the transfer cannot read an address apart.
#pragma once

#include <string>

namespace pictavo {

struct UrlOrigin {
    std::string scheme; // lower case: "http" or "https"
    std::string host;   // lower case, as written (an IPv6 address in brackets)
    long port = 0;      // the scheme's default port when none is written
    bool has_user_info = false; // "user@" or "user:password@" before the host
};

// The origin of an absolute http or https address; false for anything else (no scheme, another
// scheme, no host, blanks or other characters an address cannot hold).
bool url_origin(const std::string& url, UrlOrigin& origin);

} // namespace pictavo
