// The schema-driven listing reader: OSS's ListObjects sample through its schema, and what a schema
// changes (entry, fields, continuation element). S3's ListObjectsV2 samples are in s3_answers_test.
#include "core/listing.hpp"

#include <gtest/gtest.h>

namespace corvault::core::listing {
namespace {

// ListObjects, as in OSS's example of a truncated page.
const char kOssListing[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ListBucketResult xmlns="http://doc.oss-cn-hangzhou.aliyuncs.com">
  <Name>examplebucket</Name>
  <Prefix>fun/</Prefix>
  <Marker></Marker>
  <MaxKeys>100</MaxKeys>
  <Delimiter></Delimiter>
  <IsTruncated>true</IsTruncated>
  <NextMarker>fun/test.jpg</NextMarker>
  <Contents>
    <Key>fun/movie/001.avi</Key>
    <LastModified>2012-02-24T08:43:07.000Z</LastModified>
    <ETag>"5B3C1A2E053D763E1B002CC607C5A0FE1****"</ETag>
    <Type>Normal</Type>
    <Size>344606</Size>
    <StorageClass>Standard</StorageClass>
    <Owner><ID>0022012****</ID><DisplayName>user-example</DisplayName></Owner>
  </Contents>
  <Contents>
    <Key>fun/test.jpg</Key>
    <LastModified>2012-02-24T08:42:32.000Z</LastModified>
    <ETag>"5B3C1A2E053D763E1B002CC607C5A0FE1****"</ETag>
    <Type>Normal</Type>
    <Size>344606</Size>
    <StorageClass>Standard</StorageClass>
  </Contents>
</ListBucketResult>)";

TEST(Listing, OssSampleThroughItsSchema) {
    const Listing page = read(kOssListObjects, kOssListing);
    ASSERT_EQ(page.size(), 2u);
    EXPECT_EQ(page.field(0, 0).value, "fun/movie/001.avi");
    EXPECT_EQ(page.field(0, 1).value, "344606");
    EXPECT_EQ(page.field(0, 2).value, "2012-02-24T08:43:07.000Z");
    EXPECT_EQ(page.field(0, 3).value, "\"5B3C1A2E053D763E1B002CC607C5A0FE1****\"");
    EXPECT_EQ(page.field(1, 0).value, "fun/test.jpg");
    EXPECT_TRUE(page.continues());
    EXPECT_EQ(page.next_marker().value, "fun/test.jpg");
    // Through S3's schema the same page has no continuation element.
    EXPECT_TRUE(read(kS3ListObjectsV2, kOssListing).next_marker().missing());
}

TEST(Listing, TruncationFlagIsExactlyTrue) {
    const std::pair<const char*, bool> cases[] = {
        {"<R><IsTruncated>true</IsTruncated></R>", true},
        {"<R><IsTruncated>True</IsTruncated></R>", false},
        {"<R><IsTruncated> true</IsTruncated></R>", false},
        {"<R><IsTruncated/></R>", false},
        {"<R/>", false},
        {"<R><X><IsTruncated>true</IsTruncated></X></R>", false},  // only a direct child of the root
    };
    for (const auto& [document, continues] : cases) {
        EXPECT_EQ(read(kOssListObjects, document).continues(), continues) << document;
    }
}

TEST(Listing, SchemaNamesEntryFieldsAndMarker) {
    const Schema schema{"Item", {"B", "A", "Missing"}, "More", "Next"};
    const Listing page = read(schema,
                              "<R><Item><A>a1</A><B>b1</B><A>second</A></Item><Deep><Item><B/></Item></Deep>"
                              "<Contents><A>not an entry</A></Contents><More>true</More><Next>n</Next></R>");
    ASSERT_EQ(page.size(), 2u);
    EXPECT_EQ(page.field(0, 0).value, "b1");
    EXPECT_EQ(page.field(0, 1).value, "a1");  // the first of a name counts
    EXPECT_TRUE(page.field(0, 2).missing());
    EXPECT_TRUE(page.field(1, 0).empty());
    EXPECT_TRUE(page.field(1, 1).missing());
    EXPECT_TRUE(page.continues());
    EXPECT_EQ(page.next_marker().value, "n");

    const Listing none = read(schema, "<R><Other/></R>");
    EXPECT_EQ(none.size(), 0u);
    EXPECT_FALSE(none.continues());
    EXPECT_THROW(read(schema, "<R><Item></R>"), xml::ParseError);
    EXPECT_THROW(read(schema, ""), xml::ParseError);
}

}  // namespace
}  // namespace corvault::core::listing
