#include "core/s3_answers.hpp"

namespace corvault::core::s3 {

DeleteResult parse_delete_result(std::string_view document) {
    const xml::Document doc(document);
    DeleteResult result;
    result.refused = doc.local_name(doc.root()) == "Error";
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

bool has_root(std::string_view body, std::string_view root) {
    // The service may write blanks ahead of its final answer to keep a long request alive; an
    // XML declaration after them would not be at the start of the document.
    const std::size_t start = body.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return false;
    try {
        const xml::Document doc(body.substr(start));
        return doc.local_name(doc.root()) == root;
    } catch (const xml::ParseError&) {
        return false;
    }
}

}  // namespace corvault::core::s3
