// Kodo's tokens and links against the vector folders tests/vectors/kodo-*/<case>/: the service's
// published examples, and awkward values computed once with the vendor's SDK. Each folder holds
// one file per input and per expected value, exactly as written (no trailing line feed).
#include "core/kodo_auth.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace corvault::core::kodo {
namespace {

namespace fs = std::filesystem;

struct Case {
    fs::path dir;
    std::optional<std::string> get(const char* name) const {
        std::ifstream in(dir / name, std::ios::binary);
        if (!in) return std::nullopt;
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string operator[](const char* name) const {
        auto value = get(name);
        if (!value) ADD_FAILURE() << dir << " has no " << name;
        return value.value_or("");
    }
};

std::vector<Case> cases(const char* scheme) {
    std::vector<Case> found;
    for (const auto& entry : fs::directory_iterator(fs::path(CORVAULT_VECTORS_DIR) / scheme)) {
        if (entry.is_directory()) found.push_back({entry.path()});
    }
    EXPECT_FALSE(found.empty()) << "no vectors for " << scheme;
    return found;
}

TEST(KodoVectors, ManagementToken) {
    for (const Case& c : cases("kodo-management")) {
        const std::string ak = c["access_key"], sk = c["secret_key"];
        const std::optional<std::string> body = c.get("body");
        EXPECT_EQ(management_token({ak, sk}, c["path"], body), c["token"]) << c.dir;
    }
}

TEST(KodoVectors, UploadToken) {
    for (const Case& c : cases("kodo-upload")) {
        const std::string ak = c["access_key"], sk = c["secret_key"], bucket = c["bucket"];
        const std::string key = c.get("key").value_or("");
        const auto return_body = c.get("return_body"), mime_limit = c.get("mime_limit");
        PutPolicy policy;
        policy.bucket = bucket;
        policy.key = key;
        policy.deadline = std::stoll(c["deadline"]);
        if (return_body) policy.return_body = *return_body;
        if (mime_limit) policy.mime_limit = *mime_limit;
        if (auto limit = c.get("fsize_limit")) policy.fsize_limit = std::stoll(*limit);
        const std::string json = put_policy_json(policy);
        EXPECT_EQ(json, c["policy_json"]) << c.dir;
        EXPECT_EQ(upload_token({ak, sk}, json), c["token"]) << c.dir;
    }
}

TEST(KodoVectors, PrivateDownloadLink) {
    for (const Case& c : cases("kodo-download")) {
        const std::string ak = c["access_key"], sk = c["secret_key"];
        EXPECT_EQ(private_download_url({ak, sk}, c["url"], std::stoll(c["deadline"])), c["link"]) << c.dir;
    }
}

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
