// URL splitting and endpoint trimming. Expected parts are those of Python's urllib.parse.urlsplit.
#include "core/url.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

namespace corvault::core {
namespace {

struct SplitCase {
    std::string url;
    const char *scheme, *netloc, *path, *query, *fragment;
};

TEST(SplitUrl, MatchesUrlsplit) {
    const SplitCase cases[] = {
        // as urllib.parse.urlsplit
        {"http://127.0.0.1:9000/b/a%20b?x=1#f", "http", "127.0.0.1:9000", "/b/a%20b", "x=1", "f"},
        {"HTTPS://Host/p", "https", "Host", "/p", "", ""},
        {"s3.amazonaws.com/b", "", "", "s3.amazonaws.com/b", "", ""},
        {"localhost:9000/x", "localhost", "", "9000/x", "", ""},
        {"http://[::1]:9000/b", "http", "[::1]:9000", "/b", "", ""},
        {"http://u:p@h:1/?#", "http", "u:p@h:1", "/", "", ""},
        {"/only/path?a=b?c#x#y", "", "", "/only/path", "a=b?c", "x#y"},
        {"1http://h/p", "", "", "1http://h/p", "", ""},
        {"https://h", "https", "h", "", "", ""},
        {"", "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const UrlParts parts = split_url(c.url);
        EXPECT_EQ(parts.scheme, c.scheme);
        EXPECT_EQ(parts.netloc, c.netloc);
        EXPECT_EQ(parts.path, c.path);
        EXPECT_EQ(parts.query, c.query);
        EXPECT_EQ(parts.fragment, c.fragment);
    }
}

TEST(SplitUrl, DropsLeadingControlsAndEmbeddedTabsAndNewlines) {
    // as urllib.parse.urlsplit(" \x01\x1f http://h/p") -> ("http", "h", "/p", "", "")
    UrlParts parts = split_url(" \x01\x1f http://h/p");
    EXPECT_EQ(parts.scheme, "http");
    EXPECT_EQ(parts.netloc, "h");
    EXPECT_EQ(parts.path, "/p");
    // as urllib.parse.urlsplit("ht\ttp://h\n/p\r?q") -> ("http", "h", "/p", "q", "")
    parts = split_url("ht\ttp://h\n/p\r?q");
    EXPECT_EQ(parts.scheme, "http");
    EXPECT_EQ(parts.netloc, "h");
    EXPECT_EQ(parts.path, "/p");
    EXPECT_EQ(parts.query, "q");
    EXPECT_EQ(parts.fragment, "");
}

TEST(SplitUrl, UnbalancedBracketThrows) {
    // urllib.parse.urlsplit raises ValueError("Invalid IPv6 URL") for both.
    EXPECT_THROW(split_url("http://[::1"), std::invalid_argument);
    EXPECT_THROW(split_url("http://h]/p"), std::invalid_argument);
    try {
        split_url("http://[::1/p");
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Invalid IPv6 URL");
    }
}

// Dot segments as RFC 3986 section 5.2.4 defines them: a whole segment "." or "..", of the path
// only, never of the authority, the query or the fragment.
TEST(DotSegments, FoundOnlyAsWholePathSegments) {
    const std::pair<const char*, bool> cases[] = {
        {"http://h/b/logs/../important", true},
        {"http://h/b/a/./b", true},
        {"http://h/b/x/..", true},
        {"http://h/b/.", true},
        {"http://h/..", true},
        {"http://h/b/..hidden/...", false},
        {"http://h/b/a.b/c.", false},
        {"http://h/b/k?x=..&y=/../", false},
        {"http://h/b/k#/../", false},
        {"http://h.example/b/%2E%2E", false},
        {"http://h:1", false},
        {"/b/../k", true},
        {"./k", true},
        {"..", true},
        {".k/..k", false},
        {"http://./b", false},
    };
    for (const auto& [url, expected] : cases) {
        SCOPED_TRACE(url);
        EXPECT_EQ(has_dot_segment(url), expected);
    }
}

TEST(DotSegments, EscapedForHandedOutUrls) {
    EXPECT_EQ(escape_dot_segments("http://h/b/logs/../important?x=..#.."), "http://h/b/logs/%2E%2E/important?x=..#..");
    EXPECT_EQ(escape_dot_segments("https://b.h/./a/./.."), "https://b.h/%2E/a/%2E/%2E%2E");
    EXPECT_EQ(escape_dot_segments("x/.."), "x/%2E%2E");
    EXPECT_EQ(escape_dot_segments("http://h.example/b/...k/.k./k"), "http://h.example/b/...k/.k./k");
    for (std::string url : {"http://h.example/b/a.jpg?x=/..", "https://b.h/./a/.."}) {
        SCOPED_TRACE(url);
        const std::string expected = escape_dot_segments(url);
        escape_dot_segments_in_place(url);
        EXPECT_EQ(url, expected);
    }
}

TEST(DotSegments, RequestTargetIsThePathAndQueryAsWritten) {
    EXPECT_EQ(request_target("http://h:9000/b/logs/../k?acl=&x=%20#frag"), "/b/logs/../k?acl=&x=%20");
    EXPECT_EQ(request_target("https://b.h"), "/");
    EXPECT_EQ(request_target("https://b.h?x=1"), "/?x=1");
    EXPECT_EQ(request_target("http://h/./"), "/./");
}

TEST(EndpointText, StripSchemeMarkers) {
    EXPECT_EQ(strip_scheme_markers("https://a.com"), "a.com");
    EXPECT_EQ(strip_scheme_markers("http://h:80/p"), "h:80/p");
    EXPECT_EQ(strip_scheme_markers("plain.host"), "plain.host");
    EXPECT_EQ(strip_scheme_markers("https://https://x"), "x");
    // "https://" goes first, so the "http://" it leaves behind goes too.
    EXPECT_EQ(strip_scheme_markers("hthttps://tp://x"), "x");
}

TEST(EndpointText, SchemePrefix) {
    EXPECT_EQ(scheme_prefix("https://x"), "https");
    EXPECT_EQ(scheme_prefix("http://h:80/a://b"), "http");
    EXPECT_EQ(scheme_prefix("no-scheme.host"), "no-scheme.host");
    EXPECT_EQ(scheme_prefix(""), "");
}

TEST(EndpointText, StripTrailingSlashes) {
    EXPECT_EQ(strip_trailing_slashes("a//"), "a");
    EXPECT_EQ(strip_trailing_slashes("a/b/"), "a/b");
    EXPECT_EQ(strip_trailing_slashes("/a"), "/a");
    EXPECT_EQ(strip_trailing_slashes("///"), "");
    EXPECT_EQ(strip_trailing_slashes(""), "");
}

}  // namespace
}  // namespace corvault::core
