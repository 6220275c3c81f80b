// The XML answers of the S3 interface that the clients read, as plain records (object listings
// are read by core/listing.hpp). Element texts keep the distinction between a missing element and
// one without text; callers decide what each means.
#pragma once

#include <string_view>
#include <vector>

#include "core/xml_reader.hpp"

namespace corvault::core::s3 {

// DeleteObjects: the Key of every Deleted child of the root, and every Error child's Key, Code
// and Message, in document order; `refused` when the root itself is an Error element (the request
// failed as a whole, though answered with status 200).
struct DeleteError {
    xml::Text key, code, message;
};
struct DeleteResult {
    std::vector<xml::Text> deleted;
    std::vector<DeleteError> errors;
    bool refused = false;
};
DeleteResult parse_delete_result(std::string_view document);

// ListAllMyBuckets: every Bucket element below the root with its Name and CreationDate.
struct ListedBucket {
    xml::Text name, creation_date;
};
std::vector<ListedBucket> parse_bucket_listing(std::string_view document);

// Whether a body, after any leading XML white space, is a well-formed XML document whose root
// element has the local name `root` (in any namespace). An empty or blank body, and text that is
// not XML, is not.
bool has_root(std::string_view body, std::string_view root);

}  // namespace corvault::core::s3
