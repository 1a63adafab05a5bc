// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http.h"

#include "web/curl_support.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <strings.h>

namespace pictavo {
namespace {

constexpr long connect_timeout_seconds = 30;

struct StallLimit {
    long bytes_per_second = 1;
    long seconds = 60;
};
std::mutex stall_mutex;
StallLimit stall_limit; // under stall_mutex: a transfer reads both values of one setting

// A header line longer than this is not sent.
constexpr std::size_t header_line_limit = 81920;

// libcurl bounds each answer header line, not their number; a server that sends header lines
// without end is cut off here.
constexpr std::int64_t answer_header_limit = 1 << 20;

std::mutex network_mutex;
bool network_started = false;

const char* method_text(int method)
{
    switch (method) {
    case HTTP_POST: return "POST";
    case HTTP_PUT: return "PUT";
    case HTTP_PATCH: return "PATCH";
    case HTTP_DELETE: return "DELETE";
    default: return "GET";
    }
}

// "Name: value", or "Name;" for an empty value, which makes libcurl send the header empty.
// Lines that would split into two header lines, or overrun the line limit, are left out.
CurlList header_list(const HeaderTable& table)
{
    curl_slist* list = nullptr;
    table.walk([&](const std::string& name, const std::string& value) {
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        if (line.size() >= header_line_limit || line.find_first_of("\r\n") != std::string::npos
            || line.find('\0') != std::string::npos)
            return;
        if (curl_slist* longer = curl_slist_append(list, line.c_str()))
            list = longer;
    });
    return CurlList(list);
}

size_t collect(char* data, size_t size, size_t count, void* target)
{
    const size_t total = size * count;
    return static_cast<AnswerBuffer*>(target)->append(data, total) ? total : 0;
}

// The body option for a POST without data: libcurl would otherwise read the body from the
// process's standard input.
size_t no_data(char*, size_t, size_t, void*) { return 0; }

std::string text_before_zero(const AnswerBuffer& buffer)
{
    if (!buffer.bytes || buffer.length <= 0)
        return {};
    const char* begin = buffer.bytes.get();
    const void* zero = std::memchr(begin, 0, static_cast<size_t>(buffer.length));
    const auto length = zero ? static_cast<const char*>(zero) - begin : buffer.length;
    return std::string(begin, static_cast<size_t>(length));
}

void set_options(CURL* handle, Request& request, curl_slist* headers, char* error_buffer)
{
    if (!(request.flags & HTTP_NO_REDIRECT))
        curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    if (request.method == HTTP_POST)
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, method_text(request.method));
    if (request.request_data_size != 0) {
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.request_data_size));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.request_data);
    } else if (request.method == HTTP_POST) {
        curl_easy_setopt(handle, CURLOPT_READFUNCTION, no_data);
    }
    if (request.flags & HTTP_NO_PEER_CHECK)
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    if (headers)
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    if (request.flags & HTTP_WEAK_TLS)
        curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_ALLOW_BEAST | CURLSSLOPT_NO_REVOKE));
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, request.user_agent.c_str());
    if (request.flags & HTTP_HEAD_ONLY) {
        curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &request.body);
    }
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, collect);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &request.headers);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error_buffer);
    if (request.flags & HTTP_VERBOSE)
        curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
    set_shared_options(handle, request.limits);
}

void run_transfer(Request& request)
{
    CurlEasy handle(curl_easy_init());
    if (!handle || !request.body.reserve_initial() || !request.headers.reserve_initial()) {
        request.body.clear();
        request.headers.clear();
        request.error = TransferError::Failed;
        request.state = HTTP_FAILED;
        return;
    }
    request.body.limit = request.limits.max_answer_bytes;
    request.headers.limit = answer_header_limit;
    CurlList headers = request.header_table ? header_list(*request.header_table) : CurlList();
    char error_buffer[CURL_ERROR_SIZE] = {};
    set_options(handle.get(), request, headers.get(), error_buffer);

    const CURLcode result = curl_easy_perform(handle.get());
    if (result == CURLE_OK) {
        curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &request.status_code);
        request.body.trim();
        request.headers.trim();
        request.state = HTTP_DONE;
    } else {
        request.error_text = error_buffer[0] ? error_buffer : curl_easy_strerror(result);
        request.error = transfer_error_of(result, request.body.over_limit || request.headers.over_limit);
        request.body.clear();
        request.headers.trim();
        request.status_code = 0;
        request.state = HTTP_FAILED;
    }
}

} // namespace

void FreeDeleter::operator()(void* memory) const { std::free(memory); }

bool AnswerBuffer::reserve_initial()
{
    bytes.reset(static_cast<char*>(std::malloc(static_cast<size_t>(step))));
    capacity = bytes ? step : 0;
    length = 0;
    return bytes != nullptr;
}

