#include "core/s3_answers.hpp"

namespace corvault::core::s3 {

ObjectListing parse_object_listing(std::string_view document) {
    const xml::Document doc(document);
    ObjectListing listing;
    const std::vector<xml::Element> all = doc.descendants(doc.root(), "Contents");
    listing.objects.reserve(all.size());
    // One walk over each entry's children instead of a search per field; the first of each wins.
    static constexpr std::string_view kFields[] = {"Key", "Size", "LastModified", "ETag"};
    for (xml::Element contents : all) {
        ListedObject entry;
        xml::Text* slots[] = {&entry.key, &entry.size, &entry.last_modified, &entry.etag};
        doc.each_child(contents, [&](xml::Element child, std::string_view name) {
            for (std::size_t i = 0; i < 4; ++i) {
                if (name == kFields[i] && slots[i]->missing()) *slots[i] = doc.text(child);
            }
        });
        listing.objects.push_back(std::move(entry));
    }
    listing.is_truncated = doc.child_text(doc.root(), "IsTruncated");
    listing.next_continuation_token = doc.child_text(doc.root(), "NextContinuationToken");
    return listing;
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
