#include "core/s3_answers.hpp"

#include "core/listing.hpp"

namespace corvault::core::s3 {

ObjectListing parse_object_listing(std::string_view document) {
    const listing::Listing page = listing::read(listing::kS3ListObjectsV2, document);
    ObjectListing out;
    out.objects.reserve(page.size());
    for (std::size_t i = 0; i < page.size(); ++i) {
        out.objects.push_back({page.field(i, 0), page.field(i, 1), page.field(i, 2), page.field(i, 3)});
    }
    out.is_truncated = page.truncated();
    out.next_continuation_token = page.next_marker();
    return out;
}

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
