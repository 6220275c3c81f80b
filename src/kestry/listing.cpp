// One page of the bucket's object listing: a ListObjects request (continued by marker) read
// through the OSS listing schema into the shared record shape.
#include "core/listing.hpp"
#include "kit/answers.hpp"
#include "kit/object_listing.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"

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
    Ref headers = pyutil::copy_headers(a[Headers]);
    Ref empty_key = pyutil::to_str("");
    Ref response =
        call_object_request(a.self(), verb::kGet, empty_key.get(), params.get(), nullptr, headers.get(), a[Timeout]);

    Ref text = pyutil::response_text(response.get());
    return kit::object_listing(kit::read_xml_answer(
        [&] { return core::listing::read(core::listing::kOssListObjects, pyutil::utf8(text.get())); }));
}

}  // namespace

const pyutil::MethodSpec kListSpec{
    "list",
    "One page of the objects whose keys begin with `prefix`, after the key `marker`.\n\n"
    "Returns {'objects': [{'key', 'size', 'last_modified', 'etag'}, ...], 'is_truncated': bool}\n"
    "and, when the listing continues, 'next_marker' to pass as `marker` for the next page.",
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
