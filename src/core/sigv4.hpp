// AWS Signature Version 4, header form and query (pre-signed URL) form, in the steps of AWS's
// "Create a signed AWS API request": canonical request, string to sign, signing key,
// signature, and the Authorization value or the signed query string.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/digest.hpp"

namespace corvault::core::sigv4 {

inline constexpr std::string_view kAlgorithm = "AWS4-HMAC-SHA256";
inline constexpr std::string_view kTerminator = "aws4_request";
inline constexpr std::string_view kKeyPrefix = "AWS4";
inline constexpr std::string_view kUnsignedPayload = "UNSIGNED-PAYLOAD";
inline constexpr std::string_view kS3Service = "s3";

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
    std::string str() const;  // date/region/service/aws4_request
};

// --- canonical request ---------------------------------------------------------------------------

// "name=value" pairs, both percent-encoded with nothing but the unreserved set kept, sorted by
// the encoded name (then value).
std::string canonical_query(std::vector<QueryParam> params);

// Whether a lower-cased header name takes part in the signature of this client's requests.
bool is_signed_header(std::string_view lowered_name);

// A header value in canonical form: trimmed, inner runs of white space folded to one blank.
std::string canonical_header_value(std::string_view value);

struct CanonicalHeaders {
    std::string lines;          // "name:value\n" for each header, in name order
    std::string signed_headers; // the names joined with ";", in the same order
};
// Headers sorted by name (then value); both views come from that one order.
CanonicalHeaders canonical_headers(const std::vector<Header>& headers);

std::string canonical_request(std::string_view method, std::string_view canonical_uri,
                              std::string_view canonical_query, const CanonicalHeaders& headers,
                              std::string_view payload_hash);

// --- string to sign, key, signature --------------------------------------------------------------

std::string string_to_sign(std::string_view request_time, const Scope& scope, std::string_view canonical_request);
Sha256Digest signing_key(std::string_view secret_key, const Scope& scope);
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

// "AWS4-HMAC-SHA256 Credential=<key>/<scope>, SignedHeaders=<names>, Signature=<hex>"
std::string authorization(const HeaderSigning& request);

// --- query form (pre-signed URL) -----------------------------------------------------------------

struct QuerySigning {
    std::string_view method;
    std::string_view url;           // the object URL, without a query
    std::string_view host;          // network location of `url`
    std::string_view canonical_uri; // path of `url`, as built
    std::string_view expires;       // lifetime in seconds, decimal
    std::vector<QueryParam> extra;  // the caller's parameters; a name of the five replaces its value
    std::string_view request_time;
    Scope scope;
    Credentials credentials;
};

// url + "?" + the signed query + "&X-Amz-Signature=" + signature
std::string presigned_url(const QuerySigning& request);

}  // namespace corvault::core::sigv4
