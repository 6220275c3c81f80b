// Request bodies: exact text and the escaping of character data.
#include "core/xml_writer.hpp"

#include "core/xml_reader.hpp"

#include <gtest/gtest.h>

#include <string>

namespace corvault::core {
namespace {

TEST(XmlEscape, MarkupCharactersAndCarriageReturn) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"plain/key.txt", "plain/key.txt"},
        {"a&b", "a&amp;b"},
        {"<tag>", "&lt;tag&gt;"},
        {"&amp;", "&amp;amp;"},
        {"line\r\nnext", "line&#13;\nnext"},
        {"\"quoted\" 'single'", "\"quoted\" 'single'"},
        {"caf\xc3\xa9 \xe4\xb8\xad\t", "caf\xc3\xa9 \xe4\xb8\xad\t"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(xml::escaped(text), expected) << text;
        std::string out = "x";
        xml::append_escaped(out, text);
        EXPECT_EQ(out, std::string("x") + expected) << text;
    }
}

TEST(XmlEscape, ReadsBackUnchanged) {
    for (const char* text : {"a\rb", "a\r\nb", "<&>", " lead and trail "}) {
        const xml::Document doc("<k>" + xml::escaped(text) + "</k>");
        EXPECT_EQ(doc.text(doc.root()).value, text);
    }
}

TEST(DeleteObjectsBody, ExactText) {
    EXPECT_EQ(s3::delete_objects_body({}), "<Delete><Quiet>false</Quiet></Delete>");
    EXPECT_EQ(s3::delete_objects_body({"a.txt"}),
              "<Delete><Quiet>false</Quiet><Object><Key>a.txt</Key></Object></Delete>");
    EXPECT_EQ(s3::delete_objects_body({"dir/a&b", "<x>\r", "\"q\""}),
              "<Delete><Quiet>false</Quiet>"
              "<Object><Key>dir/a&amp;b</Key></Object>"
              "<Object><Key>&lt;x&gt;&#13;</Key></Object>"
              "<Object><Key>\"q\"</Key></Object></Delete>");
}

TEST(CompleteMultipartBody, PartsNumberedFromOne) {
    EXPECT_EQ(xml::complete_multipart_body({}), "<CompleteMultipartUpload></CompleteMultipartUpload>");
    EXPECT_EQ(xml::complete_multipart_body({"\"e1\"", "\"e&2\""}),
              "<CompleteMultipartUpload>"
              "<Part><PartNumber>1</PartNumber><ETag>\"e1\"</ETag></Part>"
              "<Part><PartNumber>2</PartNumber><ETag>\"e&amp;2\"</ETag></Part>"
              "</CompleteMultipartUpload>");
    std::vector<std::string_view> etags(12, "e");
    const std::string body = xml::complete_multipart_body(etags);
    const std::string last = "<Part><PartNumber>12</PartNumber><ETag>e</ETag></Part></CompleteMultipartUpload>";
    ASSERT_GE(body.size(), last.size());
    EXPECT_EQ(body.substr(body.size() - last.size()), last);
}

TEST(CreateBucketBody, ExactText) {
    EXPECT_EQ(
        s3::create_bucket_body("eu-west-1"),
        "<CreateBucketConfiguration><LocationConstraint>eu-west-1</LocationConstraint></CreateBucketConfiguration>");
    EXPECT_EQ(s3::create_bucket_body("a<b"),
              "<CreateBucketConfiguration><LocationConstraint>a&lt;b</LocationConstraint></CreateBucketConfiguration>");
    EXPECT_EQ(s3::create_bucket_body(""),
              "<CreateBucketConfiguration><LocationConstraint></LocationConstraint></CreateBucketConfiguration>");
}

}  // namespace
}  // namespace corvault::core
