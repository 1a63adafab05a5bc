// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/compression_client.h"

#include "app/download_check.h"
#include "sys/descriptor.h"
#include "web/http.h"
#include "web/threads.h"
#include "web/url.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace pictavo {
namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr std::size_t header_buckets = 512;
constexpr const char* success_status = "201";
constexpr const char* location_end_mark = "}}";
constexpr auto pause_before_end = Milliseconds(5);

// A service that accepts the upload one byte a second, or sends the answer so, still satisfies
// the stall limit; this bounds the whole exchange. Ten minutes lets a slow line send a large
// photo both ways.
constexpr std::int64_t default_time_limit_ms = 10 * 60 * 1000;
std::atomic<std::int64_t> time_limit_ms {default_time_limit_ms};

// What the service's own clients do after a connection error or a 5xx answer.
constexpr auto retry_pause = Milliseconds(500);

// The shrink answer is a short JSON text; anything near this size is no answer of the service.
constexpr std::int64_t shrink_answer_limit = 1 << 20;
// A compressed image is smaller than its upload; a few times larger is no answer of the service,
// and 256 MiB is more than any image this program reads.
constexpr std::int64_t download_growth_limit = 4;
constexpr std::int64_t download_size_limit = 256ll << 20;

// The whole upload file, or false when it cannot be opened or read completely. Opened for
// reading only: the exchange never creates a file.
bool read_upload(const std::string& path, std::vector<unsigned char>& bytes)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!file.valid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    bytes.assign(static_cast<std::size_t>(status.st_size), 0);
    return read_from_start(file.get(), bytes.data(), bytes.size());
}

// The end of one exchange's time.
class Deadline {
public:
    Deadline() : end_(Clock::now() + Milliseconds(time_limit_ms.load())) {}
    std::int64_t remaining_ms() const
    {
        return std::chrono::duration_cast<Milliseconds>(end_ - Clock::now()).count();
    }

private:
    Clock::time_point end_;
};

bool worth_retry(long status, TransferError error)
{
    return error == TransferError::NoConnection || (status >= 500 && status <= 599);
}

// Runs attempt once more after the pause when its first result asks for it and time is left.
template <class Attempt, class Retryable>
auto with_one_retry(const Deadline& deadline, Attempt attempt, Retryable retryable)
{
    auto result = attempt();
    if (retryable(result) && deadline.remaining_ms() > retry_pause.count()) {
        std::this_thread::sleep_for(retry_pause);
        result = attempt();
    }
    return result;
}

// The answer's count of this month's compressions, -1 when it has none (or not a plain number).
long long compression_count_of(const Request* answer)
{
    constexpr std::size_t most_digits = 18; // still fits a long long
    const std::string value = http_header(answer, "Compression-Count");
    if (value.empty() || value.size() > most_digits || value.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoll(value);
}

CompressionFailure failure_of_status(long status)
{
    switch (status) {
    case 401: return CompressionFailure::KeyRefused;
    case 429: return CompressionFailure::MonthlyLimit;
    default: return CompressionFailure::Refused;
    }
}

RequestHandle send_shrink(const std::string& endpoint, const HeaderTable& headers,
                          const std::vector<unsigned char>& upload, const Deadline& deadline, CompressionResult& result)
{
    return with_one_retry(
        deadline,
        [&] {
            const std::int64_t remaining = deadline.remaining_ms();
            if (remaining <= 0)
                return RequestHandle();
            const TransferLimits limits {remaining, shrink_answer_limit};
            RequestHandle answer = http_send(HTTP_POST, endpoint, upload.data(), static_cast<std::int64_t>(upload.size()),
                                             HTTP_NO_REDIRECT, &headers, limits);
            if (const long long count = compression_count_of(answer.get()); count >= 0)
                result.compression_count = count;
            return answer;
        },
        [](const RequestHandle& answer) { return answer && worth_retry(answer->status_code, answer->error); });
}

// Fetches the location into result_path, taking only an image of the upload's format.
void download(const std::string& location, const std::string& result_path, const std::vector<unsigned char>& upload,
              const Deadline& deadline, CompressionResult& result)
{
    const ImageFormat format = image_format_of(upload.data(), upload.size());
    DownloadOptions options;
    options.accept = [format](int descriptor, std::int64_t size) { return file_is_image_of_format(descriptor, size, format); };
    const DownloadResult fetched = with_one_retry(
        deadline,
        [&] {
            options.limits.time_limit_ms = deadline.remaining_ms();
            options.limits.max_answer_bytes = std::min<std::int64_t>(
                download_size_limit, static_cast<std::int64_t>(upload.size()) * download_growth_limit);
            if (options.limits.time_limit_ms <= 0)
                return DownloadResult {DownloadOutcome::TransferFailed, 0, TransferError::TimedOut};
            return http_download(location, result_path, options);
        },
        [](const DownloadResult& answer) {
            return answer.outcome != DownloadOutcome::Replaced && worth_retry(answer.status, answer.error);
        });
    if (fetched.ok())
        return;
    const bool bad = fetched.outcome == DownloadOutcome::Refused || fetched.error == TransferError::TooLarge;
    result.failure = bad                                           ? CompressionFailure::BadDownload
        : fetched.outcome == DownloadOutcome::NotWritten ? CompressionFailure::ResultNotWritten
                                                         : CompressionFailure::DownloadFailed;
    // The status of a transfer that did not complete says nothing about it.
    result.http_status = fetched.outcome == DownloadOutcome::TransferFailed ? 0 : static_cast<int>(fetched.status);
}

// Sends the upload and, on a good answer, downloads the result.
CompressionResult run_exchange(const CompressionRequest& request, const std::vector<unsigned char>& upload)
{
    CompressionResult result;
    const Deadline deadline;
    HeaderTable headers(header_buckets);
    if (!headers.set("Authorization", "Basic " + service_credential(request.api_key))
        || !headers.set("Content-Type", "application/octet-stream")) {
        result.failure = CompressionFailure::NoAnswer;
        return result;
    }

    RequestHandle answer = send_shrink(request.shrink_endpoint, headers, upload, deadline, result);
    result.http_status = answer ? static_cast<int>(answer->status_code) : 0;
    if (result.http_status == 0) {
        const bool too_large = answer && answer->error == TransferError::TooLarge;
        result.failure = too_large ? CompressionFailure::AnswerTooLarge : CompressionFailure::NoAnswer;
    } else if (http_info(answer.get(), HTTP_INFO_STATUS) != success_status) {
        result.failure = failure_of_status(result.http_status);
    } else {
        const std::string prefix = location_prefix(request.shrink_endpoint);
        const std::string location = extract_location(http_info(answer.get(), HTTP_INFO_BODY), prefix);
        // Only a location of the service is fetched; anything else is no answer to download.
        if (prefix.empty() || location.rfind(prefix, 0) != 0 || !location_matches_endpoint(location, request.shrink_endpoint))
            result.failure = CompressionFailure::NoLocation;
        else
            download(location, request.result_path, upload, deadline, result);
    }
    http_finish(answer);
    return result;
}

} // namespace

