// One page of the bucket's file list, read from the service's JSON answer into a listing record.
#include <string>
#include <utility>

#include "kit/answers.hpp"
#include "kit/object_listing.hpp"
#include "pyutil/call.hpp"
#include "pyutil/headers.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

const Name kListParam{"list"};
const Name kPrefixParam{"prefix"};
const Name kMarkerParam{"marker"};
const Name kLimitParam{"limit"};
// Answer fields.
const Name kDataSet{"DataSet"};
const Name kNextMarker{"NextMarker"};
const Name kFileName{"FileName"};
const Name kSize{"Size"};
const Name kModifyTime{"ModifyTime"};
const Name kMimeType{"MimeType"};
const Name kEtag{"Etag"};
const Name kHash{"Hash"};
// Record fields.
const Name kKeyField{"key"};
const Name kSizeField{"size"};
const Name kModifyTimeField{"modify_time"};
const Name kMimeTypeField{"mime_type"};
const Name kEtagField{"etag"};

// answer.get(name, fallback), so that an answer of the wrong shape fails as that call would.
Ref field(PyObject* answer, PyObject* name, PyObject* fallback) {
    return pyutil::Call().arg(name).arg(fallback).method(answer, method::kGet);
}

Ref entry(PyObject* item, PyObject* empty, PyObject* zero) {
    Ref key = field(item, kFileName, empty);
    Ref size = field(item, kSize, zero);
    Ref modified = field(item, kModifyTime, empty);
    Ref mime_type = field(item, kMimeType, empty);
    // The documented answer names the object's hash "Hash"; "Etag" is read first where present.
    Ref etag = field(item, kEtag, Py_None);
    if (etag.get() == Py_None) etag = field(item, kHash, empty);
    return kit::record({{&kKeyField, key.get()},
                        {&kSizeField, size.get()},
                        {&kModifyTimeField, modified.get()},
                        {&kMimeTypeField, mime_type.get()},
                        {&kEtagField, etag.get()}});
}

}  // namespace

Ref list_objects(Args& a) {
    enum { Prefix, Marker, Limit, Headers, Timeout };
    PyObject* self = a.self();
    Keep keep;
    Ref empty = pyutil::to_str("");
    Ref query = kit::record(
        {{&kListParam, empty.get()}, {&kPrefixParam, a[Prefix]}, {&kMarkerParam, a[Marker]}, {&kLimitParam, a[Limit]}});
    std::string url(pyutil::text_attr(self, kApiHost, keep));
    url.push_back('/');
    append_query(url, query.get());

    Ref req_headers = pyutil::copy_headers(a[Headers]);
    Ref date = header_text_any_case(req_headers.get(), "date");
    Ref content_md5 = header_text_any_case(req_headers.get(), "content-md5");
    Ref content_type = header_text_any_case(req_headers.get(), "content-type");
    Ref signature = pyutil::Call()
                        .arg(empty.get())
                        .arg(date.get())
                        .kw(kMethodKeyword, verb::kGet)
                        .kw(kContentMd5Keyword, content_md5.get())
                        .kw(kContentTypeKeyword, content_type.get())
                        .kw(kw::kHeaders, a[Headers])
                        .method(self, kMakeAuthorizationOp);
    Ref authorization = authorization_value(self, signature.get());
    replace_header(req_headers.get(), header::kAuthorization, "authorization", authorization.get());

    Ref timeout = request_timeout(self, a[Timeout]);
    Ref client = check(PyObject_GetAttr(self, attr::kClient));
    Ref url_text = pyutil::to_str(url);
    Ref response = pyutil::Call()
                       .arg(url_text.get())
                       .kw(kw::kHeaders, req_headers.get())
                       .kw(kw::kTimeout, timeout.get())
                       .method(client.get(), kClientGet);

    if (Ref refused = kit::refused_listing(response.get())) return refused;
    Ref answer = check(PyObject_CallMethodNoArgs(response.get(), kJson));
    Ref no_items = check(PyList_New(0));
    Ref items = field(answer.get(), kDataSet, no_items.get());
    Ref zero = check(PyLong_FromLong(0));
    Ref objects = kit::entries_of(items.get(), [&](PyObject* item) { return entry(item, empty.get(), zero.get()); });

    Ref next_marker = field(answer.get(), kNextMarker, empty.get());
    return kit::listing_page(objects.get(), truthy(next_marker.get()), next_marker.get());
}

const pyutil::MethodSpec kListSpec{
    "list",
    "One page of the objects whose keys begin with `prefix`, from `marker` on, at most `limit`:\n"
    "{'objects': [{'key', 'size', 'modify_time', 'mime_type', 'etag'}], 'is_truncated',\n"
    "'next_marker' (only when truncated)}."
    "\n\n" CORVAULT_JSON_LISTING_FAILURES_DOC,
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

}  // namespace pelora
