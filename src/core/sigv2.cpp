#include "core/sigv2.hpp"

#include <algorithm>
#include <array>

#include "core/digest.hpp"
#include "core/encoding.hpp"
#include "core/whitespace.hpp"

namespace corvault::core::sigv2 {
namespace {

// Sorted, for binary search.
constexpr std::array<std::string_view, 25> kSubResources = {
    "acl", "cors", "delete", "lifecycle", "location", "logging", "notification", "partNumber", "policy",
    "requestPayment", "response-cache-control", "response-content-disposition", "response-content-encoding",
    "response-content-language", "response-content-type", "response-expires", "restore", "tagging",
    "torrent", "uploadId", "uploads", "versionId", "versioning", "versions", "website",
};

}  // namespace

bool is_sub_resource(std::string_view name) {
    return std::binary_search(kSubResources.begin(), kSubResources.end(), name);
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

std::string canonical_amz_headers(std::vector<AmzHeader> headers) {
    for (auto& header : headers) header.second = trim_space(header.second);
    std::sort(headers.begin(), headers.end());
    std::string out;
    for (const auto& [name, value] : headers) out.append(name).append(":").append(value).append("\n");
    return out;
}

std::string string_to_sign(const Signing& r) {
    std::string out;
    out.append(r.method).append("\n").append(r.content_md5).append("\n").append(r.content_type).append("\n");
    out.append(r.date).append("\n").append(r.amz_headers).append(r.resource);
    return out;
}

std::string authorization(const Signing& r) {
    return "AWS " + std::string(r.access_key) + ":" + base64(hmac_sha1(r.secret_key, string_to_sign(r)));
}

}  // namespace corvault::core::sigv2
