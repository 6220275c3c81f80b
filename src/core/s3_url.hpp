// Where S3 requests go and what object URLs look like, in path style ("endpoint/bucket/key") and
// virtual-host style ("bucket.endpoint-host/key").
#pragma once

#include <string>
#include <string_view>

namespace corvault::core::s3 {

// An object key as it stands in a path: percent-encoded over UTF-8, "/" kept.
std::string encode_key(std::string_view key);

struct Target {
    std::string url;
    std::string host;  // the Host header value
};

// A request on one key of `bucket`. In virtual-host style the scheme is the endpoint's as a URL
// parser reads it.
Target object_target(std::string_view endpoint, std::string_view bucket, bool virtual_style, std::string_view key);
// A request on a bucket as a whole (URL ending in "/").
Target bucket_target(std::string_view endpoint, std::string_view bucket, bool virtual_style);
// Whether `bucket` stays one bucket when written raw into a URL: "/", "?" or "#" would end the
// path segment (or the host) early, and "." or ".." are dot segments a URL parser resolves away,
// so that the request would reach another bucket or the service itself. No bucket is so named.
bool bucket_name_fits_url(std::string_view bucket);

// The URL handed to users: a custom domain whole, else the bucket's virtual host or path; the
// key's "." and ".." segments written "%2E" and "%2E%2E" (see escape_dot_segments).
struct PublicUrlBase {
    bool custom_domain;
    std::string_view domain_url;
    std::string_view endpoint;
    std::string_view bucket;
    bool virtual_style;
};
std::string object_url(const PublicUrlBase& base, std::string_view key);
// The path of such a URL as the service reads it, which a signature covers: its escaped dot
// segments read back as "." and "..", since services decode the path before signing it anew.
std::string signed_path(std::string_view url_path);

}  // namespace corvault::core::s3
