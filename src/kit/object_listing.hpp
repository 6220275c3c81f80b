// The ObjectListing record of the listings whose entries carry Key, Size, LastModified and ETag
// (S3 ListObjectsV2, OSS ListObjects), read through their schema: one record shape for the
// clients that list such answers.
#pragma once

#include <functional>

#include "core/listing.hpp"
#include "pyutil/ref.hpp"

namespace kit {

// {"objects": [{"key", "size", "last_modified", "etag"}, ...], "is_truncated": bool} and, only
// when the listing continues, "next_marker". The schema's fields must be Key, Size, LastModified
// and ETag in that order. A missing element gives "" (size 0), an empty one None ("" for the
// ETag, whose surrounding double quotes are removed); Size is read as int() reads text, so an
// empty Size fails as int(None) does.
pyutil::Ref object_listing(const corvault::core::listing::Listing& listing);

// One page asked for through the client's own `_request` (GET of the empty key with
// `query_params`, a copy of the caller's `headers`, `timeout`) and read through `schema` into the
// record above. An answer of a status outside 2xx, or one of 2xx whose root is not the schema's
// (an error document, a web page), gives refused_page; one of 2xx that is not well-formed XML
// raises ElementTree's ParseError.
pyutil::Ref list_through_request(PyObject* self, const corvault::core::listing::Schema& schema, PyObject* query_params,
                                 PyObject* headers, PyObject* timeout);

// The page record every client's listing returns: {"objects": objects, "is_truncated": truncated}
// and, only when the listing continues, "next_marker": next_marker.
pyutil::Ref listing_page(PyObject* objects, bool truncated, PyObject* next_marker);

// The page of a listing answer that lists nothing the walks may take for the bucket's content:
// a corvault.base.RefusedPage equal to the empty page, carrying the answer's status and text.
pyutil::Ref refused_page(PyObject* response);

// refused_page for an answer of a status outside 2xx, found before its body is parsed (an empty
// body or a load balancer's plain text would not parse); empty for an answer of 2xx.
pyutil::Ref refused_listing(PyObject* response);

// How `list` fails, for the docstrings of the clients whose pages are XML and JSON answers.
#define CORVAULT_XML_LISTING_FAILURES_DOC                                                        \
    "An answer outside 2xx, and one of 2xx that is no ListBucketResult, gives a\n"               \
    "corvault.base.RefusedPage: equal to the empty page, carrying status_code and text. A 2xx\n" \
    "body that is not XML raises ElementTree's ParseError, a transport failure httpx's exception."
#define CORVAULT_JSON_LISTING_FAILURES_DOC                                                         \
    "An answer outside 2xx gives a corvault.base.RefusedPage: equal to the empty page,\n"          \
    "carrying status_code and text. A 2xx JSON object is read as a page, one without listing\n"    \
    "fields as the empty page. A 2xx body that is not JSON raises its decoding error, JSON that\n" \
    "is no object (an array, say) AttributeError, a listing field of another type (null, a\n"      \
    "string) TypeError or AttributeError, a transport failure httpx's exception."

// [entry(item) for item in items]: the objects of a page whose answer lists them as JSON items.
pyutil::Ref entries_of(PyObject* items, const std::function<pyutil::Ref(PyObject*)>& entry);

}  // namespace kit
