// SPDX-License-Identifier: GPL-3.0-or-later
// A local stand-in for the compression service, for tests.
//
// A small HTTP/1.1 server (plain HTTP, one connection at a time, one request per connection)
// on 127.0.0.1 with a free port, running on a thread of its own. It answers like the real
// service:
//   POST /shrink with "Authorization: Basic <base64 of api:KEY>" and an image body (JPEG or PNG)
//     -> 201 Created, "Location: <base>/output/<id>", "Compression-Count: N",
//        "Content-Type: application/json" and the one-line JSON body whose last string value is
//        the same location: {"input":{...},"output":{...,"url":"<base>/output/<id>"}}
//   a wrong or missing key -> 401, a body that is no image -> 415 (JSON error bodies)
//   GET /output/<id> -> 200 with the compressed bytes (compressed_form of the upload);
//     an unknown id -> 404
// and fails on purpose when told to (ServiceMode, DownloadMode). Pages set with set_page answer
// any method on their path, for tests of the HTTP layer itself. Every request is recorded.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace pictavo {

enum class ServiceMode {
    Normal,
    Status200,       // the shrink succeeds but answers 200 instead of 201
    NoEndMark,       // 201, but the body has no "}}" (the closing braces are apart)
    ForeignLocation, // 201 with a location on another host ("http://localhost:PORT/...")
    QuotaExceeded,   // 429 TooManyRequests
    ServerError,     // 503 with a plain-text body
};

enum class DownloadMode {
    Normal,
    CutHalfway, // announces the full length, sends half the bytes and closes
    Stall,      // sends half the bytes, then nothing until the client gives up
    ErrorPage,  // 500 with an HTML page
};

// How a page's body is delivered.
enum class Delivery { Whole, CutHalfway, Stall };

struct Page {
    using Headers = std::vector<std::pair<std::string, std::string>>;
    Page(int status_ = 200, std::string body_ = {}, std::string content_type_ = "text/html",
         Delivery delivery_ = Delivery::Whole, Headers headers_ = {})
        : status(status_), body(std::move(body_)), content_type(std::move(content_type_)),
          delivery(delivery_), headers(std::move(headers_))
    {
    }
    int status;
    std::string body;
    std::string content_type;
    Delivery delivery;
    Headers headers; // extra answer headers
};

struct RecordedRequest {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers; // as received, in order
    std::string body;                                         // after any chunked decoding
    bool chunked = false;

    // The first header of that name (case-insensitive), "" when absent.
    std::string header(const std::string& name) const;
    bool has_header(const std::string& name) const;
};

class ServiceDouble {
public:
    static constexpr const char* default_key = "Tq3vXw8kLm2Pz7Rb9Nc4Hd6Jf1Gs5Ya0";

    explicit ServiceDouble(std::string api_key = default_key);
    ~ServiceDouble();
    ServiceDouble(const ServiceDouble&) = delete;
    ServiceDouble& operator=(const ServiceDouble&) = delete;

    // Binds 127.0.0.1 on a free port and starts serving; false when that fails.
    bool start();
    void stop();

    int port() const { return port_; }
    std::string base_url() const;   // "http://127.0.0.1:PORT"
    std::string shrink_url() const; // base_url() + "/shrink"

    void set_service_mode(ServiceMode mode) { service_mode_ = mode; }
    void set_download_mode(DownloadMode mode) { download_mode_ = mode; }
    void set_page(const std::string& path, Page page);

    std::vector<RecordedRequest> requests() const;
    std::vector<RecordedRequest> requests_to(const std::string& method, const std::string& path_prefix) const;
    int compression_count() const { return compression_count_; }

    // The bytes the double hands back for an upload: the upload with a marker after its end,
    // which image decoders ignore.
    static std::string compressed_form(const std::string& upload);

    // Bytes the double accepts as a PNG upload of 750 x 1334 pixels: the signature and header
    // chunk, then filler up to size bytes. Not a decodable image.
    static std::string sample_upload(std::size_t size = 28);

private:
    struct Answer {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        Delivery delivery = Delivery::Whole;
    };

    void serve();
    void handle_connection(int connection);
    Answer answer(const RecordedRequest& request);
    Answer shrink(const RecordedRequest& request);
    Answer download(const std::string& id);
    void send_answer(int connection, const Answer& answer);
    void wait_until_closed(int connection);

    std::string api_key_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_ {false};
    std::thread server_;
    std::atomic<ServiceMode> service_mode_ {ServiceMode::Normal};
    std::atomic<DownloadMode> download_mode_ {DownloadMode::Normal};
    std::atomic<int> compression_count_ {0};

    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;
    std::map<std::string, Page> pages_;
    std::map<std::string, std::string> outputs_;
};

} // namespace pictavo
