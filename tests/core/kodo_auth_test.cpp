// Kodo's tokens and links: the vector folders tests/vectors/kodo-*/<case>/ (the service's
// published examples, and awkward values computed once with the vendor's SDK), then the rules
// the examples do not reach.
#include "core/kodo_auth.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/digest.hpp"
#include "core/encoding.hpp"
#include "vector_cases.hpp"

namespace corvault::core::kodo {
namespace {

using test::VectorCase;

std::string case_name(const testing::TestParamInfo<VectorCase>& info) { return test::test_name(info.param); }

// The signature of a folder's string to sign, in the service's form.
std::string signed_text(const VectorCase& c) {
    return base64_urlsafe(as_bytes(hmac_sha1(c.input.str("secret_key"), c.file("string-to-sign.txt"))));
}

class ManagementVector : public testing::TestWithParam<VectorCase> {};

TEST_P(ManagementVector, SigningTextSignatureToken) {
    const VectorCase& c = GetParam();
    ASSERT_TRUE(c.error.empty()) << c.error;
    const test::Json& in = c.input;
    const std::string ak = in.str("access_key"), sk = in.str("secret_key"), path = in.str("path");
    std::optional<std::string> body;
    if (in.find("body") != nullptr) body = in.str("body");
    const std::optional<std::string_view> body_view = body ? std::optional<std::string_view>(*body) : std::nullopt;
    // The folder's text ends in the line feed of a request without body; the reader drops one.
    EXPECT_EQ(management_signing_text(path, body_view), c.file("string-to-sign.txt"));
    EXPECT_EQ(signed_text(c), c.file("signature.txt"));
    EXPECT_EQ(management_token({ak, sk}, path, body_view), c.file("authorization.txt"));
}
INSTANTIATE_TEST_SUITE_P(Kodo, ManagementVector, testing::ValuesIn(test::vector_cases("kodo-management")), case_name);

class UploadVector : public testing::TestWithParam<VectorCase> {};

TEST_P(UploadVector, PolicySignatureToken) {
    const VectorCase& c = GetParam();
    ASSERT_TRUE(c.error.empty()) << c.error;
    const test::Json& in = c.input;
    const std::string ak = in.str("access_key"), sk = in.str("secret_key"), bucket = in.str("bucket");
    const std::string key = in.str("key"), return_body = in.str("return_body"), mime_limit = in.str("mime_limit");
    PutPolicy policy;
    policy.bucket = bucket;
    policy.key = key;
    policy.deadline = std::stoll(in.str("deadline"));
    if (in.find("return_body") != nullptr) policy.return_body = return_body;
    if (in.find("mime_limit") != nullptr) policy.mime_limit = mime_limit;
    if (in.find("fsize_limit") != nullptr) policy.fsize_limit = std::stoll(in.str("fsize_limit"));
    const std::string json = put_policy_json(policy);
    EXPECT_EQ(json, c.file("put-policy.txt"));
    EXPECT_EQ(base64_urlsafe(json), c.file("string-to-sign.txt"));
    EXPECT_EQ(signed_text(c), c.file("signature.txt"));
    EXPECT_EQ(upload_token({ak, sk}, json), c.file("token.txt"));
}
INSTANTIATE_TEST_SUITE_P(Kodo, UploadVector, testing::ValuesIn(test::vector_cases("kodo-upload")), case_name);

class DownloadVector : public testing::TestWithParam<VectorCase> {};

TEST_P(DownloadVector, SignatureAndLink) {
    const VectorCase& c = GetParam();
    ASSERT_TRUE(c.error.empty()) << c.error;
    const test::Json& in = c.input;
    const std::string ak = in.str("access_key"), sk = in.str("secret_key");
    EXPECT_EQ(signed_text(c), c.file("signature.txt"));
    EXPECT_EQ(private_download_url({ak, sk}, in.str("url"), std::stoll(in.str("deadline"))), c.file("url.txt"));
}
INSTANTIATE_TEST_SUITE_P(Kodo, DownloadVector, testing::ValuesIn(test::vector_cases("kodo-download")), case_name);

TEST(KodoManagementToken, EmptyBodySignsAsNoBody) {
    const Credentials creds{"ak", "sk"};
    EXPECT_EQ(management_signing_text("/stat/x", std::nullopt), "/stat/x\n");
    EXPECT_EQ(management_token(creds, "/stat/x", std::string_view()), management_token(creds, "/stat/x", std::nullopt));
}

TEST(KodoPutPolicy, EmptyTextMembersAreLeftOutButZeroLimitStays) {
    PutPolicy policy;
    policy.bucket = "b";
    policy.deadline = -5;
    policy.return_body = "";
    policy.mime_limit = "";
    EXPECT_EQ(put_policy_json(policy), R"({"scope":"b","deadline":-5})");
    policy.fsize_limit = 0;
    EXPECT_EQ(put_policy_json(policy), R"({"scope":"b","deadline":-5,"fsizeLimit":0})");
}

TEST(KodoJsonString, EscapesAsPythonJsonDumps) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain ~", R"("plain ~")"},
        {"\"\\/", R"("\"\\/")"},
        {"\n\r\t\b\f", R"("\n\r\t\b\f")"},
        {std::string("\x00\x1f\x7f", 3), R"("\u0000\u001f\u007f")"},
        {"\xc3\xa9\xe5\x90\x8d", R"("\u00e9\u540d")"},
        {"\xf0\x9f\x98\x80", R"("\ud83d\ude00")"},
    };
    for (const auto& [input, expected] : cases) {
        std::string out;
        append_json_string(out, input);
        EXPECT_EQ(out, expected);
    }
    std::string out;
    EXPECT_THROW(append_json_string(out, "\xc3"), std::invalid_argument);
    EXPECT_THROW(append_json_string(out, "\x80"), std::invalid_argument);
}

TEST(KodoEntry, Base64OfBucketColonKeyWithPaddingKept) {
    EXPECT_EQ(encoded_entry("newdocs", "find_man.txt"), "bmV3ZG9jczpmaW5kX21hbi50eHQ=");
    EXPECT_EQ(encoded_entry("b", ""), "Yjo=");
}

}  // namespace
}  // namespace corvault::core::kodo
