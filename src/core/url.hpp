// Splitting and trimming of URL text, with the semantics of Python's urllib.parse.urlsplit so
// that a host or path taken from a URL is the one the HTTP client will send.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvault::core {

struct UrlParts {
    std::string scheme;  // lower-cased, empty when the text has none
    std::string netloc;  // host and port (and any user information), empty when absent
    std::string path;    // as written: nothing is decoded or normalised
    std::string query;
    std::string fragment;
};

// Throws std::invalid_argument("Invalid IPv6 URL") for an unbalanced bracket in the host part.
UrlParts split_url(std::string_view url);

// Appends "?" and the "name=value" pairs in the order given, each percent-encoded with only the
// unreserved characters kept: the very encoding Signature V4 covers, so that the query a server
// receives is the one that was signed.
void append_query(std::string& url, const std::vector<std::pair<std::string_view, std::string_view>>& pairs);

// Every "https://" removed, then every "http://": the host (and port and path) of an endpoint.
std::string strip_scheme_markers(std::string_view endpoint);

// The text before the first "://", or the whole text when there is none.
std::string_view scheme_prefix(std::string_view endpoint);

// Every trailing "/" removed.
std::string_view strip_trailing_slashes(std::string_view text);

}  // namespace corvault::core
