// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/compression_client.h"

#include "image/image_load.h"
#include "image/plugins.h"
#include "service_double.h"
#include "test_folder.h"
#include "web/http.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace pictavo {
namespace {

TEST(CompressionCredential, Base64WithoutPadding)
{
    EXPECT_EQ(base64_unpadded(""), "");
    EXPECT_EQ(base64_unpadded("f"), "Zg");
    EXPECT_EQ(base64_unpadded("fo"), "Zm8");
    EXPECT_EQ(base64_unpadded("foo"), "Zm9v");
    EXPECT_EQ(base64_unpadded("foob"), "Zm9vYg");
    EXPECT_EQ(base64_unpadded("fooba"), "Zm9vYmE");
    EXPECT_EQ(base64_unpadded("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64_unpadded(std::string("\xff\xfe\xfd\x00\x3f", 5)), "//79AD8");

    const std::string key(32, 'K');
    const std::string credential = service_credential(key);
    EXPECT_EQ(credential.size(), 48u);
    EXPECT_EQ(credential, base64_unpadded("api:" + key));
    // 29 ASCII characters and one two-byte character: "api:" + key is 35 bytes.
    const std::string short_form = service_credential(std::string(29, 'k') + "\xC3\xA9");
    EXPECT_EQ(short_form.size(), 47u);
    EXPECT_EQ(short_form.find('='), std::string::npos);
    EXPECT_EQ(service_credential(ServiceDouble::default_key), "YXBpOlRxM3ZYdzhrTG0yUHo3UmI5TmM0SGQ2SmYxR3M1WWEw");
}

TEST(CompressionLocation, PrefixAndExtraction)
{
    EXPECT_EQ(location_prefix("https://api.tinify.com/shrink"), "https://api");
    EXPECT_EQ(location_prefix("http://127.0.0.1:8080/shrink"), "http://127");
    EXPECT_EQ(location_prefix("http://localhost:9/shrink"), "http://localhost");
    EXPECT_EQ(location_prefix("api.tinify.com/shrink"), "");

    const std::string body = R"({"input":{"size":91733,"type":"image/png"},"output":{"size":23711,"type":"image/png",)"
                             R"("width":750,"height":1334,"ratio":0.2585,"url":"https://api.tinify.com/output/abc123"}})";
    EXPECT_EQ(extract_location(body, "https://api"), "https://api.tinify.com/output/abc123");
    // No end mark: nothing.
    EXPECT_EQ(extract_location(R"({"url":"https://api.tinify.com/output/x"} })", "https://api"), "");
    // No prefix, "}}" at position 40: the first 39 characters.
    const std::string no_prefix = std::string(39, 'b') + "}}tail";
    EXPECT_EQ(extract_location(no_prefix, "https://api"), std::string(39, 'b'));
    // The end mark before the prefix: nothing.
    EXPECT_EQ(extract_location(R"(}}"https://api.x/y")", "https://api"), "");
}

TEST(CompressionLocation, MustHaveTheEndpointsSchemeHostAndPort)
{
    const struct {
        const char* endpoint;
        const char* location;
        bool matches;
    } cases[] = {
        {"https://api.tinify.com/shrink", "https://api.tinify.com/output/abc", true},
        {"https://api.tinify.com/shrink", "HTTPS://API.Tinify.com:443/output/abc", true},
        {"https://api.tinify.com/shrink", "https://api.tinify.com:8443/output/abc", false},
        {"https://api.tinify.com/shrink", "http://api.tinify.com/output/abc", false},
        {"https://api.tinify.com/shrink", "https://api.anything.example/output/abc", false},
        {"https://api.tinify.com/shrink", "https://api.tinify.com.evil.example/output/abc", false},
        {"https://api.tinify.com/shrink", "https://user@api.tinify.com/output/abc", false},
        {"https://api.tinify.com/shrink", "https://api.tinify.com@evil.example/output/abc", false},
        {"https://api.tinify.com/shrink", "https://api.tinify.com /output/abc", false},
        {"http://127.0.0.1:8080/shrink", "http://127.0.0.1:8080/output/x", true},
        {"http://127.0.0.1:8080/shrink", "http://127@127.0.0.1:8080/output/x", false},
        {"http://127.0.0.1:8080/shrink", "http://127.0.0.1/output/x", false},
        {"http://127.0.0.1:8080/shrink", "http://127.0.0.2:8080/output/x", false},
        {"http://localhost/shrink", "http://localhost:80/output/x", true},
        {"ftp://localhost/shrink", "ftp://localhost/output/x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(location_matches_endpoint(c.location, c.endpoint), c.matches) << c.endpoint << " " << c.location;
}

class CompressionExchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(network_start(), 1);
        register_jpeg_and_png_codecs();
        ASSERT_TRUE(service.start());
        folder.write("out/photo.png", original);
        request.upload_path = request.result_path = folder.path("out/photo.png");
        request.api_key = ServiceDouble::default_key;
        request.shrink_endpoint = service.shrink_url();
    }
    void TearDown() override
    {
        http_set_stall_limit(0, 0);
        compression_set_time_limit(0);
    }

    // The output as the image job wrote it, and nothing else in its folder.
    void expect_output_untouched(const std::string& what)
    {
        EXPECT_EQ(folder.read("out/photo.png"), original) << what;
        EXPECT_EQ(folder.entries("out"), std::vector<std::string> {"photo.png"}) << what;
    }

    std::size_t shrinks() const { return service.requests_to("POST", "/shrink").size(); }
    std::size_t downloads() const { return service.requests_to("GET", "/").size(); }

    ServiceDouble service;
    TestFolder folder;
    const std::string original = ServiceDouble::sample_upload(96, 64);
    CompressionRequest request;
};

TEST_F(CompressionExchange, SuccessReplacesTheOutputWithTheCompressedImage)
{
    folder.write("in/photo.jpg", ServiceDouble::sample_upload(80, 60, true));
    for (const char* name : {"photo.png", "photo.jpg"}) {
        const std::string upload = folder.read(std::string(name) == "photo.png" ? "out/photo.png" : "in/photo.jpg");
        request.upload_path = folder.path(std::string(name) == "photo.png" ? "out/photo.png" : "in/photo.jpg");
        request.result_path = folder.path(std::string("out/") + name);
        const CompressionResult result = compress_file(request);
        ASSERT_TRUE(result.ok()) << name << " " << static_cast<int>(result.failure);
        EXPECT_EQ(result.compression_count, service.compression_count()) << name;

        // What arrived is the double's answer: a smaller image of the same kind and size.
        const std::string output = folder.read(std::string("out/") + name);
        EXPECT_EQ(output, ServiceDouble::compressed_form(upload)) << name;
        EXPECT_LT(output.size(), upload.size()) << name;
        ImageObject sent, received;
        ASSERT_EQ(image_decode(upload.data(), upload.size(), sent), ImageError::None) << name;
        ASSERT_EQ(image_decode(output.data(), output.size(), received), ImageError::None) << name;
        EXPECT_EQ(received.plugin_code, sent.plugin_code) << name;
        EXPECT_EQ(received.width, sent.width) << name;
        EXPECT_EQ(received.height, sent.height) << name;
    }
    EXPECT_EQ(service.compression_count(), 2);
    EXPECT_EQ(folder.read("in/photo.jpg").substr(0, 3), "\xFF\xD8\xFF"); // the upload itself stays
    EXPECT_EQ(folder.entries("out"), (std::vector<std::string> {"photo.jpg", "photo.png"}));

    const auto sent = service.requests_to("POST", "/shrink");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].header("Authorization"), "Basic " + service_credential(ServiceDouble::default_key));
    EXPECT_EQ(sent[0].header("Content-Type"), "application/octet-stream");
    EXPECT_EQ(sent[0].header("User-Agent"), "Mozilla/5.0 Gecko/41.0 Firefox/41.0");
    EXPECT_EQ(sent[0].body, original);
    const auto fetched = service.requests_to("GET", "/output/");
    ASSERT_EQ(fetched.size(), 2u);
    EXPECT_FALSE(fetched[0].has_header("Authorization"));
}

TEST_F(CompressionExchange, RefusedShrinkDownloadsNothing)
{
    const std::string port = std::to_string(service.port());
    const struct {
        const char* what;
        ServiceMode mode;
        std::string location_base; // "" for the double's own
        std::string key;
        CompressionFailure failure;
        int status;
        std::size_t attempts;
    } cases[] = {
        {"200 instead of 201", ServiceMode::Status200, "", "", CompressionFailure::Refused, 200, 1},
        {"no end mark", ServiceMode::NoEndMark, "", "", CompressionFailure::NoLocation, 201, 1},
        {"429, not tried again", ServiceMode::QuotaExceeded, "", "", CompressionFailure::MonthlyLimit, 429, 1},
        {"401, not tried again", ServiceMode::Normal, "", std::string(32, 'W'), CompressionFailure::KeyRefused, 401, 1},
        {"503, tried once more", ServiceMode::ServerError, "", "", CompressionFailure::Refused, 503, 2},
        {"1 GiB answer body", ServiceMode::HugeAnswer, "", "", CompressionFailure::AnswerTooLarge, 0, 1},
        {"other host", ServiceMode::Normal, "http://127.0.0.2:" + port, "", CompressionFailure::NoLocation, 201, 1},
        {"other port", ServiceMode::Normal, "http://127.0.0.1:1", "", CompressionFailure::NoLocation, 201, 1},
        {"user-info", ServiceMode::Normal, "http://127@127.0.0.1:" + port, "", CompressionFailure::NoLocation, 201, 1},
        {"user-info, other host", ServiceMode::Normal, "http://127@localhost:" + port, "", CompressionFailure::NoLocation,
         201, 1},
    };
    for (const auto& c : cases) {
        service.set_service_mode(c.mode);
        service.set_location_base(c.location_base);
        request.api_key = c.key.empty() ? ServiceDouble::default_key : c.key;
        const std::size_t before = shrinks();
        const CompressionResult result = compress_file(request);
        EXPECT_EQ(result.failure, c.failure) << c.what;
        EXPECT_EQ(result.http_status, c.status) << c.what;
        EXPECT_EQ(shrinks() - before, c.attempts) << c.what;
        EXPECT_EQ(downloads(), 0u) << c.what;
        expect_output_untouched(c.what);
    }

    // The monthly limit's answer carries the counter as well.
    service.set_service_mode(ServiceMode::Normal);
    service.set_location_base("");
    request.api_key = ServiceDouble::default_key;
    ASSERT_TRUE(compress_file(request).ok());
    service.set_service_mode(ServiceMode::QuotaExceeded);
    EXPECT_EQ(compress_file(request).compression_count, service.compression_count());

    folder.write("out/photo.png", "not an image");
    service.set_service_mode(ServiceMode::Normal);
    const CompressionResult not_image = compress_file(request);
    EXPECT_EQ(not_image.failure, CompressionFailure::Refused);
    EXPECT_EQ(not_image.http_status, 415);
    EXPECT_EQ(folder.read("out/photo.png"), "not an image");
}

TEST_F(CompressionExchange, ServerErrorIsTriedOnceMoreAfterAPause)
{
    service.set_service_mode(ServiceMode::ServerErrorOnce);
    const CompressionResult result = compress_file(request);
    EXPECT_TRUE(result.ok()) << static_cast<int>(result.failure);
    EXPECT_EQ(result.compression_count, 1);
    const auto sent = service.requests_to("POST", "/shrink");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_GE(sent[1].received - sent[0].received, std::chrono::milliseconds(500));
    EXPECT_EQ(folder.read("out/photo.png"), ServiceDouble::compressed_form(original));
}

TEST_F(CompressionExchange, OnlyAnImageOfTheUploadsKindReplacesTheOutput)
{
    http_set_stall_limit(100000, 1);
    const struct {
        DownloadMode mode;
        CompressionFailure failure;
        std::size_t attempts;
    } cases[] = {
        {DownloadMode::HtmlPage, CompressionFailure::BadDownload, 1},
        {DownloadMode::ZeroFlood, CompressionFailure::BadDownload, 1},
        {DownloadMode::ZeroStream, CompressionFailure::BadDownload, 1},
        {DownloadMode::OtherKind, CompressionFailure::BadDownload, 1},
        {DownloadMode::BrokenImage, CompressionFailure::BadDownload, 1},
        {DownloadMode::ErrorPage, CompressionFailure::DownloadFailed, 2},
        {DownloadMode::CutHalfway, CompressionFailure::DownloadFailed, 2},
        {DownloadMode::Stall, CompressionFailure::DownloadFailed, 1},
    };
    for (const auto& c : cases) {
        service.set_download_mode(c.mode);
        const std::size_t before = downloads();
        const CompressionResult result = compress_file(request);
        const std::string what = "download mode " + std::to_string(static_cast<int>(c.mode));
        EXPECT_EQ(result.failure, c.failure) << what;
        EXPECT_EQ(downloads() - before, c.attempts) << what;
        expect_output_untouched(what);
    }
}

TEST_F(CompressionExchange, TrickledUploadEndsAtTheTimeLimit)
{
    // Far more than the kernel's buffers take, sent at a pace that the stall limit accepts.
    folder.write("out/large.png", original + std::string(8 << 20, '\x42'));
    request.upload_path = request.result_path = folder.path("out/large.png");
    service.set_service_mode(ServiceMode::TrickleUpload);
    compression_set_time_limit(1000);
    const auto started = std::chrono::steady_clock::now();
    const CompressionResult result = compress_file(request);
    EXPECT_EQ(result.failure, CompressionFailure::NoAnswer);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30)); // not the 60 s stall abort
    EXPECT_EQ(downloads(), 0u);
    EXPECT_EQ(folder.read("out/large.png").size(), original.size() + (8u << 20));
}

TEST_F(CompressionExchange, WorkersExchangeAtOnce)
{
    constexpr int workers = 4;
    std::vector<std::string> uploads;
    for (int i = 0; i < workers * 2; ++i) {
        uploads.push_back(ServiceDouble::sample_upload(40 + i, 30 + i, i % 2 == 1));
        folder.write("par/" + std::to_string(i) + ".img", uploads.back());
    }
    std::vector<CompressionResult> results(uploads.size());
    std::vector<std::thread> threads;
    for (int worker = 0; worker < workers; ++worker)
        threads.emplace_back([&, worker] {
            for (std::size_t i = static_cast<std::size_t>(worker); i < uploads.size(); i += workers) {
                CompressionRequest own = request;
                own.upload_path = own.result_path = folder.path("par/" + std::to_string(i) + ".img");
                results[i] = compress_file(own);
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (std::size_t i = 0; i < uploads.size(); ++i) {
        EXPECT_TRUE(results[i].ok()) << i;
        EXPECT_EQ(folder.read("par/" + std::to_string(i) + ".img"), ServiceDouble::compressed_form(uploads[i])) << i;
    }
    EXPECT_EQ(service.compression_count(), workers * 2);
}

TEST_F(CompressionExchange, UnreadableUploadIsNotSentAndAnUnwritableResultIsSaid)
{
    request.result_path = folder.path("gone/photo.png");
    EXPECT_EQ(compress_file(request).failure, CompressionFailure::ResultNotWritten);
    expect_output_untouched("result in a missing folder");
    const std::size_t sent = shrinks();


    request.upload_path = request.result_path = folder.path("out/missing.png");
    EXPECT_EQ(compress_file(request).failure, CompressionFailure::UploadUnreadable);
    EXPECT_FALSE(folder.exists("out/missing.png")); // never created

    folder.make_folder("out/folder.png");
    request.upload_path = request.result_path = folder.path("out/folder.png");
    EXPECT_EQ(compress_file(request).failure, CompressionFailure::UploadUnreadable);
    EXPECT_EQ(shrinks(), sent);
}

// The numbered worker is a thin layer: its flag follows compress_file's result.
TEST_F(CompressionExchange, WorkerFlagFollowsTheResult)
{
    std::atomic<int> error_flag {1};
    CompressionTask task;
    task.upload_path = task.result_path = request.upload_path;
    task.api_key = request.api_key;
    task.shrink_endpoint = request.shrink_endpoint;
    task.error_flag = &error_flag;
    run_compression(task);
    EXPECT_EQ(error_flag, 0);
    EXPECT_EQ(folder.read("out/photo.png"), ServiceDouble::compressed_form(original));

    service.stop();
    run_compression(task);
    EXPECT_EQ(error_flag, 1);
    task.shrink_endpoint = "";
    error_flag = 0;
    run_compression(task);
    EXPECT_EQ(error_flag, 1);
}

} // namespace
} // namespace pictavo
