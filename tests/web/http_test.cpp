// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http.h"

#include "service_double.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <unistd.h>

namespace pictavo {
namespace {

class Http : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(network_start(), 1);
        ASSERT_TRUE(server.start());
    }
    void TearDown() override { http_set_stall_limit(0, 0); }

    std::string url(const std::string& path) const { return server.base_url() + path; }

    // A GET of path; the last request the server saw is returned through seen.
    RequestHandle get(const std::string& path, int method = HTTP_GET, const HeaderTable* headers = nullptr)
    {
        return http_send(method, url(path), nullptr, 0, 0, headers);
    }

    RecordedRequest last_seen() const
    {
        const auto seen = server.requests();
        return seen.empty() ? RecordedRequest {} : seen.back();
    }

    ServiceDouble server;
};

TEST_F(Http, NetworkStartsOnceAndCanRestart)
{
    EXPECT_EQ(network_start(), 1);
    network_stop();
    EXPECT_EQ(network_start(), 1);
}

TEST_F(Http, HeaderTableLinesAndUserAgent)
{
    HeaderTable headers(512);
    ASSERT_TRUE(headers.set("X-Token", "first"));
    ASSERT_TRUE(headers.set("X-Empty", ""));
    ASSERT_TRUE(headers.set("X-Token", "second")); // replaces
    ASSERT_TRUE(headers.set("X-Split", "a\r\nX-Injected: yes"));
    EXPECT_EQ(headers.size(), 3u);
    server.set_page("/page", {200, "hello"});

    auto request = get("/page", HTTP_GET, &headers);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->state, HTTP_DONE);
    const auto seen = last_seen();
    EXPECT_EQ(seen.header("X-Token"), "second");
    EXPECT_TRUE(seen.has_header("X-Empty"));
    EXPECT_EQ(seen.header("X-Empty"), "");
    EXPECT_FALSE(seen.has_header("X-Injected"));
    EXPECT_FALSE(seen.has_header("X-Split"));
    EXPECT_EQ(seen.header("User-Agent"), "Mozilla/5.0 Gecko/41.0 Firefox/41.0");
    int tokens = 0;
    for (const auto& entry : seen.headers)
        tokens += entry.first == "X-Token";
    EXPECT_EQ(tokens, 1);
}

TEST_F(Http, MethodsAndBodies)
{
    server.set_page("/any", {200, "ok"});
    for (const int method : {HTTP_GET, 7, -1}) {
        auto request = get("/any", method);
        ASSERT_TRUE(request);
        EXPECT_EQ(last_seen().method, "GET") << method;
        EXPECT_EQ(http_info(request.get(), HTTP_INFO_BODY), "ok");
    }
    EXPECT_TRUE(get("/any", HTTP_DELETE));
    EXPECT_EQ(last_seen().method, "DELETE");

    // The exact bytes go out, zero bytes included.
    const std::string data("a\0b\xff\r\nc", 7);
    auto post = http_send(HTTP_POST, url("/any"), data.data(), static_cast<std::int64_t>(data.size()), 0, nullptr);
    ASSERT_TRUE(post);
    auto seen = last_seen();
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.body, data);
    EXPECT_EQ(seen.header("Content-Length"), "7");

    auto put = http_send(HTTP_PUT, url("/any"), data.data(), 3, 0, nullptr);
    EXPECT_EQ(last_seen().method, "PUT");
    EXPECT_EQ(last_seen().body, data.substr(0, 3));

    // Size 0 sets no body and no length of its own, and never waits for standard input.
    auto empty = http_send(HTTP_POST, url("/any"), data.data(), 0, 0, nullptr);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->state, HTTP_DONE);
    seen = last_seen();
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.body, "");
    EXPECT_FALSE(seen.has_header("Content-Length") && seen.header("Content-Length") != "0");

    // No data with a size given sends nothing either.
    ASSERT_TRUE(http_send(HTTP_POST, url("/any"), nullptr, 100, 0, nullptr));
    EXPECT_EQ(last_seen().body, "");
    EXPECT_FALSE(http_send(HTTP_GET, "", nullptr, 0, 0, nullptr));
}

// libcurl reads a POST body without data from standard input unless told otherwise.
TEST_F(Http, EmptyPostNeverReadsStandardInput)
{
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    ASSERT_EQ(::write(pipe_ends[1], "STDIN-SECRET\n", 13), 13);
    ::close(pipe_ends[1]);
    const int saved_input = ::dup(0);
    ::dup2(pipe_ends[0], 0);
    ::close(pipe_ends[0]);
    server.set_page("/any", {200, "ok"});
    auto request = http_send(HTTP_POST, url("/any"), nullptr, 0, 0, nullptr);
    ::dup2(saved_input, 0);
    ::close(saved_input);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->state, HTTP_DONE);
    EXPECT_EQ(last_seen().method, "POST");
    EXPECT_EQ(last_seen().body, "");
}

