// SPDX-License-Identifier: GPL-3.0-or-later
// A local stand-in for the compression service, for tests.
//
// A small HTTP/1.1 server (plain HTTP, one connection at a time, one request per connection)
// on 127.0.0.1 with a free port, running on a thread of its own. It answers like the real
// service:
//   POST /shrink with "Authorization: Basic <base64 of api:KEY>" and a JPEG, PNG, WebP or AVIF body
//     -> 201 Created, "Location: <base>/output/<id>", "Compression-Count: N",
//        "Content-Type: application/json" and the one-line JSON body whose last string value is
//        the same location: {"input":{...},"output":{...,"url":"<base>/output/<id>"}}
//   a wrong or missing key -> 401, a body that is no image -> 415, an image that does not
//     decode -> 400 (JSON error bodies); 429 carries the Compression-Count too
//   GET /output/<id> -> 200 with the compressed image (compressed_form of the upload: a real,
//     smaller image of the upload's own format); an unknown id -> 404
// and fails on purpose when told to (ServiceMode, DownloadMode, set_location_base). Large
// answers are generated as they are sent, never held in memory. Pages set with set_page answer
// any method on their path, for tests of the HTTP layer itself. Every request is recorded.
#pragma once

#include <atomic>
#include <chrono>
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
    QuotaExceeded,   // 429 TooManyRequests
    ServerError,     // 503 with a plain-text body
    ServerErrorOnce, // 503 for the next shrink, then Normal again
    HugeAnswer,      // 201 whose body runs on for 1 GiB, its length not announced
    TrickleUpload,   // reads the upload a few bytes at a time, a few hundred bytes a second
    RefuseType,      // 415 for every upload, as for a format the service does not take
};

enum class DownloadMode {
    Normal,
    CutHalfway,      // announces the full length, sends half the bytes and closes
    Stall,           // sends half the bytes, then nothing until the client gives up
    ErrorPage,       // 500 with an HTML page
    HtmlPage,        // 200 with an HTML page
    ZeroFlood,       // 200 with 300 MiB of zero bytes, its length announced
    ZeroStream,      // the same without a length: the body ends when the connection does
    OtherKind,       // 200 with a real image of the other format (PNG for JPEG, JPEG for PNG)
    BrokenImage,     // 200 with the right signature followed by bytes that do not decode
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
    std::chrono::steady_clock::time_point received;           // when its head had arrived

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
    // Locations then begin with base instead of base_url() ("" restores base_url()).
    void set_location_base(const std::string& base);
    void set_page(const std::string& path, Page page);

    std::vector<RecordedRequest> requests() const;
    std::vector<RecordedRequest> requests_to(const std::string& method, const std::string& path_prefix) const;
    int compression_count() const { return compression_count_; }

    // The bytes the double hands back for an upload: the upload compressed in its own format
    // (smaller, and decodable), or the upload itself when compressing does not make it
    // smaller; "" for an upload that is no decodable JPEG, PNG, WebP or AVIF.
    static std::string compressed_form(const std::string& upload);

    // A generated PNG (or, with jpeg, a JPEG) of that size that compressed_form makes smaller.
    static std::string sample_upload(int width = 64, int height = 48, bool jpeg = false);

private:
    struct Answer {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        Delivery delivery = Delivery::Whole;
        // When not 0, the body is this many copies of filler, made as it is sent.
        std::uint64_t generated_length = 0;
        char filler = '\0';
        bool announce_length = true;
    };

    void serve();
    void handle_connection(int connection);
    Answer answer(const RecordedRequest& request);
    Answer shrink(const RecordedRequest& request);
    Answer download(const std::string& id);
    void send_answer(int connection, const Answer& answer);
    void send_generated(int connection, const Answer& answer);
    void trickle_until_closed(int connection);
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
    std::string location_base_;
};

} // namespace pictavo
