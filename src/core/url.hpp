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

// The path and query of `url` as written, which is what goes on the request line ("/" for an
// empty path; a fragment is never sent).
std::string request_target(std::string_view url);

// Whether the path of `url` holds a "." or ".." segment. HTTP clients that follow RFC 3986
// remove such segments before sending (httpx does, and so do browsers), and the request would
// then reach another resource: "/b/logs/../k" goes out as "/b/k".
bool has_dot_segment(std::string_view url);

// `url` with each "." and ".." segment of its path written "%2E" and "%2E%2E", which servers
// decode back and clients leave alone. For URLs handed to others, whose clients would otherwise
// remove those segments.
std::string escape_dot_segments(std::string_view url);
// The same in place; a URL without such a segment, nearly every one, is only scanned.
void escape_dot_segments_in_place(std::string& url);
// The same for a path alone (no scheme, authority, query or fragment), appended to `out`.
void append_escaping_dot_segments(std::string& out, std::string_view path);

// Every "https://" removed, then every "http://": the host (and port and path) of an endpoint.
std::string strip_scheme_markers(std::string_view endpoint);

// The text before the first "://", or the whole text when there is none.
std::string_view scheme_prefix(std::string_view endpoint);

// Every trailing "/" removed.
std::string_view strip_trailing_slashes(std::string_view text);

}  // namespace corvault::core
