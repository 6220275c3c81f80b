#include "core/s3_answers.hpp"

namespace corvault::core::s3 {

DeleteResult parse_delete_result(std::string_view document) {
    const xml::Document doc(document);
    DeleteResult result;
    for (xml::Element deleted : doc.children(doc.root(), "Deleted")) {
        result.deleted.push_back(doc.child_text(deleted, "Key"));
    }
    for (xml::Element error : doc.children(doc.root(), "Error")) {
        result.errors.push_back(
            {doc.child_text(error, "Key"), doc.child_text(error, "Code"), doc.child_text(error, "Message")});
    }
    return result;
}

std::vector<ListedBucket> parse_bucket_listing(std::string_view document) {
    const xml::Document doc(document);
    std::vector<ListedBucket> buckets;
    for (xml::Element bucket : doc.descendants(doc.root(), "Bucket")) {
        buckets.push_back({doc.child_text(bucket, "Name"), doc.child_text(bucket, "CreationDate")});
    }
    return buckets;
}

bool is_error_document(std::string_view body) {
    try {
        const xml::Document doc(body);
        return doc.local_name(doc.root()) == "Error";
    } catch (const xml::ParseError&) {
        return false;
    }
}

}  // namespace corvault::core::s3
