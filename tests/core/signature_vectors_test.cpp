// The published signature examples of tests/vectors, one test per case folder: each scheme's
// preset must reproduce the canonical request, the string to sign, the signature and the
// Authorization value (or URL) that the service's documentation prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/sigv2.hpp"
#include "core/sigv4.hpp"
#include "vector_cases.hpp"

namespace corvault::core {
namespace {

using test::VectorCase;

const std::map<std::string, const sigv4::Scheme*> kV4Schemes = {
    {"sigv4-s3", &sigv4::kS3},
    {"sigv4-oss", &sigv4::kOss},
};
const std::map<std::string, const sigv2::Scheme*> kV2Schemes = {
    {"sigv2-s3", &sigv2::kS3},
    {"sigv2-oss", &sigv2::kOss},
    {"sigv2-ufile", &sigv2::kUFile},
};

std::string case_name(const testing::TestParamInfo<VectorCase>& info) { return test::test_name(info.param); }

// --- Signature Version 4 -------------------------------------------------------------------------

class SigV4Vector : public testing::TestWithParam<VectorCase> {};

TEST_P(SigV4Vector, ReproducesEveryStep) {
    const VectorCase& c = GetParam();
    ASSERT_TRUE(c.error.empty()) << c.error;
    const sigv4::Scheme& scheme = *kV4Schemes.at(c.scheme);
    const test::Json& in = c.input;
    const std::string time = in.str("time"), region = in.str("region"), service = in.str("service");
    const sigv4::Scope scope{std::string_view(time).substr(0, 8), region, service};
    const std::string access_key = in.str("access_key"), secret_key = in.str("secret_key");
    const std::string uri = sigv4::canonical_uri(scheme, in.flag("virtual_host"), in.str("bucket"), in.str("key"));
    const auto query_text = in.pairs("query");
    const std::vector<sigv4::QueryParam> query(query_text.begin(), query_text.end());
    const std::string method = in.str("method");

    // The steps after the canonical request, from the folder's own texts.
    const std::string request_text = c.file("canonical-request.txt");
    EXPECT_EQ(sigv4::string_to_sign(scheme, time, scope, request_text), c.file("string-to-sign.txt"));
    EXPECT_EQ(sigv4::signature(sigv4::signing_key(scheme, secret_key, scope), c.file("string-to-sign.txt")),
              c.file("signature.txt"));

    if (in.str("form") == "query") {
        const std::string url = in.str("url"), host = in.str("host"), expires = in.str("expires");
        const sigv4::QuerySigning request{
            method, url, host, uri, expires, query, time, scope, {access_key, secret_key}};
        EXPECT_EQ(sigv4::presigned_url(request), c.file("url.txt"));
        return;
    }

    // Headers as sent: the scheme's rule picks the signed ones, unless the case names them (AWS's
    // examples also sign Range and Date).
    std::vector<std::string> explicit_names;
    if (const test::Json* named = in.find("signed_headers")) {
        for (const test::Json& name : named->items) explicit_names.push_back(name.text);
    }
    const auto given = in.pairs("headers");
    std::vector<std::string> names;
    std::vector<std::string> values;
    for (const auto& [name, value] : given) {
        const std::string low = test::lowered(name);
        const bool chosen = explicit_names.empty()
                                ? sigv4::signs_header(scheme, low)
                                : std::find(explicit_names.begin(), explicit_names.end(), low) != explicit_names.end();
        if (!chosen) continue;
        names.push_back(low);
        values.push_back(value);
    }
    const std::string payload_hash = in.str("payload_hash");
    sigv4::HeaderSigning request{method, uri, query, {}, payload_hash, time, scope, {access_key, secret_key}};
    for (std::size_t i = 0; i < names.size(); ++i) request.headers.emplace_back(names[i], values[i]);

    const sigv4::Steps steps = sigv4::signing_steps(scheme, request);
    EXPECT_EQ(steps.canonical_request, request_text);
    EXPECT_EQ(steps.string_to_sign, c.file("string-to-sign.txt"));
    EXPECT_EQ(steps.signature, c.file("signature.txt"));
    EXPECT_EQ(sigv4::authorization(scheme, request), c.file("authorization.txt"));
}

INSTANTIATE_TEST_SUITE_P(S3, SigV4Vector, testing::ValuesIn(test::vector_cases("sigv4-s3")), case_name);
INSTANTIATE_TEST_SUITE_P(Oss, SigV4Vector, testing::ValuesIn(test::vector_cases("sigv4-oss")), case_name);

// --- the Version 2 shape -------------------------------------------------------------------------

class SigV2Vector : public testing::TestWithParam<VectorCase> {};

TEST_P(SigV2Vector, ReproducesEveryStep) {
    const VectorCase& c = GetParam();
    ASSERT_TRUE(c.error.empty()) << c.error;
    const sigv2::Scheme& scheme = *kV2Schemes.at(c.scheme);
    const test::Json& in = c.input;

    std::string path;
    if (in.flag("service_level")) {
        path = "/";
    } else if (in.find("resource_path") != nullptr) {
        path = in.str("resource_path");  // signed as the request sent it
    } else {
        path = sigv2::resource_path(scheme, in.str("bucket"), in.str("key"));
    }
    const auto query = in.pairs("query");
    std::vector<sigv2::SubResource> sub_resources;
    for (const auto& [name, value] : query) {
        if (sigv2::is_sub_resource(scheme, name)) sub_resources.emplace_back(name, value);
    }

    const auto headers = in.pairs("headers");
    std::vector<std::string> lowered_names;
    lowered_names.reserve(headers.size());
    std::vector<sigv2::VendorHeader> vendor;
    std::string content_md5, content_type, date = in.str("expires");
    for (const auto& [name, value] : headers) {
        lowered_names.push_back(test::lowered(name));
        if (sigv2::is_vendor_header(scheme, lowered_names.back())) vendor.emplace_back(lowered_names.back(), value);
        if (name == "Content-MD5") content_md5 = value;
        if (name == "Content-Type") content_type = value;
        if (name == "Date") date = value;
    }
    const std::string method = in.str("method");
    const sigv2::Request request{method,
                                 content_md5,
                                 content_type,
                                 date,
                                 sigv2::canonical_vendor_headers(scheme, vendor),
                                 sigv2::canonical_resource(path, sub_resources)};
    EXPECT_EQ(sigv2::string_to_sign(request), c.file("string-to-sign.txt"));
    EXPECT_EQ(sigv2::signature(in.str("secret_key"), c.file("string-to-sign.txt")), c.file("signature.txt"));
    EXPECT_EQ(sigv2::authorization(scheme, in.str("access_key"), in.str("secret_key"), request),
              c.file("authorization.txt"));
}

INSTANTIATE_TEST_SUITE_P(S3, SigV2Vector, testing::ValuesIn(test::vector_cases("sigv2-s3")), case_name);
INSTANTIATE_TEST_SUITE_P(Oss, SigV2Vector, testing::ValuesIn(test::vector_cases("sigv2-oss")), case_name);
INSTANTIATE_TEST_SUITE_P(UFile, SigV2Vector, testing::ValuesIn(test::vector_cases("sigv2-ufile")), case_name);

}  // namespace
}  // namespace corvault::core
