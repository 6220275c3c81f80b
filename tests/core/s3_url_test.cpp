// Object and bucket addresses in path style and virtual-host style.
#include "core/s3_url.hpp"

#include <gtest/gtest.h>

#include <string>

namespace corvault::core::s3 {
namespace {

TEST(S3Url, EncodeKey) {
    const std::pair<const char*, const char*> cases[] = {
        {"dir/sub/file.txt", "dir/sub/file.txt"},
        {"a~b-c_d.e", "a~b-c_d.e"},
        {"a b", "a%20b"},
        {"caf\xc3\xa9", "caf%C3%A9"},
        {"what?", "what%3F"},
        {"1+1", "1%2B1"},
        {"test$file.text", "test%24file.text"},
        {"", ""},
    };
    for (const auto& [key, expected] : cases) EXPECT_EQ(encode_key(key), expected) << key;
}

TEST(S3Url, ObjectTarget) {
    Target t = object_target("http://127.0.0.1:9000", "bkt", false, "dir/a b.txt");
    EXPECT_EQ(t.url, "http://127.0.0.1:9000/bkt/dir/a%20b.txt");
    EXPECT_EQ(t.host, "127.0.0.1:9000");

    t = object_target("http://127.0.0.1:9000", "bkt", true, "key");
    EXPECT_EQ(t.url, "http://bkt.127.0.0.1:9000/key");
    EXPECT_EQ(t.host, "bkt.127.0.0.1:9000");

    t = object_target("https://s3.example.com", "bkt", true, "\xc3\xa9/x");
    EXPECT_EQ(t.url, "https://bkt.s3.example.com/%C3%A9/x");
    EXPECT_EQ(t.host, "bkt.s3.example.com");

    // The scheme comes from a URL parser, which lower-cases it.
    t = object_target("HTTPS://Host", "bkt", true, "k");
    EXPECT_EQ(t.url.substr(0, 8), "https://");

    t = object_target("http://127.0.0.1:9000", "bkt", false, "/lead");
    EXPECT_EQ(t.url, "http://127.0.0.1:9000/bkt//lead");
    t = object_target("http://127.0.0.1:9000", "bkt", true, "/lead");
    EXPECT_EQ(t.url, "http://bkt.127.0.0.1:9000//lead");
}

TEST(S3Url, BucketTarget) {
    Target t = bucket_target("http://127.0.0.1:9000", "bkt", false);
    EXPECT_EQ(t.url, "http://127.0.0.1:9000/bkt/");
    EXPECT_EQ(t.host, "127.0.0.1:9000");

    t = bucket_target("https://s3.example.com", "bkt", true);
    EXPECT_EQ(t.url, "https://bkt.s3.example.com/");
    EXPECT_EQ(t.host, "bkt.s3.example.com");

    // Here the scheme is the endpoint text before "://", as written.
    t = bucket_target("HTTP://h:1", "bkt", true);
    EXPECT_EQ(t.url.substr(0, 7), "HTTP://");
}

TEST(S3Url, BucketNameFitsUrl) {
    for (const char* name : {"bkt", "my.bucket", "a..b", "...", "-", "caf\xc3\xa9"}) {
        EXPECT_TRUE(bucket_name_fits_url(name)) << name;
    }
    for (const char* name : {"own/../victim", "a/", "/", "b?acl", "b#x", ".", "..", "?", "#"}) {
        EXPECT_FALSE(bucket_name_fits_url(name)) << name;
    }
}

TEST(S3Url, ObjectUrl) {
    PublicUrlBase custom{true, "https://cdn.example.com/assets", "http://127.0.0.1:9000", "bkt", true};
    EXPECT_EQ(object_url(custom, "a b/c.txt"), "https://cdn.example.com/assets/a%20b/c.txt");
    EXPECT_EQ(object_url(custom, ""), "https://cdn.example.com/assets/");

    PublicUrlBase virtual_host{false, "", "https://s3.example.com", "bkt", true};
    EXPECT_EQ(object_url(virtual_host, "dir/\xc3\xa9.txt"), "https://bkt.s3.example.com/dir/%C3%A9.txt");
    EXPECT_EQ(object_url(virtual_host, ""), "https://bkt.s3.example.com/");

    PublicUrlBase path{false, "", "http://127.0.0.1:9000", "bkt", false};
    EXPECT_EQ(object_url(path, "x?y"), "http://127.0.0.1:9000/bkt/x%3Fy");
    // Dot segments of the key survive the clients that would remove them.
    EXPECT_EQ(object_url(path, "logs/../important"), "http://127.0.0.1:9000/bkt/logs/%2E%2E/important");
    EXPECT_EQ(object_url(virtual_host, "./a/.b/.."), "https://bkt.s3.example.com/%2E/a/.b/%2E%2E");
    EXPECT_EQ(object_url(custom, ".."), "https://cdn.example.com/assets/%2E%2E");
    EXPECT_EQ(signed_path("/bkt/logs/%2E%2E/important"), "/bkt/logs/../important");
    EXPECT_EQ(signed_path("/%2E/a/.b/%2E%2E/"), "/./a/.b/../");
    EXPECT_EQ(signed_path("/bkt/%252E/%2E%2E%2E/a%2Eb"), "/bkt/%252E/%2E%2E%2E/a%2Eb");  // not whole segments
    EXPECT_EQ(object_url(path, ""), "http://127.0.0.1:9000/bkt/");
}

}  // namespace
}  // namespace corvault::core::s3
