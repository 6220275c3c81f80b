// Kodo's credentials in the forms the service documents: the management token ("QBox"), the
// upload token over a put policy, and the private download link. Each is an HMAC-SHA1 of one
// text, written in URL-safe Base64 with its padding kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvault::core::kodo {

struct Credentials {
    std::string_view access_key;
    std::string_view secret_key;
};

// URL-safe Base64 of "<bucket>:<key>", the key taken unchanged: how the management and
// assembly paths name an object.
std::string encoded_entry(std::string_view bucket, std::string_view key);

// The text a management token signs: the path (with its query) below the management host, a
// line feed, then the body when there is one.
std::string management_signing_text(std::string_view path_and_query, std::optional<std::string_view> body);
// "QBox <access key>:<signature>"
std::string management_token(const Credentials& credentials, std::string_view path_and_query,
                             std::optional<std::string_view> body);

// The put policy of an upload token. Absent members are left out of the JSON, not null.
struct PutPolicy {
    std::string_view bucket;
    std::string_view key;  // empty: the token admits any key of the bucket
    std::int64_t deadline = 0;
    std::optional<std::string_view> return_body;  // both left out when empty, too
    std::optional<std::string_view> mime_limit;
    std::optional<std::int64_t> fsize_limit;  // 0 included
};

// The policy as compact JSON in member order, every character outside printable ASCII written
// as a \u escape: the very bytes the signature covers, so they must not vary.
std::string put_policy_json(const PutPolicy& policy);
// "<access key>:<signature>:<encoded policy>"; the signature covers the encoded policy text.
std::string upload_token(const Credentials& credentials, std::string_view policy_json);

// "<url>?e=<deadline>&token=<access key>:<signature>" ("&e=" when the URL has a query already);
// the signature covers everything up to and including the deadline.
std::string private_download_url(const Credentials& credentials, std::string_view url, std::int64_t deadline);

// A JSON string literal with the escapes of Python's json.dumps(ensure_ascii=True), UTF-8 in. A
// lone surrogate, given in the three bytes UTF-8 would spend on it, is escaped as itself.
void append_json_string(std::string& out, std::string_view utf8_text);

}  // namespace corvault::core::kodo
