// Bucket endpoints, object and share URLs, and the Version 4 signing region of the OSS client.
#include "core/oss_url.hpp"

#include <gtest/gtest.h>

namespace corvault::core::oss {
namespace {

TEST(OssUrl, EndpointsKeepTheRegionCodeAsGiven) {
    EXPECT_EQ(endpoint_url("photos", "oss-cn-hangzhou", false), "https://photos.oss-cn-hangzhou.aliyuncs.com");
    EXPECT_EQ(endpoint_url("photos", "oss-cn-hangzhou", true), "https://photos.oss-cn-hangzhou-internal.aliyuncs.com");
    EXPECT_EQ(endpoint_url("photos", "cn-beijing", false), "https://photos.cn-beijing.aliyuncs.com");
}

TEST(OssUrl, EndpointHostLosesEveryHttpsMarker) {
    EXPECT_EQ(endpoint_host("https://b.oss-cn-hangzhou.aliyuncs.com"), "b.oss-cn-hangzhou.aliyuncs.com");
    EXPECT_EQ(endpoint_host("https://a.https://b"), "a.b");
    EXPECT_EQ(endpoint_host("http://h:1"), "http://h:1");
}

TEST(OssUrl, ObjectUrlEncodesTheKeyWithItsSlashes) {
    EXPECT_EQ(object_url("https://h", "a b/c~d?#\xc3\xa9"), "https://h/a%20b/c~d%3F%23%C3%A9");
    EXPECT_EQ(object_url("https://h", ""), "https://h/");
    EXPECT_EQ(object_url("https://h", "/x//y"), "https://h//x//y");
}

TEST(OssUrl, SigningRegion) {
    EXPECT_EQ(signing_region("oss-cn-hangzhou"), "cn-hangzhou");
    EXPECT_EQ(signing_region("cn-hangzhou"), "cn-hangzhou");
    EXPECT_EQ(signing_region("oss-eu-oss-x"), "eu-x");
    EXPECT_EQ(signing_region("eu-oss-x"), "eu-oss-x");
    EXPECT_EQ(signing_region("oss-oss-"), "");
}

TEST(OssUrl, ShareUrlParametersInOrderAndEncoded) {
    EXPECT_EQ(share_url("https://cdn.example.com", "a b", "id/+", "1700000000", "ab+/c="),
              "https://cdn.example.com/a%20b?OSSAccessKeyId=id%2F%2B&Expires=1700000000&Signature=ab%2B%2Fc%3D");
}

}  // namespace
}  // namespace corvault::core::oss
