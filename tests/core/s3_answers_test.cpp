// S3 answers read from AWS's documented samples, with and without the S3 namespace (listings:
// listing_test).
#include "core/s3_answers.hpp"

#include <gtest/gtest.h>

#include <string>

namespace corvault::core::s3 {
namespace {

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

TEST(S3Answers, ParseErrorsPropagate) {
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

TEST(DeleteResult, AnErrorRootIsARefusal) {
    EXPECT_FALSE(parse_delete_result(kDeleteResult).refused);
    EXPECT_TRUE(parse_delete_result("<Error><Code>InternalError</Code></Error>").refused);
    EXPECT_TRUE(parse_delete_result("<e:Error xmlns:e='urn:x'/>").refused);
}

TEST(RootName, AfterLeadingBlanksInAnyNamespace) {
    const std::string error =
        "<Error><Code>NoSuchKey</Code><Message>The resource you requested does not exist</Message>"
        "<Resource>/mybucket/myfoto.jpg</Resource><RequestId>4442587FB7D0A2F9</RequestId></Error>";
    const std::string copied =
        "<CopyObjectResult><LastModified>2009-10-28T22:32:00</LastModified>"
        "<ETag>\"9b2cf535f27731c974343645a3985328\"</ETag></CopyObjectResult>";
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    EXPECT_TRUE(has_root(error, "Error"));
    EXPECT_TRUE(has_root(" \r\n\t " + declaration + error, "Error"));
    EXPECT_TRUE(has_root("\n\n" + declaration + copied, "CopyObjectResult"));
    EXPECT_TRUE(has_root("<e:Error xmlns:e='urn:x'/>", "Error"));
    EXPECT_FALSE(has_root(copied, "Error"));
    EXPECT_FALSE(has_root(error, "CopyObjectResult"));
    for (const char* not_a_document :
         {"", "  \r\n", "<!DOCTYPE html><html><body><h1>502</h1><br></body></html>", "<Error>", "\f<Error/>"}) {
        EXPECT_FALSE(has_root(not_a_document, "Error")) << not_a_document;
    }
    EXPECT_FALSE(has_root("<Result><Error/></Result>", "Error"));
}

}  // namespace
}  // namespace corvault::core::s3
