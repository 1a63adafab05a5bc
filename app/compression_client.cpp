// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/compression_client.h"

#include "sys/descriptor.h"
#include "web/http.h"
#include "web/threads.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace pictavo {
namespace {

constexpr std::size_t header_buckets = 512;
constexpr const char* success_status = "201";
constexpr const char* location_end_mark = "}}";
constexpr auto pause_before_end = std::chrono::milliseconds(5);

// The whole upload file, or false when it cannot be opened or read completely. Opened for
// reading only: the exchange never creates a file.
bool read_upload(const std::string& path, std::vector<unsigned char>& bytes)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!file.valid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    bytes.assign(static_cast<std::size_t>(status.st_size), 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// Sends the upload and, on a good answer, downloads the result.
CompressionResult exchange(const std::string& endpoint, const std::string& api_key,
                           const std::vector<unsigned char>& upload, const std::string& result_path)
{
    CompressionResult result;
    HeaderTable headers(header_buckets);
    if (!headers.set("Authorization", "Basic " + service_credential(api_key))
        || !headers.set("Content-Type", "application/octet-stream")) {
        result.failure = CompressionFailure::NoAnswer;
        return result;
    }

    RequestHandle request = http_send(HTTP_POST, endpoint, upload.data(), static_cast<std::int64_t>(upload.size()),
                                      HTTP_NO_REDIRECT, &headers);
    result.http_status = request ? static_cast<int>(request->status_code) : 0;
    if (result.http_status == 0) {
        result.failure = CompressionFailure::NoAnswer;
    } else if (http_info(request.get(), HTTP_INFO_STATUS) != success_status) {
        result.failure = CompressionFailure::Refused;
    } else {
        const std::string prefix = location_prefix(endpoint);
        const std::string location = extract_location(http_info(request.get(), HTTP_INFO_BODY), prefix);
        // Only a location of the service is fetched; anything else is no answer to download.
        if (prefix.empty() || location.rfind(prefix, 0) != 0)
            result.failure = CompressionFailure::NoLocation;
        else if (http_download(location, result_path) != 1)
            result.failure = CompressionFailure::DownloadFailed;
    }
    http_finish(request);
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

CompressionResult compress_file(const CompressionRequest& request)
{
    CompressionResult result;
    try {
        std::vector<unsigned char> upload;
        if (!read_upload(request.upload_path, upload)) {
            result.failure = CompressionFailure::UploadUnreadable;
            return result;
        }
        return exchange(request.shrink_endpoint, request.api_key, upload, request.result_path);
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