bool AnswerBuffer::append(const char* data, std::size_t count)
{
    const auto n = static_cast<std::int64_t>(count);
    if (n < 0 || length > INT64_MAX - n - step)
        return false;
    if (limit > 0 && length + n > limit) {
        over_limit = true;
        return false;
    }
    if (length + n > capacity) {
        const std::int64_t grown = capacity + n + step;
        void* larger = std::realloc(bytes.get(), static_cast<size_t>(grown));
        if (!larger)
            return false;
        (void)bytes.release();
        bytes.reset(static_cast<char*>(larger));
        capacity = grown;
    }
    if (count > 0)
        std::memcpy(bytes.get() + length, data, count);
    length += n;
    return true;
}

void AnswerBuffer::trim()
{
    if (length <= 0) {
        clear();
        return;
    }
    if (void* exact = std::realloc(bytes.get(), static_cast<size_t>(length))) {
        (void)bytes.release();
        bytes.reset(static_cast<char*>(exact));
        capacity = length;
    }
}

void AnswerBuffer::clear()
{
    bytes.reset();
    capacity = 0;
    length = 0;
}

void set_shared_options(CURL* handle, const TransferLimits& limits)
{
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // libcurl's signal use (alarms for name look-ups, the SIGPIPE handler it swaps in and out)
    // is process-wide and not safe while other threads transfer.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds);
    StallLimit stall;
    {
        std::lock_guard lock(stall_mutex);
        stall = stall_limit;
    }
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, stall.bytes_per_second);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, stall.seconds);
    if (limits.time_limit_ms > 0)
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.time_limit_ms));
    // An announced length beyond the limit stops the transfer before the body; the writers
    // also count, for answers that announce none.
    if (limits.max_answer_bytes > 0)
        curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.max_answer_bytes));
}

TransferError transfer_error_of(CURLcode result, bool over_limit)
{
    if (over_limit)
        return TransferError::TooLarge;
    switch (result) {
    case CURLE_OK: return TransferError::None;
    case CURLE_OPERATION_TIMEDOUT: return TransferError::TimedOut;
    case CURLE_FILESIZE_EXCEEDED: return TransferError::TooLarge;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return TransferError::NoConnection;
    default: return TransferError::Failed;
    }
}

void http_set_stall_limit(long bytes_per_second, long seconds)
{
    const bool valid = bytes_per_second >= 1 && seconds >= 1;
    std::lock_guard lock(stall_mutex);
    stall_limit = valid ? StallLimit {bytes_per_second, seconds} : StallLimit {};
}

int network_start()
{
    std::lock_guard lock(network_mutex);
    if (network_started)
        return 1;
    network_started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return network_started ? 1 : 0;
}

void network_stop()
{
    std::lock_guard lock(network_mutex);
    if (network_started)
        curl_global_cleanup();
    network_started = false;
}

RequestHandle http_send(int method, const std::string& url, const void* data, std::int64_t data_size,
                        int flags, const HeaderTable* header_table, const TransferLimits& limits)
{
    if (url.empty())
        return nullptr;
    try {
        auto request = std::make_unique<Request>();
        request->kind = 1;
        request->url = url;
        request->user_agent = HTTP_USER_AGENT;
        request->flags = flags;
        request->method = method;
        request->header_table = header_table;
        request->limits = limits;
        // Without data, or with a negative size, nothing is sent (libcurl would read a negative
        // size as "up to the first zero byte").
        request->request_data_size = data && data_size > 0 ? data_size : 0;
        request->request_data = data;
        run_transfer(*request);
        request->request_data = nullptr;
        return request;
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::string http_info(const Request* request, int what)
{
    if (!request)
        return {};
    try {
        switch (what) {
        case HTTP_INFO_STATUS: return std::to_string(request->status_code);
        case HTTP_INFO_BODY: return text_before_zero(request->body);
        case HTTP_INFO_ERROR: return request->error_text;
        case HTTP_INFO_HEADERS: return text_before_zero(request->headers);
        default: return {};
        }
    } catch (const std::exception&) {
        return {};
    }
}

std::string http_header(const Request* request, const std::string& name)
{
    if (!request || name.empty())
        return {};
    try {
        const std::string lines = text_before_zero(request->headers);
        std::string value;
        for (std::size_t start = 0; start < lines.size();) {
            auto end = lines.find('\n', start);
            if (end == std::string::npos)
                end = lines.size();
            const std::string_view line(lines.data() + start, end - start);
            start = end + 1;
            if (line.size() > name.size() && line[name.size()] == ':'
                && ::strncasecmp(line.data(), name.c_str(), name.size()) == 0) {
                const auto first = line.find_first_not_of(" \t", name.size() + 1);
                const auto last = line.find_last_not_of(" \t\r");
                value = first == std::string_view::npos || last < first ? std::string()
                                                                        : std::string(line.substr(first, last - first + 1));
            }
        }
        return value;
    } catch (const std::exception&) {
        return {};
    }
}

void http_finish(RequestHandle& request) { request.reset(); }

} // namespace pictavo
