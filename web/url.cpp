// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/url.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdlib>
#include <memory>

namespace pictavo {
namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

// One part of the parsed address; false when it is absent.
bool url_part(CURLU* url, CURLUPart what, std::string& text, unsigned int flags = 0)
{
    char* raw = nullptr;
    if (curl_url_get(url, what, &raw, flags) != CURLUE_OK || !raw)
        return false;
    const std::unique_ptr<char, CurlTextDeleter> owner(raw);
    text = raw;
    return true;
}

std::string lower_case(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

bool url_origin(const std::string& url, UrlOrigin& origin)
{
    origin = {};
    const std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || url.empty() || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return false;
    std::string port, ignored;
    if (!url_part(parsed.get(), CURLUPART_SCHEME, origin.scheme) || !url_part(parsed.get(), CURLUPART_HOST, origin.host)
        || !url_part(parsed.get(), CURLUPART_PORT, port, CURLU_DEFAULT_PORT))
        return false;
    origin.scheme = lower_case(origin.scheme);
    origin.host = lower_case(origin.host);
    if ((origin.scheme != "http" && origin.scheme != "https") || origin.host.empty())
        return false;
    char* end = nullptr;
    origin.port = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0' || origin.port <= 0 || origin.port > 65535)
        return false;
    origin.has_user_info = url_part(parsed.get(), CURLUPART_USER, ignored)
        || url_part(parsed.get(), CURLUPART_PASSWORD, ignored) || url_part(parsed.get(), CURLUPART_OPTIONS, ignored);
    return true;
}

} // namespace pictavo
