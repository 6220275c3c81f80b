#include "core/oss_url.hpp"

#include "core/encoding.hpp"
#include "core/url.hpp"

namespace corvault::core::oss {
namespace {

constexpr std::string_view kScheme = "https://";
constexpr std::string_view kPublicDomain = ".aliyuncs.com";
constexpr std::string_view kInternalDomain = "-internal.aliyuncs.com";
constexpr std::string_view kRegionPrefix = "oss-";

// Every occurrence of `part` removed, left to right, as str.replace(part, "") does.
std::string without_all(std::string_view text, std::string_view part) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, part.size(), part) == 0) {
            i += part.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace

std::string endpoint_url(std::string_view bucket, std::string_view region, bool internal) {
    const std::string_view domain = internal ? kInternalDomain : kPublicDomain;
    std::string url;
    url.reserve(kScheme.size() + bucket.size() + 1 + region.size() + domain.size());
    url.append(kScheme).append(bucket).append(".").append(region).append(domain);
    return url;
}

std::string endpoint_host(std::string_view endpoint) { return without_all(endpoint, kScheme); }

std::string request_url(std::string_view base, std::string_view key) {
    std::string url;
    url.reserve(base.size() + 1 + key.size() * 3);
    url.append(base).append("/");
    percent_encode_append(url, key, "/");
    return url;
}

std::string object_url(std::string_view base, std::string_view key) {
    return escape_dot_segments(request_url(base, key));
}

std::string signing_region(std::string_view region) {
    if (region.substr(0, kRegionPrefix.size()) != kRegionPrefix) return std::string(region);
    return without_all(region, kRegionPrefix);
}

std::string share_url(std::string_view base, std::string_view key, std::string_view access_key_id,
                      std::string_view expires, std::string_view signature) {
    std::string url = object_url(base, key);
    url.append("?OSSAccessKeyId=");
    percent_encode_append(url, access_key_id);
    url.append("&Expires=").append(expires).append("&Signature=");
    percent_encode_append(url, signature);
    return url;
}

}  // namespace corvault::core::oss
