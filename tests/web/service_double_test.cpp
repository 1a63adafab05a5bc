// SPDX-License-Identifier: GPL-3.0-or-later
// The double must answer like the real service, or the client tests prove nothing.
#include "web/http.h"

#include "service_double.h"

#include <gtest/gtest.h>


namespace pictavo {
namespace {

// "api:" + the double's default key, in Base64.
constexpr const char* good_credential = "Basic YXBpOlRxM3ZYdzhrTG0yUHo3UmI5TmM0SGQ2SmYxR3M1WWEw";

const std::string png_bytes = ServiceDouble::sample_upload(64, 48);

class Double : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(network_start(), 1);
        ASSERT_TRUE(service.start());
        headers.set("Authorization", good_credential);
    }

    RequestHandle shrink(const std::string& body)
    {
        return http_send(HTTP_POST, service.shrink_url(), body.data(), static_cast<std::int64_t>(body.size()),
                         HTTP_NO_REDIRECT, &headers);
    }

    ServiceDouble service;
    HeaderTable headers {512};
};

TEST_F(Double, ShrinkAnswersWithLocationAndOutput)
{
    auto answer = shrink(png_bytes);
    ASSERT_EQ(http_info(answer.get(), HTTP_INFO_STATUS), "201");
    const std::string body = http_info(answer.get(), HTTP_INFO_BODY);
    const std::string output_size = std::to_string(ServiceDouble::compressed_form(png_bytes).size());
    const std::string head = R"({"input":{"size":)" + std::to_string(png_bytes.size())
        + R"(,"type":"image/png"},"output":{"size":)" + output_size + R"(,"type":"image/png","width":64,"height":48,"ratio":)";
    ASSERT_EQ(body.substr(0, head.size()), head) << body;
    const auto url_at = body.find(R"(,"url":")");
    ASSERT_NE(url_at, std::string::npos);
    const std::string location = body.substr(url_at + 8, body.size() - url_at - 8 - 3);
    EXPECT_EQ(body.substr(body.size() - 3), "\"}}");
    const std::string base = service.base_url() + "/output/";
    ASSERT_EQ(location.substr(0, base.size()), base);
    const std::string id = location.substr(base.size());
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(id.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789"), std::string::npos);
    const std::string raw_headers = http_info(answer.get(), HTTP_INFO_HEADERS);
    EXPECT_NE(raw_headers.find("Location: " + location + "\r\n"), std::string::npos);
    EXPECT_NE(raw_headers.find("Compression-Count: 1\r\n"), std::string::npos);
    EXPECT_NE(raw_headers.find("Content-Type: application/json\r\n"), std::string::npos);

    auto output = http_send(HTTP_GET, location, nullptr, 0, 0, nullptr);
    EXPECT_EQ(http_info(output.get(), HTTP_INFO_STATUS), "200");
    EXPECT_EQ(output->body.length, static_cast<std::int64_t>(ServiceDouble::compressed_form(png_bytes).size()));
    auto unknown = http_send(HTTP_GET, service.base_url() + "/output/" + std::string(32, 'a'), nullptr, 0, 0, nullptr);
    EXPECT_EQ(http_info(unknown.get(), HTTP_INFO_STATUS), "404");
    EXPECT_EQ(service.compression_count(), 1);
    EXPECT_EQ(service.requests_to("POST", "/shrink").size(), 1u);
}

TEST_F(Double, RefusalsCarryTheServiceErrorBodies)
{
    auto not_image = shrink("plain text, no picture");
    EXPECT_EQ(http_info(not_image.get(), HTTP_INFO_STATUS), "415");
    EXPECT_EQ(http_info(not_image.get(), HTTP_INFO_BODY),
              R"({"error":"Unsupported media type","message":"File type is not supported."})");

    auto undecodable = shrink(png_bytes.substr(0, 8) + std::string(100, 'x'));
    EXPECT_EQ(http_info(undecodable.get(), HTTP_INFO_STATUS), "400");
    EXPECT_EQ(http_info(undecodable.get(), HTTP_INFO_BODY), R"({"error":"Decode error","message":"File could not be decoded."})");

    service.set_service_mode(ServiceMode::QuotaExceeded);
    auto quota = shrink(png_bytes);
    EXPECT_EQ(http_info(quota.get(), HTTP_INFO_STATUS), "429");
    EXPECT_EQ(http_info(quota.get(), HTTP_INFO_BODY),
              R"({"error":"TooManyRequests","message":"Your monthly limit has been exceeded."})");

    service.set_service_mode(ServiceMode::ServerError);
    EXPECT_EQ(http_info(shrink(png_bytes).get(), HTTP_INFO_STATUS), "503");

    headers.set("Authorization", "Basic YXBpOndyb25n"); // api:wrong
    auto refused = shrink(png_bytes);
    EXPECT_EQ(http_info(refused.get(), HTTP_INFO_STATUS), "401");
    EXPECT_EQ(http_info(refused.get(), HTTP_INFO_BODY), R"({"error":"Unauthorized","message":"Credentials are invalid."})");
    EXPECT_EQ(service.compression_count(), 0);
}

TEST_F(Double, FailureModesChangeTheAnswer)
{
    service.set_service_mode(ServiceMode::Status200);
    EXPECT_EQ(http_info(shrink(png_bytes).get(), HTTP_INFO_STATUS), "200");
    service.set_service_mode(ServiceMode::NoEndMark);
    EXPECT_EQ(http_info(shrink(png_bytes).get(), HTTP_INFO_BODY).find("}}"), std::string::npos);
    service.set_service_mode(ServiceMode::ServerErrorOnce);
    EXPECT_EQ(http_info(shrink(png_bytes).get(), HTTP_INFO_STATUS), "503");
    EXPECT_EQ(http_info(shrink(png_bytes).get(), HTTP_INFO_STATUS), "201");
    service.set_location_base("http://localhost:1");
    EXPECT_NE(http_info(shrink(png_bytes).get(), HTTP_INFO_BODY).find("\"url\":\"http://localhost:1/output/"), std::string::npos);
}

} // namespace
} // namespace pictavo
