// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http.h"

#include "sys/atomic_file.h"
#include "web/curl_support.h"

namespace pictavo {
namespace {

// Streams each chunk into the temporary file. A short write returns less than given, which
// makes libcurl abort the transfer.
size_t write_chunk(char* data, size_t size, size_t count, void* target)
{
    const size_t total = size * count;
    return static_cast<AtomicFile*>(target)->write_all(data, total) ? total : 0;
}

} // namespace

int http_download(const std::string& url, const std::string& path, int flags)
{
    if (url.empty() || path.empty())
        return 0;
    try {
        CurlEasy handle(curl_easy_init());
        if (!handle)
            return 0;
        AtomicFile file;
        if (!file.open(path))
            return 0;

        const std::string user_agent = HTTP_USER_AGENT;
        if (!(flags & HTTP_NO_REDIRECT))
            curl_easy_setopt(handle.get(), CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle.get(), CURLOPT_USERAGENT, user_agent.c_str());
        curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, write_chunk);
        curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &file);
        set_deadline_options(handle.get());

        if (curl_easy_perform(handle.get()) != CURLE_OK)
            return 0;
        long status = 0;
        curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
        // An error page is no download; the file is only replaced by a good answer.
        if (status < 200 || status > 299)
            return 0;
        return file.commit() ? 1 : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace pictavo
