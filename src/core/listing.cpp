#include "core/listing.hpp"

namespace corvault::core::listing {

const Schema kS3ListObjectsV2{
    "ListBucketResult", "Contents", {"Key", "Size", "LastModified", "ETag"}, "IsTruncated", "NextContinuationToken"};
const Schema kOssListObjects{
    "ListBucketResult", "Contents", {"Key", "Size", "LastModified", "ETag"}, "IsTruncated", "NextMarker"};

Listing read(const Schema& schema, std::string_view document) {
    const xml::Document doc(document);
    Listing listing;
    listing.is_listing_ = doc.local_name(doc.root()) == schema.root;
    const std::size_t count = schema.fields.size();
    listing.field_count_ = count;
    const std::vector<xml::Element> entries = doc.descendants(doc.root(), schema.entry);
    listing.entries_ = entries.size();
    listing.fields_.resize(entries.size() * count);
    // One walk over each entry's children instead of a search per field.
    xml::Text* slots = listing.fields_.data();
    for (xml::Element entry : entries) {
        doc.each_child(entry, [&](xml::Element child, std::string_view name) {
            for (std::size_t f = 0; f < count; ++f) {
                if (name == schema.fields[f] && slots[f].missing()) slots[f] = doc.text(child);
            }
        });
        slots += count;
    }
    listing.truncated_ = doc.child_text(doc.root(), schema.truncated);
    listing.next_marker_ = doc.child_text(doc.root(), schema.next_marker);
    return listing;
}

}  // namespace corvault::core::listing
