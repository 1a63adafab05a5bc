// SPDX-License-Identifier: GPL-3.0-or-later
// The compression-service client: sends one output file to the shrink endpoint and replaces
// it with the compressed image the service returns.
#pragma once

#include <atomic>
#include <string>

namespace pictavo {

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
// The upload file is opened for reading only; when it is missing or cannot be read, nothing is
// sent and the flag is set. The result file is replaced only by a completed 2xx download of a
// location that the service's answer gave (status 201, a location that begins with the
// endpoint's location prefix); otherwise it is left as it was.
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

// The location in a shrink answer's body: from the first occurrence of the prefix up to, not
// including, the character before the first "}}" (the location's closing quotation mark).
// Without the prefix it is all of the body before "}}"; without "}}", or when "}}" comes
// before the prefix, it is empty.
std::string extract_location(const std::string& body, const std::string& prefix);

} // namespace pictavo
