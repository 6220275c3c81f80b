// The Version 2 shape: each scheme's vendor headers, resource and Authorization word. AWS's and
// OSS's published examples are the folders of tests/vectors.
#include "core/sigv2.hpp"

#include <gtest/gtest.h>

#include <string>

namespace corvault::core::sigv2 {
namespace {

TEST(SigV2, SubResourcesBySchemes) {
    struct Case {
        const char* name;
        bool s3, oss;
    };
    const Case cases[] = {
        {"acl", true, true},
        {"uploads", true, true},
        {"uploadId", true, true},
        {"partNumber", true, true},
        {"versionId", true, true},
        {"response-content-type", true, true},
        {"lifecycle", true, true},
        {"tagging", true, true},
        {"versioning", true, true},
        {"website", true, true},
        {"torrent", true, false},
        {"security-token", false, true},
        {"x-oss-process", false, true},
        {"append", false, true},
        {"prefix", false, false},
        {"max-keys", false, false},
        {"list-type", false, false},
        {"marker", false, false},
        {"continuation-token", false, false},
        {"delimiter", false, false},
        {"uploadid", false, false},
        {"ACL", false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_sub_resource(kS3, c.name), c.s3) << c.name;
        EXPECT_EQ(is_sub_resource(kOss, c.name), c.oss) << c.name;
        EXPECT_FALSE(is_sub_resource(kUFile, c.name)) << c.name;
    }
}

TEST(SigV2, VendorHeadersBySchemes) {
    EXPECT_TRUE(is_vendor_header(kS3, "x-amz-meta-a"));
    EXPECT_FALSE(is_vendor_header(kS3, "x-amzfoo"));
    EXPECT_TRUE(is_vendor_header(kOss, "x-oss-meta-a"));
    EXPECT_FALSE(is_vendor_header(kOss, "x-amz-date"));
    // UFile's test is a plain prefix test: a name that continues right after it qualifies too.
    for (const char* name : {"x-ucloud-meta-a", "x-ucloudfoo", "x-ucloud"}) EXPECT_TRUE(is_vendor_header(kUFile, name));
    for (const char* name : {"x-uclou", "content-type", "date", "range"}) EXPECT_FALSE(is_vendor_header(kUFile, name));
}

TEST(SigV2, ResourcePathEncodedOrRaw) {
    EXPECT_EQ(resource_path(kS3, "b", "a b/\xc3\xa9+%"), "/b/a%20b/%C3%A9%2B%25");
    EXPECT_EQ(resource_path(kOss, "b", "a b/\xc3\xa9+%"), "/b/a b/\xc3\xa9+%");
    EXPECT_EQ(resource_path(kUFile, "bk", "/lead?x"), "/bk//lead?x");
    EXPECT_EQ(resource_path(kUFile, "bk", ""), "/bk/");
}

TEST(SigV2, CanonicalResource) {
    EXPECT_EQ(canonical_resource("/b/k", {}), "/b/k");
    EXPECT_EQ(canonical_resource("/b/k", {{"versionId", "v1"}, {"acl", ""}}), "/b/k?acl&versionId=v1");
    EXPECT_EQ(canonical_resource("/b/k", {{"uploads", ""}}), "/b/k?uploads");
    EXPECT_EQ(canonical_resource("/b/k", {{"uploadId", "x/y"}, {"partNumber", "2"}}), "/b/k?partNumber=2&uploadId=x/y");
    // Code point order: "uploadId" before "uploads" ('I' < 's'); values stay unencoded.
    EXPECT_EQ(canonical_resource("/b/", {{"uploads", ""}, {"uploadId", "a b"}}), "/b/?uploadId=a b&uploads");
    EXPECT_EQ(canonical_resource("/b/k", {{"response-content-type", "text/plain; charset=utf-8"}}),
              "/b/k?response-content-type=text/plain; charset=utf-8");
}

TEST(SigV2, CanonicalVendorHeaders) {
    EXPECT_EQ(canonical_vendor_headers(kS3, {}), "");
    EXPECT_EQ(canonical_vendor_headers(kS3, {{"x-amz-meta-a-b", "2"}, {"x-amz-meta-a", "1"}}),
              "x-amz-meta-a:1\nx-amz-meta-a-b:2\n");
    EXPECT_EQ(canonical_vendor_headers(kS3, {{"x-amz-date", "  Tue, 27 Mar 2007 21:20:26 +0000\t"}}),
              "x-amz-date:Tue, 27 Mar 2007 21:20:26 +0000\n");
    // S3 and OSS keep a line per header; UFile keeps the last value of a name, untrimmed.
    EXPECT_EQ(canonical_vendor_headers(kOss, {{"x-oss-meta-a", "2"}, {"x-oss-meta-a", " 1 "}}),
              "x-oss-meta-a:1\nx-oss-meta-a:2\n");
    EXPECT_EQ(canonical_vendor_headers(kUFile, {{"x-ucloud-b", "first"},
                                                {"x-ucloud-a", " 1 "},
                                                {"x-ucloud-b", "second"},
                                                {"x-ucloud-c", "3"},
                                                {"x-ucloud-b", "third"}}),
              "x-ucloud-a: 1 \nx-ucloud-b:third\nx-ucloud-c:3\n");
    EXPECT_EQ(canonical_vendor_headers(kUFile, {{"x-ucloud-z", "z"}, {"x-ucloud-y", "y"}}),
              "x-ucloud-y:y\nx-ucloud-z:z\n");
}

TEST(SigV2, StringToSignAndAuthorizationWord) {
    // UFile's documented form: a GET of "a/b" in "bk" without content values, headers or expiry.
    Request ufile{"GET", "", "", "", canonical_vendor_headers(kUFile, {}), resource_path(kUFile, "bk", "a/b")};
    EXPECT_EQ(string_to_sign(ufile), "GET\n\n\n\n/bk/a/b");
    const std::string auth = authorization(kUFile, "pub", "priv", ufile);
    EXPECT_EQ(auth.substr(0, 11), "UCloud pub:");
    EXPECT_EQ(auth.substr(11), signature("priv", string_to_sign(ufile)));
    EXPECT_EQ(auth.size(), 11u + 28u);

    Request s3{"PUT", "md5", "text/plain", "date", "x-amz-a:1\n", "/b/k"};
    EXPECT_EQ(string_to_sign(s3), "PUT\nmd5\ntext/plain\ndate\nx-amz-a:1\n/b/k");
    EXPECT_EQ(authorization(kS3, "AK", "SK", s3).substr(0, 7), "AWS AK:");
    EXPECT_EQ(authorization(kOss, "AK", "SK", s3).substr(0, 7), "OSS AK:");
}

}  // namespace
}  // namespace corvault::core::sigv2
