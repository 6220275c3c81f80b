#include "core/s3_url.hpp"

#include "core/encoding.hpp"
#include "core/url.hpp"

namespace corvault::core::s3 {

std::string encode_key(std::string_view key) { return percent_encode(key, "/"); }

Target object_target(std::string_view endpoint, std::string_view bucket, bool virtual_style, std::string_view key) {
    Target t;
    const std::string endpoint_host = strip_scheme_markers(endpoint);
    if (virtual_style) {
        t.host = std::string(bucket) + "." + endpoint_host;
        t.url = split_url(endpoint).scheme + "://" + t.host + "/";
    } else {
        t.host = endpoint_host;
        t.url = std::string(endpoint) + "/" + std::string(bucket) + "/";
    }
    percent_encode_append(t.url, key, "/");
    return t;
}

Target bucket_target(std::string_view endpoint, std::string_view bucket, bool virtual_style) {
    Target t;
    const std::string endpoint_host = strip_scheme_markers(endpoint);
    if (virtual_style) {
        t.host = std::string(bucket) + "." + endpoint_host;
        t.url = std::string(scheme_prefix(endpoint)) + "://" + t.host + "/";
    } else {
        t.host = endpoint_host;
        t.url = std::string(endpoint) + "/" + std::string(bucket) + "/";
    }
    return t;
}

bool bucket_name_fits_url(std::string_view bucket) {
    return bucket.find_first_of("/?#") == std::string_view::npos && bucket != "." && bucket != "..";
}

std::string object_url(const PublicUrlBase& b, std::string_view key) {
    std::string url;
    url.reserve(b.domain_url.size() + b.endpoint.size() + b.bucket.size() + key.size() * 3 + 8);
    if (b.custom_domain) {
        url.append(b.domain_url);
    } else if (b.virtual_style) {
        url.append(scheme_prefix(b.endpoint)).append("://").append(b.bucket).append(".");
        url.append(strip_scheme_markers(b.endpoint));
    } else {
        url.append(b.endpoint).append("/").append(b.bucket);
    }
    url += '/';
    const std::size_t key_start = url.size();
    percent_encode_append(url, key, "/");
    // Handed to others, whose HTTP clients would remove dot segments and reach another object.
    // Encoding keeps "." and writes no other, so a key without one has no dot segment.
    if (key.find('.') != std::string_view::npos) {
        const std::string encoded = url.substr(key_start);
        url.resize(key_start);
        append_escaping_dot_segments(url, encoded);
    }
    return url;
}

std::string signed_path(std::string_view url_path) {
    // Only segments that are exactly "%2E" or "%2E%2E" change: a path without that text stays.
    if (url_path.find("%2E") == std::string_view::npos) return std::string(url_path);
    std::string out;
    out.reserve(url_path.size());
    std::size_t begin = 0;
    while (begin <= url_path.size()) {
        std::size_t end = url_path.find('/', begin);
        if (end == std::string_view::npos) end = url_path.size();
        const std::string_view segment = url_path.substr(begin, end - begin);
        out.append(segment == "%2E" ? "." : segment == "%2E%2E" ? ".." : segment);
        if (end < url_path.size()) out += '/';
        begin = end + 1;
    }
    return out;
}

}  // namespace corvault::core::s3
