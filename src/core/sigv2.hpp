// The HMAC-SHA1 signatures shaped like AWS Signature Version 2: a string to sign of the method, the
// Content-MD5 and Content-Type slots, a date slot (the request date, or the expiry of a share
// URL), the canonical vendor headers and the canonical resource, signed with HMAC-SHA1 and
// written in Base64 after "<word> <access key>:".
//
// The services that use the shape differ in the vendor header prefix, in how those headers are
// written, in which query parameters belong to the resource, in whether the resource carries the
// key as sent or percent-encoded, and in the Authorization word. A Scheme holds those choices.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvault::core::sigv2 {

struct Scheme {
    std::string_view authorization_word;  // "AWS", "OSS", "UCloud"
    // Lower-case; a header is a vendor header when its lower-cased name starts with it.
    std::string_view header_prefix;
    bool trim_header_values;  // values trimmed of white space; else written as sent
    // One line per name, the last value given winning; else one line per header.
    bool last_header_wins;
    // Whether a query parameter belongs to the canonical resource; null: none ever does.
    bool (*is_sub_resource)(std::string_view name);
    bool resource_key_encoded;  // the key in the resource percent-encoded ("/" kept); else raw
};

bool is_s3_sub_resource(std::string_view name);
bool is_oss_sub_resource(std::string_view name);

// Amazon S3.
inline constexpr Scheme kS3{"AWS", "x-amz-", true, false, is_s3_sub_resource, true};
// Alibaba Cloud OSS, Version 1 (header form and share URLs). The service signs the raw object name.
inline constexpr Scheme kOss{"OSS", "x-oss-", true, false, is_oss_sub_resource, false};
// UFile: a plain prefix test on "x-ucloud", values as sent, one line per name, no sub-resources.
inline constexpr Scheme kUFile{"UCloud", "x-ucloud", false, true, nullptr, false};

// A query parameter of the resource: the value is absent (bare name) when empty.
using SubResource = std::pair<std::string_view, std::string_view>;
// A vendor header: lower-cased name, value as sent.
using VendorHeader = std::pair<std::string_view, std::string_view>;

// Whether a lower-cased header name is one of the scheme's vendor headers.
bool is_vendor_header(const Scheme& scheme, std::string_view lowered_name);
// Whether a query parameter belongs to the scheme's resource.
bool is_sub_resource(const Scheme& scheme, std::string_view name);

// "/" + bucket + "/" + key, the key as the scheme signs it.
std::string resource_path(const Scheme& scheme, std::string_view bucket, std::string_view key);

// The path, then "?" and the name-sorted sub-resources when there are any. The caller passes
// only parameters that is_sub_resource() accepts.
std::string canonical_resource(std::string_view path, std::vector<SubResource> sub_resources);

// "name:value\n" for each vendor header, sorted by name; empty when there is none. The caller
// passes only headers that is_vendor_header() accepts, in the order given.
std::string canonical_vendor_headers(const Scheme& scheme, std::vector<VendorHeader> headers);

struct Request {
    std::string_view method;
    std::string_view content_md5;
    std::string_view content_type;
    std::string_view date;       // or the expiry time of a share URL
    std::string vendor_headers;  // canonical_vendor_headers()
    std::string resource;        // canonical_resource()
};

std::string string_to_sign(const Request& request);
// Base64(HMAC-SHA1(secret, string to sign))
std::string signature(std::string_view secret_key, std::string_view string_to_sign);
// word + " " + access key + ":" + signature
std::string authorization(const Scheme& scheme, std::string_view access_key, std::string_view secret_key,
                          const Request& request);

}  // namespace corvault::core::sigv2
