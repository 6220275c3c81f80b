// XML request bodies, built as text with XML escaping.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvault::core::xml {

// Character data escaped for element content: "&", "<" and ">" as entity references, and a
// carriage return as "&#13;" (a raw one would be turned into a line feed by the reader).
void append_escaped(std::string& out, std::string_view text);
std::string escaped(std::string_view text);

// <CompleteMultipartUpload><Part><PartNumber>1</PartNumber><ETag>e</ETag></Part>...</CompleteMultipartUpload>,
// parts numbered from 1 in list order. S3, OSS and the services modelled on S3 accept it byte for
// byte.
std::string complete_multipart_body(const std::vector<std::string_view>& etags);

}  // namespace corvault::core::xml

// The bodies of S3's own requests.
namespace corvault::core::s3 {

// <Delete><Quiet>false</Quiet><Object><Key>k</Key></Object>...</Delete>
std::string delete_objects_body(const std::vector<std::string_view>& keys);
// <CreateBucketConfiguration><LocationConstraint>r</LocationConstraint></CreateBucketConfiguration>
std::string create_bucket_body(std::string_view region);

}  // namespace corvault::core::s3
