// SPDX-License-Identifier: GPL-3.0-or-later
#include "service_double.h"

#include "double_codec.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <algorithm>
#include <strings.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace pictavo {
namespace {

constexpr std::size_t header_limit = 1 << 20;
constexpr std::size_t body_limit = 256u << 20;
constexpr int stall_limit_ms = 30000;
constexpr std::uint64_t huge_answer_length = 1ull << 30;
constexpr std::uint64_t zero_flood_length = 300ull << 20;
// The trickle: this many bytes per pause, with a receive buffer too small to take the upload.
constexpr std::size_t trickle_bytes = 16;
constexpr int trickle_pause_ms = 25;
constexpr int trickle_receive_buffer = 4096;

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool send_all(int connection, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(connection, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads from the connection into buffer until it holds at least size bytes.
bool fill(int connection, std::string& buffer, std::size_t size)
{
    char chunk[65536];
    while (buffer.size() < size) {
        const ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

std::string trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Parses the request line and header lines; false when malformed.
bool parse_head(const std::string& head, RecordedRequest& request)
{
    std::size_t line_start = 0;
    bool first = true;
    while (line_start < head.size()) {
        auto line_end = head.find("\r\n", line_start);
        if (line_end == std::string::npos)
            line_end = head.size();
        const std::string line = head.substr(line_start, line_end - line_start);
        line_start = line_end + 2;
        if (first) {
            const auto space = line.find(' ');
            const auto second = line.find(' ', space + 1);
            if (space == std::string::npos || second == std::string::npos)
                return false;
            request.method = line.substr(0, space);
            request.path = line.substr(space + 1, second - space - 1);
            first = false;
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            return false;
        request.headers.emplace_back(line.substr(0, colon), trim(line.substr(colon + 1)));
    }
    return !first;
}

// Decodes a chunked body that starts at buffer[offset]; reads more as needed.
bool read_chunked(int connection, std::string& buffer, std::size_t offset, std::string& body)
{
    for (;;) {
        std::size_t line_end;
        while ((line_end = buffer.find("\r\n", offset)) == std::string::npos)
            if (buffer.size() - offset > 64 || !fill(connection, buffer, buffer.size() + 1))
                return false;
        const unsigned long size = std::strtoul(buffer.c_str() + offset, nullptr, 16);
        offset = line_end + 2;
        if (size > body_limit || body.size() + size > body_limit)
            return false;
        if (!fill(connection, buffer, offset + size + 2))
            return false;
        if (size == 0)
            return true; // no trailers are sent by the clients under test
        body.append(buffer, offset, size);
        offset += size + 2;
    }
}

// Reads the request line and headers; body_start is where the body begins in buffer.
bool read_head(int connection, std::string& buffer, RecordedRequest& request, std::size_t& body_start)
{
    std::size_t head_end;
    while ((head_end = buffer.find("\r\n\r\n")) == std::string::npos)
        if (buffer.size() > header_limit || !fill(connection, buffer, buffer.size() + 1))
            return false;
    request.received = std::chrono::steady_clock::now();
    body_start = head_end + 4;
    return parse_head(buffer.substr(0, head_end), request);
}

bool read_body(int connection, std::string& buffer, std::size_t body_start, RecordedRequest& request)
{
    if (request.header("Expect") == "100-continue" && !send_all(connection, "HTTP/1.1 100 Continue\r\n\r\n"))
        return false;
    if (::strcasecmp(request.header("Transfer-Encoding").c_str(), "chunked") == 0) {
        request.chunked = true;
        return read_chunked(connection, buffer, body_start, request.body);
    }
    const unsigned long long length = std::strtoull(request.header("Content-Length").c_str(), nullptr, 10);
    if (length > body_limit || !fill(connection, buffer, body_start + length))
        return false;
    request.body = buffer.substr(body_start, length);
    return true;
}

int base64_value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Decodes standard Base64, with or without the "=" padding; "" plus false when invalid.
bool base64_decode(const std::string& text, std::string& out)
{
    unsigned int bits = 0;
    int count = 0;
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == '=')
        --end;
    for (std::size_t i = 0; i < end; ++i) {
        const int value = base64_value(text[i]);
        if (value < 0)
            return false;
        bits = (bits << 6) | static_cast<unsigned int>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return true;
}

std::string image_type(const std::string& bytes)
{
    switch (image_kind(bytes)) {
    case ImageKind::Jpeg: return "image/jpeg";
    case ImageKind::Png: return "image/png";
    case ImageKind::Webp: return "image/webp";
    case ImageKind::Avif: return "image/avif";
    case ImageKind::None: break;
    }
    return {};
}

unsigned int big_endian(const std::string& bytes, std::size_t at, int count)
{
    unsigned int value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// Width and height from a PNG header or a JPEG frame header; 0 x 0 when not found.
std::pair<unsigned int, unsigned int> image_size(const std::string& bytes)
{
    if (image_type(bytes) == "image/png")
        return bytes.size() >= 24 ? std::pair(big_endian(bytes, 16, 4), big_endian(bytes, 20, 4))
                                  : std::pair(0u, 0u);
    std::size_t at = 2;
    while (at + 9 <= bytes.size() && static_cast<unsigned char>(bytes[at]) == 0xFF) {
        const unsigned int marker = static_cast<unsigned char>(bytes[at + 1]);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame)
            return {big_endian(bytes, at + 7, 2), big_endian(bytes, at + 5, 2)};
        at += 2 + big_endian(bytes, at + 2, 2);
    }
    return {0, 0};
}

std::string random_id()
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator {std::random_device {}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
    std::string id;
    for (int i = 0; i < 32; ++i)
        id.push_back(alphabet[pick(generator)]);
    return id;
}

std::string json_error(const std::string& error, const std::string& message)
{
    return "{\"error\":\"" + error + "\",\"message\":\"" + message + "\"}";
}

const char* reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 415: return "Unsupported Media Type";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

} // namespace

std::string RecordedRequest::header(const std::string& name) const
{
    for (const auto& [key, value] : headers)
        if (::strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    return {};
}

bool RecordedRequest::has_header(const std::string& name) const
{
    for (const auto& entry : headers)
        if (::strcasecmp(entry.first.c_str(), name.c_str()) == 0)
            return true;
    return false;
}

ServiceDouble::ServiceDouble(std::string api_key) : api_key_(std::move(api_key)) {}

ServiceDouble::~ServiceDouble() { stop(); }

bool ServiceDouble::start()
{
    if (listener_ >= 0)
        return true;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return false;
    }
    listener_ = fd;
    port_ = ntohs(address.sin_port);
    stopping_ = false;
    server_ = std::thread(&ServiceDouble::serve, this);
    return true;
}

void ServiceDouble::stop()
{
    stopping_ = true;
    if (server_.joinable())
        server_.join();
    if (listener_ >= 0)
        ::close(listener_);
    listener_ = -1;
}

std::string ServiceDouble::base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string ServiceDouble::shrink_url() const { return base_url() + "/shrink"; }

void ServiceDouble::set_page(const std::string& path, Page page)
{
    std::lock_guard lock(mutex_);
    pages_[path] = std::move(page);
}

std::vector<RecordedRequest> ServiceDouble::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<RecordedRequest> ServiceDouble::requests_to(const std::string& method, const std::string& path_prefix) const
{
    std::vector<RecordedRequest> found;
    for (auto& request : requests())
        if (request.method == method && request.path.rfind(path_prefix, 0) == 0)
            found.push_back(std::move(request));
    return found;
}

void ServiceDouble::set_location_base(const std::string& base)
{
    std::lock_guard lock(mutex_);
    location_base_ = base;
}

std::string ServiceDouble::compressed_form(const std::string& upload) { return shrink_image(upload); }

std::string ServiceDouble::sample_upload(int width, int height, bool jpeg)
{
    return sample_image(jpeg ? ImageKind::Jpeg : ImageKind::Png, width, height);
}

void ServiceDouble::serve()
{
    while (!stopping_) {
        pollfd waiting {listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0)
            continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0)
            handle_connection(connection);
    }
}

void ServiceDouble::handle_connection(int connection)
{
    Socket owner(connection);
    timeval timeout {5, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    RecordedRequest request;
    std::string buffer;
    std::size_t body_start = 0;
    if (!read_head(connection, buffer, request, body_start))
        return;
    const bool trickle = service_mode_ == ServiceMode::TrickleUpload && request.method == "POST";
    if (!trickle && !read_body(connection, buffer, body_start, request))
        return;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    if (trickle)
        trickle_until_closed(connection);
    else
        send_answer(connection, answer(request));
}

// Takes the upload so slowly that it never ends, but never so slowly that it stalls.
void ServiceDouble::trickle_until_closed(int connection)
{
    ::setsockopt(connection, SOL_SOCKET, SO_RCVBUF, &trickle_receive_buffer, sizeof trickle_receive_buffer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(stall_limit_ms);
    char chunk[trickle_bytes];
    while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
        pollfd peer {connection, POLLIN, 0};
        ::poll(&peer, 1, trickle_pause_ms);
        const ssize_t got = ::recv(connection, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(trickle_pause_ms));
    }
}

ServiceDouble::Answer ServiceDouble::answer(const RecordedRequest& request)
{
    {
        std::lock_guard lock(mutex_);
        const auto page = pages_.find(request.path);
        if (page != pages_.end()) {
            Answer found {page->second.status, page->second.headers, page->second.body, page->second.delivery};
            found.headers.emplace_back("Content-Type", page->second.content_type);
            return found;
        }
    }
    if (request.method == "POST" && request.path == "/shrink")
        return shrink(request);
    if (request.method == "GET" && request.path.rfind("/output/", 0) == 0)
        return download(request.path.substr(8));
    return {404, {{"Content-Type", "text/plain"}}, "Not found\n"};
}

ServiceDouble::Answer ServiceDouble::shrink(const RecordedRequest& request)
{
    const std::string json = "application/json";
    const std::string authorization = request.header("Authorization");
    std::string credential;
    if (authorization.rfind("Basic ", 0) != 0 || !base64_decode(authorization.substr(6), credential)
        || credential != "api:" + api_key_)
        return {401, {{"Content-Type", json}}, json_error("Unauthorized", "Credentials are invalid.")};

    const Answer unavailable {503, {{"Content-Type", "text/plain"}}, "Service temporarily unavailable, try again later.\n"};
    ServiceMode once = ServiceMode::ServerErrorOnce;
    if (service_mode_.compare_exchange_strong(once, ServiceMode::Normal))
        return unavailable;
    switch (service_mode_.load()) {
    case ServiceMode::QuotaExceeded:
        return {429,
                {{"Compression-Count", std::to_string(compression_count_.load())}, {"Content-Type", json}},
                json_error("TooManyRequests", "Your monthly limit has been exceeded.")};
    case ServiceMode::ServerError: return unavailable;
    case ServiceMode::HugeAnswer: {
        Answer huge {201, {{"Content-Type", json}}, {}};
        huge.generated_length = huge_answer_length;
        huge.filler = ' ';
        huge.announce_length = false;
        return huge;
    }
    default: break;
    }

    const std::string type = image_type(request.body);
    if (type.empty() || service_mode_ == ServiceMode::RefuseType)
        return {415, {{"Content-Type", json}}, json_error("Unsupported media type", "File type is not supported.")};
    const std::string output = compressed_form(request.body);
    if (output.empty())
        return {400, {{"Content-Type", json}}, json_error("Decode error", "File could not be decoded.")};

    const std::string id = random_id();
    std::string host;
    {
        std::lock_guard lock(mutex_);
        outputs_[id] = output;
        host = location_base_.empty() ? base_url() : location_base_;
    }
    const int count = ++compression_count_;
    const std::string location = host + "/output/" + id;
    const auto [width, height] = image_size(request.body);
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.4f",
                  static_cast<double>(output.size()) / static_cast<double>(request.body.size()));
    const std::string closing = service_mode_ == ServiceMode::NoEndMark ? "} }" : "}}";
    const std::string body = "{\"input\":{\"size\":" + std::to_string(request.body.size()) + ",\"type\":\"" + type
        + "\"},\"output\":{\"size\":" + std::to_string(output.size()) + ",\"type\":\"" + type
        + "\",\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) + ",\"ratio\":" + ratio
        + ",\"url\":\"" + location + "\"" + closing;
    return {service_mode_ == ServiceMode::Status200 ? 200 : 201,
            {{"Compression-Count", std::to_string(count)}, {"Content-Type", json}, {"Location", location}},
            body};
}

ServiceDouble::Answer ServiceDouble::download(const std::string& id)
{
    std::string bytes;
    {
        std::lock_guard lock(mutex_);
        const auto output = outputs_.find(id);
        if (output == outputs_.end())
            return {404, {{"Content-Type", "application/json"}}, json_error("NotFound", "Output not found.")};
        bytes = output->second;
    }
    const std::string type = image_type(bytes);
    const auto page = [](int status, const std::string& title) {
        return Answer {status, {{"Content-Type", "text/html"}}, "<html><body><h1>" + title + "</h1></body></html>\n"};
    };
    const auto flood = [](bool announce) {
        Answer zeros {200, {{"Content-Type", "application/octet-stream"}}, {}};
        zeros.generated_length = zero_flood_length;
        zeros.announce_length = announce;
        return zeros;
    };
    switch (download_mode_.load()) {
    case DownloadMode::CutHalfway: return {200, {{"Content-Type", type}}, bytes, Delivery::CutHalfway};
    case DownloadMode::Stall: return {200, {{"Content-Type", type}}, bytes, Delivery::Stall};
    case DownloadMode::ErrorPage: return page(500, "Internal Server Error");
    case DownloadMode::HtmlPage: return page(200, "Your image is ready");
    case DownloadMode::ZeroFlood: return flood(true);
    case DownloadMode::ZeroStream: return flood(false);
    case DownloadMode::OtherKind: {
        const bool jpeg = image_kind(bytes) == ImageKind::Jpeg;
        return {200, {{"Content-Type", jpeg ? "image/png" : "image/jpeg"}}, sample_upload(8, 8, !jpeg)};
    }
    case DownloadMode::BrokenImage: {
        std::string broken = bytes.substr(0, 8);
        broken.append(bytes.size() - broken.size(), '\x55');
        return {200, {{"Content-Type", type}}, broken};
    }
    case DownloadMode::Normal: break;
    }
    return {200, {{"Content-Type", type}}, bytes};
}

void ServiceDouble::send_answer(int connection, const Answer& answer)
{
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + reason(answer.status) + "\r\n";
    for (const auto& [name, value] : answer.headers)
        head += name + ": " + value + "\r\n";
    if (answer.announce_length)
        head += "Content-Length: "
            + std::to_string(answer.generated_length ? answer.generated_length : answer.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    if (answer.generated_length) {
        if (send_all(connection, head))
            send_generated(connection, answer);
        return;
    }
    if (answer.delivery == Delivery::Whole) {
        send_all(connection, head + answer.body);
        return;
    }
    if (!send_all(connection, head + answer.body.substr(0, answer.body.size() / 2)))
        return;
    if (answer.delivery == Delivery::Stall)
        wait_until_closed(connection);
}

// Sends the generated body until it is complete or the client stops taking it.
void ServiceDouble::send_generated(int connection, const Answer& answer)
{
    const std::string chunk(64 * 1024, answer.filler);
    for (std::uint64_t left = answer.generated_length; left > 0 && !stopping_;) {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        if (!send_all(connection, size == chunk.size() ? chunk : chunk.substr(0, size)))
            return;
        left -= size;
    }
}

// Holds a stalled answer open until the client gives up, the double stops or 30 s pass.
void ServiceDouble::wait_until_closed(int connection)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(stall_limit_ms);
    while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
        pollfd peer {connection, POLLIN | POLLRDHUP, 0};
        if (::poll(&peer, 1, 50) > 0) {
            char byte;
            if (::recv(connection, &byte, 1, MSG_DONTWAIT) <= 0)
                return;
        }
    }
}

} // namespace pictavo