TEST_F(Http, ErrorStatusIsADoneRequest)
{
    server.set_page("/missing", {404, "<h1>Not here</h1>"});
    auto request = get("/missing");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->state, HTTP_DONE);
    EXPECT_EQ(http_info(request.get(), HTTP_INFO_STATUS), "404");
    EXPECT_EQ(http_info(request.get(), HTTP_INFO_BODY), "<h1>Not here</h1>");
    EXPECT_EQ(http_info(request.get(), HTTP_INFO_ERROR), "");
    EXPECT_EQ(http_info(request.get(), HTTP_INFO_HEADERS).rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
    EXPECT_EQ(http_info(request.get(), 5), "");
    EXPECT_EQ(http_info(request.get(), -1), "");
    EXPECT_EQ(http_info(nullptr, HTTP_INFO_STATUS), "");
    const std::string kept = http_info(request.get(), HTTP_INFO_BODY);
    http_finish(request);
    EXPECT_FALSE(request);
    EXPECT_EQ(kept, "<h1>Not here</h1>");
}

TEST_F(Http, BodyTextEndsAtZeroByteAndLargeBodiesGrow)
{
    server.set_page("/zero", {200, std::string("abc\0def", 7)});
    server.set_page("/empty", {200, ""});
    std::string large(3 * 0x80000 + 12345, 'x');
    for (std::size_t i = 0; i < large.size(); i += 997)
        large[i] = static_cast<char>('a' + i % 26);
    server.set_page("/large", {200, large});

    auto zero = get("/zero");
    EXPECT_EQ(http_info(zero.get(), HTTP_INFO_BODY), "abc");
    EXPECT_EQ(zero->body.length, 7);
    auto empty = get("/empty");
    EXPECT_EQ(empty->state, HTTP_DONE);
    EXPECT_EQ(http_info(empty.get(), HTTP_INFO_BODY), "");
    auto big = get("/large");
    EXPECT_EQ(http_info(big.get(), HTTP_INFO_BODY), large);
    EXPECT_EQ(big->body.capacity, static_cast<std::int64_t>(large.size())); // trimmed
}

TEST_F(Http, AnswerLimitAndTheFinalAnswersHeader)
{
    server.set_page("/big", {200, std::string(5000, 'b')});
    auto capped = http_send(HTTP_GET, url("/big"), nullptr, 0, 0, nullptr, {0, 4999});
    EXPECT_EQ(capped->state, HTTP_FAILED);
    EXPECT_EQ(capped->error, TransferError::TooLarge);
    auto fits = http_send(HTTP_GET, url("/big"), nullptr, 0, 0, nullptr, {0, 5000});
    EXPECT_EQ(http_info(fits.get(), HTTP_INFO_BODY).size(), 5000u);

    server.set_page("/moved", {302, "", "text/plain", Delivery::Whole, {{"Location", "/counted"}, {"X-Count", "5"}}});
    server.set_page("/counted", {200, "ok", "text/plain", Delivery::Whole, {{"x-count", "  7 "}}});
    auto followed = get("/moved");
    EXPECT_EQ(http_header(followed.get(), "X-Count"), "7");
    EXPECT_EQ(http_header(followed.get(), "X-Missing"), "");
    EXPECT_EQ(http_header(nullptr, "X-Count"), "");
}

TEST_F(Http, UnreachableHostsFail)
{
    // A 64-character label is refused by the resolver before any query leaves the machine.
    const std::string host = std::string(64, 'q') + ".invalid";
    auto request = http_send(HTTP_GET, "http://" + host + "/x", nullptr, 0, 0, nullptr);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->state, HTTP_FAILED);
    EXPECT_EQ(http_info(request.get(), HTTP_INFO_STATUS), "0");
    EXPECT_EQ(http_info(request.get(), HTTP_INFO_BODY), "");
    EXPECT_NE(http_info(request.get(), HTTP_INFO_ERROR), "");

    const int port = server.port();
    server.stop();
    auto refused = http_send(HTTP_GET, "http://127.0.0.1:" + std::to_string(port) + "/", nullptr, 0, 0, nullptr);
    EXPECT_EQ(refused->state, HTTP_FAILED);
    EXPECT_NE(http_info(refused.get(), HTTP_INFO_ERROR), "");
}

