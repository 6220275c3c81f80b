// One page of the bucket's object listing: a ListObjects request (continued by marker) read
// through the OSS listing schema into the shared record shape.
#include "core/listing.hpp"
#include "kit/answers.hpp"
#include "kit/object_listing.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

const Name kPrefixParam{"prefix"};
const Name kMarkerParam{"marker"};
const Name kMaxKeysParam{"max-keys"};

Ref list_objects(Args& a) {
    enum { Prefix, Marker, Limit, Headers, Timeout };
    Ref limit_text = check(PyObject_Str(a[Limit]));
    Ref params =
        kit::record({{&kPrefixParam, a[Prefix]}, {&kMarkerParam, a[Marker]}, {&kMaxKeysParam, limit_text.get()}});
    return kit::list_through_request(a.self(), core::listing::kOssListObjects, params.get(), a[Headers], a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kListSpec{
    "list",
    "One page of the objects whose keys begin with `prefix`, after the key `marker`.\n\n"
    "Returns {'objects': [{'key', 'size', 'last_modified', 'etag'}, ...], 'is_truncated': bool}\n"
    "and, when the listing continues, 'next_marker' to pass as `marker` for the next page."
    "\n\n" CORVAULT_XML_LISTING_FAILURES_DOC,
    "Dict",
    list_objects,
    {
        {"prefix", Kind::Str, "str", pyutil::text("")},
        {"marker", Kind::Str, "str", pyutil::text("")},
        {"limit", Kind::Int, "int", pyutil::integer(20)},
        kHeadersParam,
        kTimeoutParam,
    },
};

}  // namespace kestry
