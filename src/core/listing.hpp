// Object listings in XML: one reader for every service whose listing is a page of entry elements
// with a truncation flag and a continuation element, driven by a schema that names them.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "core/xml_reader.hpp"

namespace corvault::core::listing {

struct Schema {
    std::string_view root;                 // the local name of a listing's root element
    std::string_view entry;                // at any depth below the root, in document order
    std::vector<std::string_view> fields;  // direct children of an entry; the first of each name counts
    std::string_view truncated;            // direct child of the root
    std::string_view next_marker;          // direct child of the root
};

// Amazon S3 ListObjectsV2.
extern const Schema kS3ListObjectsV2;
// Alibaba Cloud OSS ListObjects (version 1: continued by marker).
extern const Schema kOssListObjects;

class Listing {
public:
    std::size_t size() const { return entries_; }
    // The text of field `f` (the schema's order) of entry `i`.
    const xml::Text& field(std::size_t i, std::size_t f) const { return fields_[i * field_count_ + f]; }
    const xml::Text& truncated() const { return truncated_; }
    const xml::Text& next_marker() const { return next_marker_; }
    // The document's root is the schema's: a well-formed answer of another kind (an error
    // document, a web page in XHTML) reads as a page of no entries, and is no listing.
    bool is_listing() const { return is_listing_; }
    // The listing continues: the flag holds exactly "true".
    bool continues() const { return truncated_.state == xml::Text::State::Value && truncated_.value == "true"; }

private:
    friend Listing read(const Schema& schema, std::string_view document);
    bool is_listing_ = false;
    std::size_t entries_ = 0, field_count_ = 0;
    std::vector<xml::Text> fields_;  // entry by entry, each in the schema's field order
    xml::Text truncated_, next_marker_;
};

// Throws xml::ParseError for a document that is not well-formed.
Listing read(const Schema& schema, std::string_view document);

}  // namespace corvault::core::listing