TEST_F(Http, RedirectsFollowedUnlessRefused)
{
    server.set_page("/moved", {302, "moved", "text/plain", Delivery::Whole, {{"Location", "/target"}}});
    server.set_page("/target", {200, "arrived"});
    auto followed = get("/moved");
    EXPECT_EQ(http_info(followed.get(), HTTP_INFO_STATUS), "200");
    EXPECT_EQ(http_info(followed.get(), HTTP_INFO_BODY), "arrived");
    auto kept = http_send(HTTP_GET, url("/moved"), nullptr, 0, HTTP_NO_REDIRECT, nullptr);
    EXPECT_EQ(http_info(kept.get(), HTTP_INFO_STATUS), "302");
    EXPECT_EQ(http_info(kept.get(), HTTP_INFO_BODY), "moved");
}

class HttpDownload : public Http {
protected:
    void SetUp() override
    {
        Http::SetUp();
        folder.write("out/target.png", earlier);
    }
    // Only the target itself remains in its folder: no temporary file.
    void expect_untouched()
    {
        EXPECT_EQ(folder.read("out/target.png"), earlier);
        EXPECT_EQ(folder.entries("out"), std::vector<std::string> {"target.png"});
    }
    TestFolder folder;
    const std::string earlier = "the earlier output";
};

TEST_F(HttpDownload, GoodAnswerReplacesTheTarget)
{
    const std::string content(0x80000 + 77, '\x7f');
    server.set_page("/file", {200, content});
    EXPECT_EQ(http_download(url("/file"), folder.path("out/target.png")), 1);
    EXPECT_EQ(folder.read("out/target.png"), content);
    EXPECT_EQ(folder.entries("out"), std::vector<std::string> {"target.png"});
    EXPECT_EQ(last_seen().header("User-Agent"), HTTP_USER_AGENT);

    EXPECT_EQ(http_download(url("/file"), folder.path("out/new.png")), 1);
    EXPECT_EQ(folder.read("out/new.png"), content);
}

TEST_F(HttpDownload, FailuresLeaveTheTargetAlone)
{
    server.set_page("/missing", {404, "<h1>gone</h1>"});
    server.set_page("/broken", {500, "<h1>broken</h1>"});
    server.set_page("/cut", {200, std::string(100000, 'c'), "image/png", Delivery::CutHalfway});
    server.set_page("/moved", {302, "", "text/plain", Delivery::Whole, {{"Location", "/missing"}}});
    for (const char* path : {"/missing", "/broken", "/cut", "/moved"}) {
        EXPECT_EQ(http_download(url(path), folder.path("out/target.png")), 0) << path;
        expect_untouched();
    }
    EXPECT_EQ(http_download("", folder.path("out/target.png")), 0);
    EXPECT_EQ(http_download(url("/missing"), ""), 0);
    server.set_page("/file", {200, "fresh"});
    EXPECT_EQ(http_download(url("/file"), folder.path("no such folder/x.png")), 0);
    expect_untouched();
}

TEST_F(HttpDownload, StalledTransferIsAborted)
{
    // libcurl measures the speed over the last few seconds, so a high limit notices the stall fast.
    http_set_stall_limit(100000, 1);
    server.set_page("/stall", {200, std::string(100000, 's'), "image/png", Delivery::Stall});
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(http_download(url("/stall"), folder.path("out/target.png")), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    expect_untouched();

    auto request = get("/stall");
    EXPECT_EQ(request->state, HTTP_FAILED);
    EXPECT_EQ(http_info(request.get(), HTTP_INFO_STATUS), "0");
}

TEST(HeaderTable, SetReplacesAndWalksInTableOrder)
{
    HeaderTable table(4);
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i)
        table.set("Name-" + std::to_string(i), std::to_string(i));
    table.set("Name-3", "three");
    EXPECT_EQ(table.size(), 20u);
    ASSERT_NE(table.find("Name-3"), nullptr);
    EXPECT_EQ(*table.find("Name-3"), "three");
    EXPECT_EQ(table.find("name-3"), nullptr);
    table.walk([&](const std::string& name, const std::string&) { names.push_back(name); });
    EXPECT_EQ(names.size(), 20u);
    std::vector<std::string> again;
    table.walk([&](const std::string& name, const std::string&) { again.push_back(name); });
    EXPECT_EQ(names, again);
    HeaderTable single(0); // at least one bucket
    single.set("A", "1");
    EXPECT_EQ(*single.find("A"), "1");
}

} // namespace
} // namespace pictavo
