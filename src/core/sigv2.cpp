#include "core/sigv2.hpp"

#include <algorithm>
#include <array>

#include "core/digest.hpp"
#include "core/encoding.hpp"
#include "core/whitespace.hpp"

namespace corvault::core::sigv2 {
namespace {

// Sorted, for binary search.
constexpr std::array<std::string_view, 25> kS3SubResources = {
    "acl",
    "cors",
    "delete",
    "lifecycle",
    "location",
    "logging",
    "notification",
    "partNumber",
    "policy",
    "requestPayment",
    "response-cache-control",
    "response-content-disposition",
    "response-content-encoding",
    "response-content-language",
    "response-content-type",
    "response-expires",
    "restore",
    "tagging",
    "torrent",
    "uploadId",
    "uploads",
    "versionId",
    "versioning",
    "versions",
    "website",
};

// The sub-resources of OSS's object, multipart and bucket-setting requests (sorted).
constexpr std::array<std::string_view, 28> kOssSubResources = {
    "acl",
    "append",
    "cors",
    "delete",
    "lifecycle",
    "location",
    "logging",
    "objectMeta",
    "partNumber",
    "position",
    "referer",
    "response-cache-control",
    "response-content-disposition",
    "response-content-encoding",
    "response-content-language",
    "response-content-type",
    "response-expires",
    "restore",
    "security-token",
    "symlink",
    "tagging",
    "uploadId",
    "uploads",
    "versionId",
    "versioning",
    "versions",
    "website",
    "x-oss-process",
};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& sorted, std::string_view name) {
    return std::binary_search(sorted.begin(), sorted.end(), name);
}

}  // namespace

bool is_s3_sub_resource(std::string_view name) { return listed(kS3SubResources, name); }
bool is_oss_sub_resource(std::string_view name) { return listed(kOssSubResources, name); }

bool is_vendor_header(const Scheme& scheme, std::string_view name) {
    return name.substr(0, scheme.header_prefix.size()) == scheme.header_prefix;
}

bool is_sub_resource(const Scheme& scheme, std::string_view name) {
    return scheme.is_sub_resource != nullptr && scheme.is_sub_resource(name);
}

std::string resource_path(const Scheme& scheme, std::string_view bucket, std::string_view key) {
    std::string out;
    out.reserve(bucket.size() + key.size() + 2);
    out.append("/").append(bucket).append("/");
    if (scheme.resource_key_encoded) {
        percent_encode_append(out, key, "/");
    } else {
        out.append(key);
    }
    return out;
}

std::string canonical_resource(std::string_view path, std::vector<SubResource> sub_resources) {
    std::string out(path);
    std::sort(sub_resources.begin(), sub_resources.end(),
              [](const SubResource& a, const SubResource& b) { return a.first < b.first; });
    char separator = '?';
    for (const auto& [name, value] : sub_resources) {
        out += separator;
        separator = '&';
        out += name;
        if (!value.empty()) out.append("=").append(value);
    }
    return out;
}

std::string canonical_vendor_headers(const Scheme& scheme, std::vector<VendorHeader> headers) {
    if (scheme.trim_header_values) {
        for (auto& header : headers) header.second = trim_space(header.second);
    }
    if (scheme.last_header_wins) {
        // A stable sort by name keeps the given order within a name: the last of each run wins.
        std::stable_sort(headers.begin(), headers.end(),
                         [](const VendorHeader& a, const VendorHeader& b) { return a.first < b.first; });
        auto last = std::unique(headers.rbegin(), headers.rend(),
                                [](const VendorHeader& a, const VendorHeader& b) { return a.first == b.first; });
        headers.erase(headers.begin(), last.base());
    } else {
        std::sort(headers.begin(), headers.end());
    }
    std::string out;
    for (const auto& [name, value] : headers) out.append(name).append(":").append(value).append("\n");
    return out;
}

std::string string_to_sign(const Request& r) {
    std::string out;
    out.reserve(r.method.size() + r.content_md5.size() + r.content_type.size() + r.date.size() +
                r.vendor_headers.size() + r.resource.size() + 4);
    out.append(r.method).append("\n").append(r.content_md5).append("\n").append(r.content_type).append("\n");
    out.append(r.date).append("\n").append(r.vendor_headers).append(r.resource);
    return out;
}

std::string signature(std::string_view secret_key, std::string_view string_to_sign) {
    return base64(hmac_sha1(secret_key, string_to_sign));
}

std::string authorization(const Scheme& scheme, std::string_view access_key, std::string_view secret_key,
                          const Request& request) {
    std::string out;
    out.append(scheme.authorization_word).append(" ").append(access_key).append(":");
    out.append(signature(secret_key, string_to_sign(request)));
    return out;
}

}  // namespace corvault::core::sigv2
