// The XML answers of the S3 interface that the clients read, as plain records (object listings
// are read by core/listing.hpp). Element texts keep the distinction between a missing element and
// one without text; callers decide what each means.
#pragma once

#include <string_view>
#include <vector>

#include "core/xml_reader.hpp"

namespace corvault::core::s3 {

// DeleteObjects: the Key of every Deleted child of the root, and every Error child's Key, Code
// and Message, in document order.
struct DeleteError {
    xml::Text key, code, message;
};
struct DeleteResult {
    std::vector<xml::Text> deleted;
    std::vector<DeleteError> errors;
};
DeleteResult parse_delete_result(std::string_view document);

// ListAllMyBuckets: every Bucket element below the root with its Name and CreationDate.
struct ListedBucket {
    xml::Text name, creation_date;
};
std::vector<ListedBucket> parse_bucket_listing(std::string_view document);

// Whether a body is an S3 error document: well-formed XML whose root element is named "Error".
// Anything else, text that is not XML included, is not.
bool is_error_document(std::string_view body);

}  // namespace corvault::core::s3
