// S3 answers read from AWS's documented samples, with and without the S3 namespace.
#include "core/s3_answers.hpp"

#include <gtest/gtest.h>

#include <string>

namespace corvault::core::s3 {
namespace {

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

// DeleteObjects, as in AWS's example of a result with a deleted key and a refused one.
const char kDeleteResult[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<DeleteResult xmlns="http://s3.amazonaws.com/doc/2006-03-01/">
  <Deleted>
    <Key>sample1.txt</Key>
  </Deleted>
  <Error>
    <Key>sample2.txt</Key>
    <Code>AccessDenied</Code>
    <Message>Access Denied</Message>
  </Error>
</DeleteResult>)";

// ListBuckets, as in AWS's example.
const char kBucketListing[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ListAllMyBucketsResult xmlns="http://s3.amazonaws.com/doc/2006-03-01">
  <Owner>
    <ID>bcaf1ffd86f461ca5fb16fd081034f</ID>
    <DisplayName>webfile</DisplayName>
  </Owner>
  <Buckets>
    <Bucket>
      <Name>quotes</Name>
      <CreationDate>2006-02-03T16:45:09.000Z</CreationDate>
    </Bucket>
    <Bucket>
      <Name>samples</Name>
      <CreationDate>2006-02-03T16:41:58.000Z</CreationDate>
    </Bucket>
  </Buckets>
</ListAllMyBucketsResult>)";

std::string without_namespace(std::string text) {
    // ListBuckets' sample writes the URI without the final "/".
    const std::string_view ns = " xmlns=\"http://s3.amazonaws.com/doc/2006-03-01";
    const auto at = text.find(ns);
    if (at != std::string::npos) text.erase(at, text.find('"', at + ns.size()) + 1 - at);
    EXPECT_EQ(text.find("xmlns"), std::string::npos);
    return text;
}

void expect_sample_listing(const ObjectListing& listing) {
    ASSERT_EQ(listing.objects.size(), 2u);
    EXPECT_EQ(listing.objects[0].key.value, "ExampleObject.txt");
    EXPECT_EQ(listing.objects[0].size.value, "857");
    EXPECT_EQ(listing.objects[0].last_modified.value, "2013-09-17T18:07:53.000Z");
    EXPECT_EQ(listing.objects[0].etag.value, "\"599bab3ed2c697f1d26842727561fd94\"");
    EXPECT_EQ(listing.objects[1].key.value, "happyface.jpg");
    EXPECT_EQ(listing.objects[1].size.value, "11");
    EXPECT_EQ(listing.objects[1].etag.value, "\"70ee1738b6b21e2c8a43f3a5ab0eee71\"");
    EXPECT_EQ(listing.is_truncated.value, "true");
    EXPECT_EQ(listing.next_continuation_token.value, "1ueGcxLPRx1Tr/XYExHnhbYLgveDs2J/wm36Hy4vbOwM=");
}

TEST(ObjectListing, AwsSampleWithAndWithoutNamespace) {
    expect_sample_listing(parse_object_listing(kListing));
    expect_sample_listing(parse_object_listing(without_namespace(kListing)));
}

TEST(ObjectListing, PrefixedNamespaceReadsTheSame) {
    expect_sample_listing(parse_object_listing(
        "<s3:ListBucketResult xmlns:s3='http://s3.amazonaws.com/doc/2006-03-01/'>"
        "<s3:NextContinuationToken>1ueGcxLPRx1Tr/XYExHnhbYLgveDs2J/wm36Hy4vbOwM=</s3:NextContinuationToken>"
        "<s3:IsTruncated>true</s3:IsTruncated>"
        "<s3:Contents><s3:Key>ExampleObject.txt</s3:Key><s3:LastModified>2013-09-17T18:07:53.000Z</s3:LastModified>"
        "<s3:ETag>\"599bab3ed2c697f1d26842727561fd94\"</s3:ETag><s3:Size>857</s3:Size></s3:Contents>"
        "<s3:Contents><s3:Key>happyface.jpg</s3:Key><s3:ETag>\"70ee1738b6b21e2c8a43f3a5ab0eee71\"</s3:ETag>"
        "<s3:Size>11</s3:Size></s3:Contents></s3:ListBucketResult>"));
}

TEST(ObjectListing, ForeignNamespaceDepthAndMissingFields) {
    const ObjectListing listing = parse_object_listing(
        "<ListBucketResult xmlns='http://s3.amazonaws.com/doc/2006-03-01/' xmlns:x='urn:other'>"
        "<x:Contents><Key>foreign prefix</Key></x:Contents>"
        "<Contents xmlns='urn:other'><Key>foreign default</Key></Contents>"
        "<Contents><Key></Key><x:Size>1</x:Size></Contents>"
        "<Group><Contents><Key>a&amp;b &#x4E2D;</Key><Size>0</Size></Contents></Group>"
        "<Group><IsTruncated>true</IsTruncated></Group></ListBucketResult>");
    ASSERT_EQ(listing.objects.size(), 2u);
    EXPECT_TRUE(listing.objects[0].key.empty());
    EXPECT_TRUE(listing.objects[0].size.missing());
    EXPECT_TRUE(listing.objects[0].etag.missing());
    EXPECT_EQ(listing.objects[1].key.value, "a&b \xe4\xb8\xad");
    EXPECT_EQ(listing.objects[1].size.value, "0");
    EXPECT_TRUE(listing.is_truncated.missing());  // only a direct child of the root counts
    EXPECT_TRUE(listing.next_continuation_token.missing());
}

TEST(ObjectListing, KeysWithCdataAndComments) {
    const ObjectListing listing = parse_object_listing(
        "<ListBucketResult><Contents><Key><![CDATA[<odd>&]]></Key></Contents>"
        "<Contents><Key>split<!-- x -->key</Key></Contents><IsTruncated>false</IsTruncated></ListBucketResult>");
    ASSERT_EQ(listing.objects.size(), 2u);
    EXPECT_EQ(listing.objects[0].key.value, "<odd>&");
    EXPECT_EQ(listing.objects[1].key.value, "splitkey");
    EXPECT_EQ(listing.is_truncated.value, "false");
}

TEST(ObjectListing, ParseErrorsPropagate) {
    EXPECT_THROW(parse_object_listing("<ListBucketResult><Contents></ListBucketResult>"), xml::ParseError);
    EXPECT_THROW(parse_object_listing(""), xml::ParseError);
    EXPECT_THROW(parse_delete_result("<DeleteResult>&nbsp;</DeleteResult>"), xml::ParseError);
    EXPECT_THROW(parse_bucket_listing("not xml"), xml::ParseError);
}

TEST(DeleteResult, AwsSampleWithAndWithoutNamespace) {
    for (const std::string& text : {std::string(kDeleteResult), without_namespace(kDeleteResult)}) {
        const DeleteResult result = parse_delete_result(text);
        ASSERT_EQ(result.deleted.size(), 1u);
        EXPECT_EQ(result.deleted[0].value, "sample1.txt");
        ASSERT_EQ(result.errors.size(), 1u);
        EXPECT_EQ(result.errors[0].key.value, "sample2.txt");
        EXPECT_EQ(result.errors[0].code.value, "AccessDenied");
        EXPECT_EQ(result.errors[0].message.value, "Access Denied");
    }
}

TEST(DeleteResult, EveryDeletedKeyIsKeptAsRead) {
    const DeleteResult result = parse_delete_result(
        "<DeleteResult><Deleted><Key>a</Key></Deleted><Deleted><Key/></Deleted><Deleted/>"
        "<Deleted><VersionId>v</VersionId><Key>b</Key></Deleted><Nested><Deleted><Key>c</Key></Deleted></Nested>"
        "<Error><Code>InternalError</Code></Error></DeleteResult>");
    ASSERT_EQ(result.deleted.size(), 4u);
    EXPECT_EQ(result.deleted[0].value, "a");
    EXPECT_TRUE(result.deleted[1].empty());
    EXPECT_TRUE(result.deleted[2].missing());
    EXPECT_EQ(result.deleted[3].value, "b");
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_TRUE(result.errors[0].key.missing());
    EXPECT_EQ(result.errors[0].code.value, "InternalError");
    EXPECT_TRUE(result.errors[0].message.missing());
}

TEST(BucketListing, AwsSampleWithAndWithoutNamespace) {
    for (const std::string& text : {std::string(kBucketListing), without_namespace(kBucketListing)}) {
        const std::vector<ListedBucket> buckets = parse_bucket_listing(text);
        ASSERT_EQ(buckets.size(), 2u);
        EXPECT_EQ(buckets[0].name.value, "quotes");
        EXPECT_EQ(buckets[0].creation_date.value, "2006-02-03T16:45:09.000Z");
        EXPECT_EQ(buckets[1].name.value, "samples");
        EXPECT_EQ(buckets[1].creation_date.value, "2006-02-03T16:41:58.000Z");
    }
    EXPECT_TRUE(parse_bucket_listing("<ListAllMyBucketsResult><Buckets/></ListAllMyBucketsResult>").empty());
}

TEST(ErrorDocument, RecognisedByTheRootName) {
    const char* error = "<Error><Code>NoSuchKey</Code><Message>The resource you requested does not exist</Message>"
                        "<Resource>/mybucket/myfoto.jpg</Resource><RequestId>4442587FB7D0A2F9</RequestId></Error>";
    EXPECT_TRUE(is_error_document(error));
    EXPECT_TRUE(is_error_document(std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + error));
    EXPECT_TRUE(is_error_document("<e:Error xmlns:e='urn:x'/>"));
    EXPECT_FALSE(is_error_document(
        "<CopyObjectResult><LastModified>2009-10-28T22:32:00</LastModified>"
        "<ETag>\"9b2cf535f27731c974343645a3985328\"</ETag></CopyObjectResult>"));
    EXPECT_FALSE(is_error_document(""));
    EXPECT_FALSE(is_error_document("<!DOCTYPE html><html><body><h1>502 Bad Gateway</h1><br></body></html>"));
    EXPECT_FALSE(is_error_document("<Error>"));
    EXPECT_FALSE(is_error_document("<Result><Error/></Result>"));
}

}  // namespace
}  // namespace corvault::core::s3
