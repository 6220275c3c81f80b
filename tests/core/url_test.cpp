// URL splitting and endpoint trimming. Expected parts are those of Python's urllib.parse.urlsplit.
#include "core/url.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

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
