// Where Alibaba Cloud OSS requests go and what its object and share URLs look like. A bucket is
// always addressed by its own host name (bucket + "." + region + the endpoint domain).
#pragma once

#include <string>
#include <string_view>

namespace corvault::core::oss {

// "https://" + bucket + "." + region + the public (or internal-network) endpoint domain. The
// region code is used as given, with or without its "oss-" prefix.
std::string endpoint_url(std::string_view bucket, std::string_view region, bool internal);

// The Host header of an endpoint URL: the URL with every "https://" removed.
std::string endpoint_host(std::string_view endpoint_url);

// The URL a request for `key` is sent to: base + "/" + the key percent-encoded over UTF-8 with
// "/" kept, its "." and ".." segments as they are (the request keeps its path as built).
std::string request_url(std::string_view base, std::string_view key);

// The same URL handed to users, with its "." and ".." segments written "%2E" and "%2E%2E": their
// clients would remove such segments and reach another object, while the service decodes them
// back to the key.
std::string object_url(std::string_view base, std::string_view key);

// The region a Version 4 signature names: a region code that starts with "oss-" loses every
// "oss-" ("oss-cn-hangzhou" signs as "cn-hangzhou"); any other code is used as it is.
std::string signing_region(std::string_view region);

// A Version 1 share URL: object_url(), then OSSAccessKeyId, Expires and Signature in that
// order, the key identifier and the Base64 signature percent-encoded with nothing kept.
std::string share_url(std::string_view base, std::string_view key, std::string_view access_key_id,
                      std::string_view expires, std::string_view signature);

}  // namespace corvault::core::oss
