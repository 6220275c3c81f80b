// The ObjectListing record of the listings whose entries carry Key, Size, LastModified and ETag
// (S3 ListObjectsV2, OSS ListObjects), read through their schema: one record shape for the
// clients that list such answers.
#pragma once

#include "core/listing.hpp"
#include "pyutil/ref.hpp"

namespace kit {

// {"objects": [{"key", "size", "last_modified", "etag"}, ...], "is_truncated": bool} and, only
// when the listing continues, "next_marker". The schema's fields must be Key, Size, LastModified
// and ETag in that order. A missing element gives "" (size 0), an empty one None ("" for the
// ETag, whose surrounding double quotes are removed); Size is read as int() reads text, so an
// empty Size fails as int(None) does.
pyutil::Ref object_listing(const corvault::core::listing::Listing& listing);

}  // namespace kit
