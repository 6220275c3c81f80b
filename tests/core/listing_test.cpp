// The schema-driven listing reader: AWS's ListObjectsV2 and OSS's ListObjects samples through their
// schemas, namespaces, and what a schema changes (entry, fields, continuation element).
#include "core/listing.hpp"

#include <gtest/gtest.h>

#include <string>

namespace corvault::core::listing {
namespace {

// The field order of both object-listing schemas.
enum Field { kKey, kSize, kLastModified, kEtag };

// ListObjectsV2, as in AWS's example of a listing with a continuation token.
const char kListing[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ListBucketResult xmlns="http://s3.amazonaws.com/doc/2006-03-01/">
  <Name>bucket</Name>
  <Prefix></Prefix>
  <NextContinuationToken>1ueGcxLPRx1Tr/XYExHnhbYLgveDs2J/wm36Hy4vbOwM=</NextContinuationToken>
  <KeyCount>2</KeyCount>
  <MaxKeys>2</MaxKeys>
  <IsTruncated>true</IsTruncated>
  <Contents>
    <Key>ExampleObject.txt</Key>
    <LastModified>2013-09-17T18:07:53.000Z</LastModified>
    <ETag>&quot;599bab3ed2c697f1d26842727561fd94&quot;</ETag>
    <Size>857</Size>
    <StorageClass>REDUCED_REDUNDANCY</StorageClass>
  </Contents>
  <Contents>
    <Key>happyface.jpg</Key>
    <LastModified>2014-11-21T19:40:05.000Z</LastModified>
    <ETag>"70ee1738b6b21e2c8a43f3a5ab0eee71"</ETag>
    <Size>11</Size>
    <StorageClass>STANDARD</StorageClass>
  </Contents>
</ListBucketResult>)";

std::string without_namespace(std::string text) {
    const std::string_view ns = " xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\"";
    const auto at = text.find(ns);
    if (at != std::string::npos) text.erase(at, ns.size());
    EXPECT_EQ(text.find("xmlns"), std::string::npos);
    return text;
}

void expect_sample_listing(const Listing& listing) {
    ASSERT_EQ(listing.size(), 2u);
    EXPECT_EQ(listing.field(0, kKey).value, "ExampleObject.txt");
    EXPECT_EQ(listing.field(0, kSize).value, "857");
    EXPECT_EQ(listing.field(0, kLastModified).value, "2013-09-17T18:07:53.000Z");
    EXPECT_EQ(listing.field(0, kEtag).value, "\"599bab3ed2c697f1d26842727561fd94\"");
    EXPECT_EQ(listing.field(1, kKey).value, "happyface.jpg");
    EXPECT_EQ(listing.field(1, kSize).value, "11");
    EXPECT_EQ(listing.field(1, kEtag).value, "\"70ee1738b6b21e2c8a43f3a5ab0eee71\"");
    EXPECT_EQ(listing.truncated().value, "true");
    EXPECT_EQ(listing.next_marker().value, "1ueGcxLPRx1Tr/XYExHnhbYLgveDs2J/wm36Hy4vbOwM=");
}

TEST(S3Listing, AwsSampleWithAndWithoutNamespace) {
    expect_sample_listing(read(kS3ListObjectsV2, kListing));
    expect_sample_listing(read(kS3ListObjectsV2, without_namespace(kListing)));
}

TEST(S3Listing, PrefixedNamespaceReadsTheSame) {
    expect_sample_listing(read(
        kS3ListObjectsV2,
        "<s3:ListBucketResult xmlns:s3='http://s3.amazonaws.com/doc/2006-03-01/'>"
        "<s3:NextContinuationToken>1ueGcxLPRx1Tr/XYExHnhbYLgveDs2J/wm36Hy4vbOwM=</s3:NextContinuationToken>"
        "<s3:IsTruncated>true</s3:IsTruncated>"
        "<s3:Contents><s3:Key>ExampleObject.txt</s3:Key><s3:LastModified>2013-09-17T18:07:53.000Z</s3:LastModified>"
        "<s3:ETag>\"599bab3ed2c697f1d26842727561fd94\"</s3:ETag><s3:Size>857</s3:Size></s3:Contents>"
        "<s3:Contents><s3:Key>happyface.jpg</s3:Key><s3:ETag>\"70ee1738b6b21e2c8a43f3a5ab0eee71\"</s3:ETag>"
        "<s3:Size>11</s3:Size></s3:Contents></s3:ListBucketResult>"));
}

TEST(S3Listing, ForeignNamespaceDepthAndMissingFields) {
    const Listing listing =
        read(kS3ListObjectsV2,
             "<ListBucketResult xmlns='http://s3.amazonaws.com/doc/2006-03-01/' xmlns:x='urn:other'>"
             "<x:Contents><Key>foreign prefix</Key></x:Contents>"
             "<Contents xmlns='urn:other'><Key>foreign default</Key></Contents>"
             "<Contents><Key></Key><x:Size>1</x:Size></Contents>"
             "<Group><Contents><Key>a&amp;b &#x4E2D;</Key><Size>0</Size></Contents></Group>"
             "<Group><IsTruncated>true</IsTruncated></Group></ListBucketResult>");
    ASSERT_EQ(listing.size(), 2u);
    EXPECT_TRUE(listing.field(0, kKey).empty());
    EXPECT_TRUE(listing.field(0, kSize).missing());
    EXPECT_TRUE(listing.field(0, kEtag).missing());
    EXPECT_EQ(listing.field(1, kKey).value, "a&b \xe4\xb8\xad");
    EXPECT_EQ(listing.field(1, kSize).value, "0");
    EXPECT_TRUE(listing.truncated().missing());  // only a direct child of the root counts
    EXPECT_TRUE(listing.next_marker().missing());
}

TEST(S3Listing, KeysWithCdataAndComments) {
    const Listing listing =
        read(kS3ListObjectsV2,
             "<ListBucketResult><Contents><Key><![CDATA[<odd>&]]></Key></Contents>"
             "<Contents><Key>split<!-- x -->key</Key></Contents><IsTruncated>false</IsTruncated></ListBucketResult>");
    ASSERT_EQ(listing.size(), 2u);
    EXPECT_EQ(listing.field(0, kKey).value, "<odd>&");
    EXPECT_EQ(listing.field(1, kKey).value, "splitkey");
    EXPECT_EQ(listing.truncated().value, "false");
}

TEST(S3Listing, ParseErrorsPropagate) {
    EXPECT_THROW(read(kS3ListObjectsV2, "<ListBucketResult><Contents></ListBucketResult>"), xml::ParseError);
    EXPECT_THROW(read(kS3ListObjectsV2, ""), xml::ParseError);
}

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
    EXPECT_EQ(page.field(0, kKey).value, "fun/movie/001.avi");
    EXPECT_EQ(page.field(0, kSize).value, "344606");
    EXPECT_EQ(page.field(0, kLastModified).value, "2012-02-24T08:43:07.000Z");
    EXPECT_EQ(page.field(0, kEtag).value, "\"5B3C1A2E053D763E1B002CC607C5A0FE1****\"");
    EXPECT_EQ(page.field(1, kKey).value, "fun/test.jpg");
    EXPECT_TRUE(page.continues());
    EXPECT_EQ(page.next_marker().value, "fun/test.jpg");
    // Through S3's schema the same page has no continuation element.
    EXPECT_TRUE(read(kS3ListObjectsV2, kOssListing).next_marker().missing());
}

TEST(Listing, OnlyTheSchemasRootIsAListing) {
    EXPECT_TRUE(read(kS3ListObjectsV2, kListing).is_listing());
    EXPECT_TRUE(read(kOssListObjects, kOssListing).is_listing());
    EXPECT_TRUE(read(kS3ListObjectsV2, "<l:ListBucketResult xmlns:l='urn:x'/>").is_listing());
    // Well-formed, and no listing: nothing in them may read as the end of a bucket.
    for (const char* other : {"<Error><Code>NoSuchBucket</Code></Error>",
                              "<html><body><ListBucketResult/></body></html>", "<listbucketresult/>"}) {
        const Listing page = read(kS3ListObjectsV2, other);
        EXPECT_FALSE(page.is_listing()) << other;
        EXPECT_EQ(page.size(), 0u);
    }
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
    const Schema schema{"R", "Item", {"B", "A", "Missing"}, "More", "Next"};
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
