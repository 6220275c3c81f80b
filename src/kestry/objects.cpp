// Operations on one object: store, fetch, metadata and delete, each one request through
// `_request` whose response comes back unchanged.
#include "pyutil/headers.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

Ref upload(Args& a) {
    enum { Key, Data, ContentType, ContentMd5, Headers, Timeout };
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), header::kContentType, a[ContentType]);
    if (non_empty_text(a[ContentMd5])) pyutil::set_item(headers.get(), header::kContentMd5, a[ContentMd5]);
    Ref data = read_if_file(a[Data]);  // text stays text: the HTTP client sends it as UTF-8
    return call_object_request(a.self(), verb::kPut, a[Key], nullptr, data.get(), headers.get(), a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kUploadSpec{
    "upload",
    "Store `data` (bytes, text sent as UTF-8, or a file-like object read whole) as the object\n"
    "`key` and return the response. `headers` is copied, never changed.",
    "httpx.Response",
    upload,
    {
        {"key", Kind::NonEmptyStr, "str"},
        {"data", Kind::Any, "Union[bytes, str, BinaryIO]"},
        {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"content_md5", Kind::OptStr, "Optional[str]", pyutil::none()},
        kHeadersParam,
        kTimeoutParam,
    },
};

namespace {

// _download, head and delete: one request without a body. The caller's headers are copied, so
// a mapping reused across calls never carries a stale date, Host or signature into the next.
Ref plain_object_request(Args& a, PyObject* method) {
    enum { Key, Headers, Timeout };
    Ref headers = pyutil::copy_headers(a[Headers]);
    return call_object_request(a.self(), method, a[Key], nullptr, nullptr, headers.get(), a[Timeout]);
}

Ref download(Args& a) { return plain_object_request(a, verb::kGet); }

}  // namespace

const pyutil::MethodSpec kDownloadSpec{
    "_download",
    "GET the object `key` and return the response unchanged.",
    "httpx.Response",
    download,
    {
        {"key", Kind::NonEmptyStr, "str"},
        kHeadersParam,
        kTimeoutParam,
    },
};

namespace {
Ref head(Args& a) { return plain_object_request(a, verb::kHead); }
}  // namespace

const pyutil::MethodSpec kHeadSpec{
    "head",
    "HEAD the object `key` (its metadata) and return the response unchanged.",
    "httpx.Response",
    head,
    {{"key", Kind::NonEmptyStr, "str"}, kHeadersParam, {"timeout", Kind::Any, kTimeoutType, pyutil::integer(10)}},
};

namespace {
Ref delete_object(Args& a) { return plain_object_request(a, verb::kDelete); }
}  // namespace

const pyutil::MethodSpec kDeleteSpec{
    "delete",
    "DELETE the object `key` and return the response unchanged.",
    "httpx.Response",
    delete_object,
    {
        {"key", Kind::NonEmptyStr, "str"},
        kHeadersParam,
        kTimeoutParam,
    },
};

}  // namespace kestry
