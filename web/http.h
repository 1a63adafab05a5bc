// SPDX-License-Identifier: GPL-3.0-or-later
// Synchronous HTTP requests and downloads over libcurl.
//
// http_send runs one request whose body comes from memory and whose extra headers come from a
// header table, and hands back a Request that holds the answer until http_finish. http_download
// streams a URL into a file. Every transfer sends the fixed user agent, speaks HTTP or HTTPS
// only (redirects included), gives up connecting after 30 seconds and aborts when it stalls
// (see http_set_stall_limit); a caller may add a time limit and a size limit (TransferLimits).
// Any HTTP status completes a request; judging it is the caller's business.
//
// Transfers run wholly on the calling thread, each with its own libcurl handle and buffers, so
// any number of threads may run transfers at once (after network_start). The asynchronous
// mode (HTTP_ASYNC) is not offered: the program never uses it, and http_send ignores that bit.
#pragma once

#include "web/header_table.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pictavo {

// Request flags.
constexpr int HTTP_ASYNC = 0x01;         // not offered; ignored
constexpr int HTTP_NO_REDIRECT = 0x02;   // do not follow redirects
constexpr int HTTP_NO_PEER_CHECK = 0x04; // do not verify the server's TLS certificate
constexpr int HTTP_HEAD_ONLY = 0x08;     // ask for the headers only, collect no body
constexpr int HTTP_WEAK_TLS = 0x10;      // allow the BEAST work-around, skip the revocation check
constexpr int HTTP_VERBOSE = 0x20;       // libcurl's tracing on standard error

// Request methods.
constexpr int HTTP_GET = 0, HTTP_POST = 1, HTTP_PUT = 2, HTTP_PATCH = 3, HTTP_DELETE = 4;

// Request states.
constexpr int HTTP_IN_PROGRESS = -1, HTTP_DONE = -2, HTTP_FAILED = -3;

// What http_info reads.
constexpr int HTTP_INFO_STATUS = 0, HTTP_INFO_BODY = 1, HTTP_INFO_ERROR = 2, HTTP_INFO_HEADERS = 3;

// Every request and download sends this user agent.
inline constexpr const char* HTTP_USER_AGENT = "Mozilla/5.0 Gecko/41.0 Firefox/41.0";

// Why a transfer ended without a complete answer.
enum class TransferError {
    None,
    NoConnection, // no name, no connection, TLS failed, or the connection dropped mid-answer
    TimedOut,     // the time limit, the stall abort or the connect time-out
    TooLarge,     // the answer was larger than the caller's limit
    Failed,       // anything else (no memory, the target file, a malformed answer)
};

// What a caller may bound beyond the connect time-out and the stall abort; 0 is no limit.
struct TransferLimits {
    std::int64_t time_limit_ms = 0;    // the whole transfer, from connecting to the last byte
    std::int64_t max_answer_bytes = 0; // the answer's body; a larger one aborts the transfer
};

// Bytes grown into an answer buffer are freed with std::free.
struct FreeDeleter {
    void operator()(void* memory) const;
};

// A block that grows by the chunk that does not fit plus 512 KiB, as answers arrive.
struct AnswerBuffer {
    std::unique_ptr<char, FreeDeleter> bytes;
    std::int64_t capacity = 0;
    std::int64_t length = 0;

    std::int64_t limit = 0;  // appending beyond this many bytes fails; 0 for no limit
    bool over_limit = false; // an append failed because of the limit

    static constexpr std::int64_t step = 0x80000;
    bool reserve_initial();
    bool append(const char* data, std::size_t count);
    void trim(); // to exactly length bytes; no block at all when length is 0
    void clear();
};

// One request: created by http_send, released by http_finish.
struct Request {
    int kind = 1; // 1 memory request, 0 file download
    int state = HTTP_IN_PROGRESS;
    std::string url;
    std::string user_agent;
    std::string error_text;
    AnswerBuffer body;
    AnswerBuffer headers;
    int flags = 0;
    int method = HTTP_GET;
    const void* request_data = nullptr; // the caller's memory, used only during http_send
    std::int64_t request_data_size = 0;
    const HeaderTable* header_table = nullptr;
    long status_code = 0; // 0 when no answer arrived
    TransferError error = TransferError::None;
    TransferLimits limits;
};

using RequestHandle = std::unique_ptr<Request>;

// Starts networking for the process (libcurl's global start) once; later calls only answer 1.
// Call it on the main thread before any other thread exists. 1 on success, 0 on failure.
int network_start();

// Ends what network_start started; afterwards network_start may start it again.
void network_stop();

// Sends one request and returns when it has ended. The Request is done (any HTTP status,
// answer in http_info) or failed (no answer; status "0" and libcurl's message as error text).
// method: HTTP_GET .. HTTP_DELETE; any other value sends GET. The data is sent only when
// data_size is not 0 and must stay valid until the call returns. An answer whose body passes
// limits.max_answer_bytes, or whose header lines pass 1 MiB, fails the request (TooLarge). A
// null handle only when url is empty or memory runs out.
RequestHandle http_send(int method, const std::string& url, const void* data, std::int64_t data_size,
                        int flags, const HeaderTable* header_table, const TransferLimits& limits = {});

// HTTP_INFO_STATUS: the status code in decimal ("0" without an answer); HTTP_INFO_BODY and
// HTTP_INFO_HEADERS: the body or the raw response header lines, up to the first zero byte;
// HTTP_INFO_ERROR: the transfer's error text. Anything else, or a null request, gives "".
std::string http_info(const Request* request, int what);

// The value of the answer's header line of that name (case-insensitive), without the
// surrounding blanks; the last such line when there are several (interim answers such as
// "100 Continue" come first). "" when the answer has none.
std::string http_header(const Request* request, const std::string& name);

// Releases the request with all it holds. Texts taken from http_info stay valid.
void http_finish(RequestHandle& request);

struct DownloadOptions {
    int flags = 0; // HTTP_NO_REDIRECT only
    TransferLimits limits;
    // Asked about a complete 2xx answer before it replaces the target, with the temporary
    // file's descriptor (readable, at its end) and size; false keeps the target as it was.
    std::function<bool(int descriptor, std::int64_t size)> accept;
};

enum class DownloadOutcome {
    Replaced,       // the target now holds the answer
    TransferFailed, // no complete answer (see DownloadResult::error)
    ErrorStatus,    // a complete answer with a status other than 2xx
    Refused,        // a complete 2xx answer that accept refused
    NotWritten,     // the temporary file could not be created, written or renamed
};

struct DownloadResult {
    DownloadOutcome outcome = DownloadOutcome::NotWritten;
    long status = 0; // of the final answer; 0 when none arrived
    TransferError error = TransferError::None;
    bool ok() const { return outcome == DownloadOutcome::Replaced; }
};

// Downloads url into the file at path. The answer streams into a temporary file beside the
// target, which replaces the target only when the transfer completed with a final 2xx status,
// within the limits, and accept (when given) took it. Otherwise the target is left as it was
// (never deleted, never replaced by an error page) and no temporary file remains.
DownloadResult http_download(const std::string& url, const std::string& path, const DownloadOptions& options);

// The same without limits or check: 1 when the target was replaced, 0 otherwise.
int http_download(const std::string& url, const std::string& path, int flags = 0);

// A transfer that receives fewer than bytes_per_second for seconds in a row is aborted
// (default: 1 byte in 60 seconds). Tests shorten it; values below 1 restore the default.
void http_set_stall_limit(long bytes_per_second, long seconds);

} // namespace pictavo
