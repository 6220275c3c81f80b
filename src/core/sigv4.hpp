// Signature Version 4 and the signatures built on it, header form and query (pre-signed URL)
// form, in the steps of AWS's "Create a signed AWS API request": canonical request, string to
// sign, signing key, signature, and the Authorization value or the signed query string.
//
// Services that adopted the algorithm changed its names and a few of its rules: the algorithm
// word, the key prefix, the scope terminator, which headers are signed, how a header value and an
// empty query value are written, whether the signed header names are listed. A Scheme holds those
// choices; one pipeline serves every scheme.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/digest.hpp"

namespace corvault::core::sigv4 {

// How a signed header's value is written into the canonical request.
enum class HeaderValue {
    Folded,   // trimmed, and every inner run of white space folded to one blank
    Trimmed,  // leading and trailing white space removed, the rest as sent
};

struct Scheme {
    std::string_view algorithm;   // first word of the string to sign and of the Authorization
    std::string_view key_prefix;  // put before the secret to start the key chain
    std::string_view terminator;  // last element of the credential scope and of the key chain
    // A client signs the headers whose lower-cased name starts with `header_prefix` or equals one
    // of `header_names` (unused slots empty).
    std::string_view header_prefix;
    std::array<std::string_view, 3> header_names;
    HeaderValue header_value;
    // A query parameter with an empty value is written as its name alone ("uploads"), not
    // "uploads=".
    bool bare_empty_query_value;
    // The canonical request's header-list line and the Authorization's SignedHeaders field name the
    // signed headers; without it the line stays empty and the field is left out.
    bool lists_signed_headers;
    std::string_view field_separator;  // between the Authorization's fields
    // The canonical URI names the bucket also for a request addressed to the bucket's own host.
    bool uri_always_names_bucket;
};

// Amazon S3.
inline constexpr Scheme kS3{
    "AWS4-HMAC-SHA256",  "AWS4", "aws4_request", "x-amz-", {"host", "content-type", "content-md5"},
    HeaderValue::Folded, false,  true,           ", ",     false};
// Alibaba Cloud OSS, Version 4 header form, without additional signed headers.
inline constexpr Scheme kOss{"OSS4-HMAC-SHA256",
                             "aliyun_v4",
                             "aliyun_v4_request",
                             "x-oss-",
                             {"content-type", "content-md5", ""},
                             HeaderValue::Trimmed,
                             true,
                             false,
                             ",",
                             true};

inline constexpr std::string_view kUnsignedPayload = "UNSIGNED-PAYLOAD";
inline constexpr std::string_view kS3Service = "s3";
inline constexpr std::string_view kOssService = "oss";

// A query parameter as raw bytes (UTF-8 for text), before any encoding.
using QueryParam = std::pair<std::string_view, std::string_view>;
// A header to sign: the name already lower-cased, the value as sent.
using Header = std::pair<std::string_view, std::string_view>;

struct Credentials {
    std::string_view access_key;
    std::string_view secret_key;
};

struct Scope {
    std::string_view date_stamp;  // YYYYMMDD
    std::string_view region;
    std::string_view service;
};

// date/region/service/terminator
std::string credential_scope(const Scheme& scheme, const Scope& scope);

// --- canonical request ---------------------------------------------------------------------------

// "/" + [bucket + "/"] + key percent-encoded with "/" kept; the bucket is named when the request
// goes to the service's host (path style) or when the scheme always names it.
std::string canonical_uri(const Scheme& scheme, bool virtual_host, std::string_view bucket, std::string_view key);

// Pairs percent-encoded with nothing but the unreserved set kept, sorted by the encoded name (then
// value), joined with "&".
std::string canonical_query(const Scheme& scheme, std::vector<QueryParam> params);

// Whether a lower-cased header name is one that clients of the scheme sign.
bool signs_header(const Scheme& scheme, std::string_view lowered_name);

// A header value in the scheme's canonical form (see HeaderValue).
std::string canonical_header_value(const Scheme& scheme, std::string_view value);

struct CanonicalHeaders {
    std::string lines;           // "name:value\n" for each header, in name order
    std::string signed_headers;  // the names joined with ";", in the same order
};
// Headers sorted by name (then canonical value); both views come from that one order.
CanonicalHeaders canonical_headers(const Scheme& scheme, const std::vector<Header>& headers);

// method, URI, query, header lines, header-list line (see Scheme::lists_signed_headers), payload
// hash, one a line.
std::string canonical_request(const Scheme& scheme, std::string_view method, std::string_view canonical_uri,
                              std::string_view canonical_query, const CanonicalHeaders& headers,
                              std::string_view payload_hash);

// --- string to sign, key, signature --------------------------------------------------------------

std::string string_to_sign(const Scheme& scheme, std::string_view request_time, const Scope& scope,
                           std::string_view canonical_request);
// HMAC-SHA256 chain from key prefix + secret over date, region, service and terminator; the last
// key derived is kept per thread.
Sha256Digest signing_key(const Scheme& scheme, std::string_view secret_key, const Scope& scope);
std::string signature(const Sha256Digest& signing_key, std::string_view string_to_sign);

// --- header form ---------------------------------------------------------------------------------

struct HeaderSigning {
    std::string_view method;
    std::string_view canonical_uri;
    std::vector<QueryParam> query;
    std::vector<Header> headers;  // lower-cased names of the headers to sign, values as sent
    std::string_view payload_hash;
    std::string_view request_time;  // YYYYMMDDTHHMMSSZ
    Scope scope;
    Credentials credentials;
};

// Every intermediate text of one header-form signature, for callers that show or test the steps.
struct Steps {
    CanonicalHeaders headers;
    std::string canonical_request;
    std::string string_to_sign;
    std::string signature;
};
Steps signing_steps(const Scheme& scheme, const HeaderSigning& request);

// algorithm + " Credential=<key>/<scope>" [+ sep + "SignedHeaders=<names>"] + sep + "Signature=<hex>"
std::string authorization(const Scheme& scheme, const HeaderSigning& request);

// --- query form (pre-signed URL, S3) -------------------------------------------------------------

struct QuerySigning {
    std::string_view method;
    std::string_view url;            // the object URL, without a query
    std::string_view host;           // network location of `url`
    std::string_view canonical_uri;  // path of `url`, as built
    std::string_view expires;        // lifetime in seconds, decimal
    std::vector<QueryParam> extra;   // the caller's parameters; a name of the five replaces its value
    std::string_view request_time;
    Scope scope;
    Credentials credentials;
};

// url + "?" + the signed query + "&X-Amz-Signature=" + signature; the query names are S3's, the
// signature the S3 scheme's.
std::string presigned_url(const QuerySigning& request);

}  // namespace corvault::core::sigv4
