// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/compression_client.h"

#include "service_double.h"
#include "test_folder.h"
#include "web/http.h"

#include <gtest/gtest.h>

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

class CompressionExchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(network_start(), 1);
        ASSERT_TRUE(service.start());
        folder.write("out/photo.png", original);
        task.upload_path = task.result_path = folder.path("out/photo.png");
        task.api_key = ServiceDouble::default_key;
        task.shrink_endpoint = service.shrink_url();
        task.error_flag = &error_flag;
    }
    void TearDown() override { http_set_stall_limit(0, 0); }

    // The output as the image job wrote it, and nothing else in its folder.
    void expect_output_untouched()
    {
        EXPECT_EQ(folder.read("out/photo.png"), original);
        EXPECT_EQ(folder.entries("out"), std::vector<std::string> {"photo.png"});
    }

    std::size_t downloads() const { return service.requests_to("GET", "/").size(); }

    ServiceDouble service;
    TestFolder folder;
    const std::string original = ServiceDouble::sample_upload(3000);
    std::atomic<int> error_flag {0};
    CompressionTask task;
};

TEST_F(CompressionExchange, SuccessReplacesTheOutputWithTheDownload)
{
    error_flag = 1; // a success clears the flag
    run_compression(task);
    EXPECT_EQ(error_flag, 0);
    EXPECT_EQ(folder.read("out/photo.png"), ServiceDouble::compressed_form(original));
    EXPECT_EQ(folder.entries("out"), std::vector<std::string> {"photo.png"});

    const auto shrinks = service.requests_to("POST", "/shrink");
    ASSERT_EQ(shrinks.size(), 1u);
    EXPECT_EQ(shrinks[0].header("Authorization"), "Basic " + service_credential(ServiceDouble::default_key));
    EXPECT_EQ(shrinks[0].header("Content-Type"), "application/octet-stream");
    EXPECT_EQ(shrinks[0].header("User-Agent"), "Mozilla/5.0 Gecko/41.0 Firefox/41.0");
    EXPECT_EQ(shrinks[0].body, original);
    const auto fetched = service.requests_to("GET", "/output/");
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_FALSE(fetched[0].has_header("Authorization"));
}

TEST_F(CompressionExchange, SeparateResultAndLargeUpload)
{
    const std::string large = ServiceDouble::sample_upload(1500000);
    folder.write("in/big.png", large);
    task.upload_path = folder.path("in/big.png");
    task.result_path = folder.path("out/big.png");
    run_compression(task);
    EXPECT_EQ(error_flag, 0);
    EXPECT_EQ(folder.read("in/big.png"), large);
    EXPECT_EQ(folder.read("out/big.png"), ServiceDouble::compressed_form(large));
    EXPECT_EQ(service.requests_to("POST", "/shrink").at(0).body.size(), large.size());
}

TEST_F(CompressionExchange, RefusedShrinkSetsTheFlagAndDownloadsNothing)
{
    const struct {
        ServiceMode mode;
        const char* what;
    } cases[] = {
        {ServiceMode::Status200, "200 instead of 201"},
        {ServiceMode::NoEndMark, "no end mark"},
        {ServiceMode::ForeignLocation, "location with another prefix"},
        {ServiceMode::QuotaExceeded, "429"},
        {ServiceMode::ServerError, "503"},
    };
    for (const auto& c : cases) {
        service.set_service_mode(c.mode);
        error_flag = 0;
        run_compression(task);
        EXPECT_EQ(error_flag, 1) << c.what;
        expect_output_untouched();
        EXPECT_EQ(downloads(), 0u) << c.what;
    }
    EXPECT_EQ(service.requests_to("POST", "/shrink").size(), std::size(cases));

    service.set_service_mode(ServiceMode::Normal);
    error_flag = 0;
    task.api_key = std::string(32, 'W');
    run_compression(task);
    EXPECT_EQ(error_flag, 1) << "401";
    expect_output_untouched();

    task.api_key = ServiceDouble::default_key;
    folder.write("out/photo.png", "not an image");
    error_flag = 0;
    run_compression(task);
    EXPECT_EQ(error_flag, 1) << "415";
    EXPECT_EQ(folder.read("out/photo.png"), "not an image");
    EXPECT_EQ(downloads(), 0u);
}

TEST_F(CompressionExchange, FailedDownloadKeepsTheOutput)
{
    http_set_stall_limit(100000, 1);
    for (const auto mode : {DownloadMode::CutHalfway, DownloadMode::ErrorPage, DownloadMode::Stall}) {
        service.set_download_mode(mode);
        error_flag = 0;
        run_compression(task);
        EXPECT_EQ(error_flag, 1) << static_cast<int>(mode);
        expect_output_untouched();
    }
    EXPECT_EQ(downloads(), 3u);
}

TEST_F(CompressionExchange, UnreadableUploadIsNotSent)
{
    task.upload_path = task.result_path = folder.path("out/missing.png");
    run_compression(task);
    EXPECT_EQ(error_flag, 1);
    EXPECT_FALSE(folder.exists("out/missing.png")); // never created

    folder.make_folder("out/folder.png");
    task.upload_path = task.result_path = folder.path("out/folder.png");
    error_flag = 0;
    run_compression(task);
    EXPECT_EQ(error_flag, 1);
    EXPECT_TRUE(service.requests().empty());
}

TEST_F(CompressionExchange, NoServiceSetsTheFlag)
{
    service.stop();
    run_compression(task);
    EXPECT_EQ(error_flag, 1);
    expect_output_untouched();

    task.shrink_endpoint = "";
    error_flag = 0;
    run_compression(task);
    EXPECT_EQ(error_flag, 1);
}

} // namespace
} // namespace pictavo
