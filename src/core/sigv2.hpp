// AWS Signature Version 2 (the REST "AWS AccessKey:Signature" form): string to sign from the
// method, the Content-MD5, Content-Type and Date slots, the x-amz- headers and the canonical
// resource, signed with HMAC-SHA1.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvault::core::sigv2 {

// Query parameters that belong to the resource being signed; every other parameter (prefix,
// max-keys, list-type, ...) is left out of the canonical resource, as the service expects.
bool is_sub_resource(std::string_view name);

// A sub-resource parameter: the value is absent (bare name) when empty.
using SubResource = std::pair<std::string_view, std::string_view>;
// An x-amz- header: lower-cased name, value as sent.
using AmzHeader = std::pair<std::string_view, std::string_view>;

// "/" + bucket + "/" + encoded key, then "?" and the name-sorted sub-resources when there are any.
std::string canonical_resource(std::string_view bucket_and_key_path, std::vector<SubResource> sub_resources);

// "name:value\n" for each header, trimmed and sorted by name; empty when there is none.
std::string canonical_amz_headers(std::vector<AmzHeader> headers);

struct Signing {
    std::string_view method;
    std::string_view content_md5;
    std::string_view content_type;
    std::string_view date;
    std::string amz_headers;  // canonical_amz_headers()
    std::string resource;     // canonical_resource()
    std::string_view access_key;
    std::string_view secret_key;
};

std::string string_to_sign(const Signing& request);
// "AWS " + access key + ":" + Base64(HMAC-SHA1(secret, string to sign))
std::string authorization(const Signing& request);

}  // namespace corvault::core::sigv2
