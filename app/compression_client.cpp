// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/compression_client.h"

#include "sys/numbered_file.h"
#include "web/http.h"
#include "web/threads.h"

#include <chrono>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace pictavo {
namespace {

constexpr std::int64_t upload_file_number = 0;
constexpr std::size_t header_buckets = 512;
constexpr const char* success_status = "201";
constexpr const char* location_end_mark = "}}";
constexpr auto pause_before_end = std::chrono::milliseconds(5);

// The whole upload file, or false when it cannot be opened or read completely.
bool read_upload(const std::string& path, std::vector<unsigned char>& bytes)
{
    if (!file_read_open(upload_file_number, path))
        return false;
    const std::int64_t length = file_length(upload_file_number);
    bool ok = length >= 0;
    if (ok) {
        try {
            bytes.assign(static_cast<std::size_t>(length), 0);
        } catch (const std::exception&) {
            ok = false;
        }
    }
    if (ok && length > 0)
        ok = file_read_data(upload_file_number, bytes.data(), length) == length;
    file_close(upload_file_number);
    return ok;
}

// Sends the upload and, on a good answer, downloads the result: true on success.
bool exchange(const std::string& endpoint, const std::string& api_key, const std::vector<unsigned char>& upload,
              const std::string& result_path)
{
    HeaderTable headers(header_buckets);
    if (!headers.set("Authorization", "Basic " + service_credential(api_key))
        || !headers.set("Content-Type", "application/octet-stream"))
        return false;

    RequestHandle request = http_send(HTTP_POST, endpoint, upload.data(), static_cast<std::int64_t>(upload.size()),
                                      HTTP_NO_REDIRECT, &headers);
    bool ok = false;
    if (request && http_info(request.get(), HTTP_INFO_STATUS) == success_status) {
        const std::string prefix = location_prefix(endpoint);
        const std::string location = extract_location(http_info(request.get(), HTTP_INFO_BODY), prefix);
        // Only a location of the service is fetched; anything else is no answer to download.
        ok = !prefix.empty() && location.rfind(prefix, 0) == 0 && http_download(location, result_path) == 1;
    }
    http_finish(request);
    return ok;
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

int compression_worker(void* parameter)
{
    const auto* task = static_cast<const CompressionTask*>(parameter);
    if (!task)
        return 0;
    std::atomic<int>* const error_flag = task->error_flag;
    bool ok = false;
    try {
        const std::string upload_path = task->upload_path;
        const std::string result_path = task->result_path;
        const std::string api_key = task->api_key;
        const std::string endpoint = task->shrink_endpoint;

        std::vector<unsigned char> upload;
        ok = read_upload(upload_path, upload) && exchange(endpoint, api_key, upload, result_path);
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
