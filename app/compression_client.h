// SPDX-License-Identifier: GPL-3.0-or-later
// The compression-service client: sends one output file to the shrink endpoint and replaces
// it with the compressed image the service returns.
#pragma once

#include <atomic>
#include <string>

namespace pictavo {

// One exchange with the service, as the engine's workers run it: synchronous, on the caller's
// thread, touching no numbered file, so several may run at once.
//
// The upload is opened for reading only. The shrink answer is judged by its status; a
// connection error or a 5xx answer is tried once more after 500 ms (401 and 429 are not). A
// 201 answer's location must begin with the endpoint's location prefix and have the endpoint's
// scheme, host and port, without user-info. The download replaces result_path only when it
// completed with 2xx, is at most 4 times the upload and 256 MiB, begins with the signature of
// the upload's own format (JPEG or PNG) and decodes; otherwise result_path stays as it was.
// The whole exchange, both transfers and the pause included, ends after 10 minutes at most.
struct CompressionRequest {
    std::string upload_path;  // the file whose bytes are sent (opened for reading only)
    std::string result_path;  // replaced by the compressed image on success only
    std::string api_key;
    std::string shrink_endpoint = "https://api.tinify.com/shrink";
};

enum class CompressionFailure {
    None,
    UploadUnreadable, // the output to send could not be read
    NoAnswer,         // no HTTP answer arrived (connection, TLS, time-out), also when tried again
    KeyRefused,       // 401: the service refused the key
    MonthlyLimit,     // 429: the key's compressions for this month are used up
    Refused,          // the shrink answer's status was another one than 201 (see http_status)
    AnswerTooLarge,   // the shrink answer was larger than any answer of the service (1 MiB)
    NoLocation,       // a 201 answer without a usable location of the service
    DownloadFailed,   // the download did not complete with a 2xx status (see http_status)
    BadDownload,      // a complete download that is too large or no image of the upload's format
    ResultNotWritten, // the compressed image could not be written beside result_path
};

struct CompressionResult {
    CompressionFailure failure = CompressionFailure::None;
    int http_status = 0;              // of the answer that decided; 0 when none arrived
    long long compression_count = -1; // Compression-Count of the service's last answer; -1 without one
    bool ok() const { return failure == CompressionFailure::None; }
};

CompressionResult compress_file(const CompressionRequest& request);

// The time limit of one whole exchange (default 10 minutes). Tests shorten it; values below 1
// restore the default.
void compression_set_time_limit(std::int64_t milliseconds);

struct CompressionTask {
    std::string upload_path;  // the file whose bytes are sent
    std::string result_path;  // the file that receives the compressed image
    std::string api_key;
    std::string shrink_endpoint = "https://api.tinify.com/shrink";
    std::atomic<int>* error_flag = nullptr; // cleared on success, set on any failure
};

// The worker, a thread procedure taking a CompressionTask. It copies what it needs from the
// task at once and never writes to it; its only result is the error flag. Always returns 0.
//
// The exchange is compress_file's; the flag is set on any failure.
int compression_worker(void* task);

// Runs compression_worker on a worker thread and waits for it to end.
void run_compression(CompressionTask& task);

// "Basic " credential text for a key: Base64 of "api:" + key, without "=" padding.
std::string service_credential(const std::string& api_key);

// Standard Base64 (RFC 4648, section 4) without the "=" padding.
std::string base64_unpadded(const std::string& bytes);

// The scheme, "://" and the first dot-separated label of the endpoint's host: every location
// the service returns starts with it ("https://api" for "https://api.tinify.com/shrink").
std::string location_prefix(const std::string& endpoint);

// True when location has the endpoint's scheme, host and port (default ports by scheme) and
// no user-info; both must be http or https addresses.
bool location_matches_endpoint(const std::string& location, const std::string& endpoint);

// The location in a shrink answer's body: from the first occurrence of the prefix up to, not
// including, the character before the first "}}" (the location's closing quotation mark).
// Without the prefix it is all of the body before "}}"; without "}}", or when "}}" comes
// before the prefix, it is empty.
std::string extract_location(const std::string& body, const std::string& prefix);

} // namespace pictavo
