// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http.h"

#include "sys/atomic_file.h"
#include "web/curl_support.h"

namespace pictavo {
namespace {

struct DownloadTarget {
    AtomicFile file;
    std::int64_t written = 0;
    std::int64_t limit = 0; // 0 for none
    bool over_limit = false;
};

// Streams each chunk into the temporary file. Returning less than given (a short write, or
// an answer past the limit) makes libcurl abort the transfer.
size_t write_chunk(char* data, size_t size, size_t count, void* parameter)
{
    auto& target = *static_cast<DownloadTarget*>(parameter);
    const size_t total = size * count;
    if (target.limit > 0 && static_cast<std::int64_t>(total) > target.limit - target.written) {
        target.over_limit = true;
        return 0;
    }
    if (!target.file.write_all(data, total))
        return 0;
    target.written += static_cast<std::int64_t>(total);
    return total;
}

DownloadResult with_outcome(DownloadResult result, DownloadOutcome outcome)
{
    result.outcome = outcome;
    return result;
}

} // namespace

DownloadResult http_download(const std::string& url, const std::string& path, const DownloadOptions& options)
{
    DownloadResult result;
    if (url.empty() || path.empty())
        return result;
    try {
        CurlEasy handle(curl_easy_init());
        DownloadTarget target;
        target.limit = options.limits.max_answer_bytes;
        if (!handle || !target.file.open(path))
            return result;

        const std::string user_agent = HTTP_USER_AGENT;
        if (!(options.flags & HTTP_NO_REDIRECT))
            curl_easy_setopt(handle.get(), CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle.get(), CURLOPT_USERAGENT, user_agent.c_str());
        curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, write_chunk);
        curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &target);
        set_shared_options(handle.get(), options.limits);

        const CURLcode transfer = curl_easy_perform(handle.get());
        curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &result.status);
        if (transfer != CURLE_OK) {
            result.error = transfer_error_of(transfer, target.over_limit);
            // An aborted write of our own that was not the limit is the file's failure.
            const bool file_failed = transfer == CURLE_WRITE_ERROR && !target.over_limit;
            return with_outcome(result, file_failed ? DownloadOutcome::NotWritten : DownloadOutcome::TransferFailed);
        }
        // An error page is no download; the file is only replaced by a good answer.
        if (result.status < 200 || result.status > 299)
            return with_outcome(result, DownloadOutcome::ErrorStatus);
        if (options.accept && !options.accept(target.file.descriptor(), target.written))
            return with_outcome(result, DownloadOutcome::Refused);
        return with_outcome(result, target.file.commit() ? DownloadOutcome::Replaced : DownloadOutcome::NotWritten);
    } catch (const std::exception&) {
        return with_outcome(result, DownloadOutcome::NotWritten);
    }
}

int http_download(const std::string& url, const std::string& path, int flags)
{
    DownloadOptions options;
    options.flags = flags;
    return http_download(url, path, options).ok() ? 1 : 0;
}

} // namespace pictavo