std::string base64_unpadded(const std::string& bytes)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() * 4 + 2) / 3);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned int group = static_cast<unsigned char>(bytes[i]) << 16
            | static_cast<unsigned char>(bytes[i + 1]) << 8 | static_cast<unsigned char>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            text.push_back(alphabet[(group >> shift) & 63]);
    }
    // A final group of one or two bytes gives two or three characters and no padding.
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned int group = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        for (std::size_t k = 0; k <= rest; ++k)
            text.push_back(alphabet[(group >> (18 - 6 * k)) & 63]);
    }
    return text;
}

std::string service_credential(const std::string& api_key) { return base64_unpadded("api:" + api_key); }

std::string location_prefix(const std::string& endpoint)
{
    const auto scheme_end = endpoint.find("://");
    if (scheme_end == std::string::npos)
        return {};
    const auto host_start = scheme_end + 3;
    const auto label_end = endpoint.find_first_of("./:?#", host_start);
    const auto prefix_end = label_end == std::string::npos ? endpoint.size() : label_end;
    if (prefix_end == host_start)
        return {};
    return endpoint.substr(0, prefix_end);
}

std::string extract_location(const std::string& body, const std::string& prefix)
{
    // Positions count from 1, 0 for "not found"; the rule is kept as the service's answers
    // are read by it: the text from the prefix up to the character before "}}".
    const auto found_prefix = prefix.empty() ? std::string::npos : body.find(prefix);
    const auto found_end = body.find(location_end_mark);
    const long long start = found_prefix == std::string::npos ? 0 : static_cast<long long>(found_prefix) + 1;
    const long long end = found_end == std::string::npos ? 0 : static_cast<long long>(found_end) + 1;
    const long long length = end - start - 1;
    if (length <= 0)
        return {};
    const auto from = static_cast<std::size_t>(start < 1 ? 0 : start - 1);
    return body.substr(from, static_cast<std::size_t>(length));
}

bool location_matches_endpoint(const std::string& location, const std::string& endpoint)
{
    UrlOrigin from_location, from_endpoint;
    return url_origin(location, from_location) && url_origin(endpoint, from_endpoint) && !from_location.has_user_info
        && from_location.scheme == from_endpoint.scheme && from_location.host == from_endpoint.host
        && from_location.port == from_endpoint.port;
}

void compression_set_time_limit(std::int64_t milliseconds)
{
    time_limit_ms = milliseconds >= 1 ? milliseconds : default_time_limit_ms;
}

CompressionResult compress_file(const CompressionRequest& request)
{
    CompressionResult result;
    try {
        std::vector<unsigned char> upload;
        if (!read_upload(request.upload_path, upload)) {
            result.failure = CompressionFailure::UploadUnreadable;
            return result;
        }
        return run_exchange(request, upload);
    } catch (const std::exception&) {
        result.failure = CompressionFailure::UploadUnreadable;
        return result;
    }
}

int compression_worker(void* parameter)
{
    const auto* task = static_cast<const CompressionTask*>(parameter);
    if (!task)
        return 0;
    std::atomic<int>* const error_flag = task->error_flag;
    bool ok = false;
    try {
        CompressionRequest request;
        request.upload_path = task->upload_path;
        request.result_path = task->result_path;
        request.api_key = task->api_key;
        request.shrink_endpoint = task->shrink_endpoint;
        ok = compress_file(request).ok();
    } catch (const std::exception&) {
        ok = false;
    }
    if (error_flag)
        *error_flag = ok ? 0 : 1;
    std::this_thread::sleep_for(pause_before_end);
    return 0;
}

void run_compression(CompressionTask& task)
{
    thread_wait(thread_start(compression_worker, &task));
}

} // namespace pictavo
