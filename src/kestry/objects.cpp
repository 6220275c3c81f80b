// Operations on one object: store, fetch, metadata and delete, each one request through
// `_request` whose response comes back unchanged.
#include "pyutil/call.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"

#include "kestry/shared.hpp"

namespace kestry {

Ref text_dict(std::initializer_list<std::pair<const Name*, PyObject*>> entries) {
    Ref dict = check(PyDict_New());
    for (const auto& [name, value] : entries) check(PyDict_SetItem(dict.get(), *name, value));
    return dict;
}

bool non_empty_text(PyObject* value) { return PyUnicode_Check(value) && PyUnicode_GET_LENGTH(value) > 0; }

Ref read_if_file(PyObject* data) {
    Ref read = pyutil::optional_attr(data, kRead);
    if (!read) return Ref::borrow(data);
    return check(PyObject_CallNoArgs(read.get()));
}

Ref object_request(PyObject* self, PyObject* method, PyObject* key, PyObject* query_params, PyObject* data,
                   PyObject* headers, PyObject* timeout) {
    pyutil::Call call;
    call.arg(method).arg(key);
    if (query_params != nullptr) call.kw(kQueryParams, query_params);
    if (data != nullptr) call.kw(kData, data);
    call.kw(kHeaders, headers).kw(kTimeout, timeout);
    return call.method(self, kUnderscoreRequest);
}

namespace {

Ref upload(Args& a) {
    enum { Key, Data, ContentType, ContentMd5, Headers, Timeout };
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), kContentTypeHeader, a[ContentType]);
    if (non_empty_text(a[ContentMd5])) pyutil::set_item(headers.get(), kContentMd5Header, a[ContentMd5]);
    Ref data = read_if_file(a[Data]);  // text stays text: the HTTP client sends it as UTF-8
    return object_request(a.self(), kPut, a[Key], nullptr, data.get(), headers.get(), a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kUploadSpec{
    "upload",
    "Store `data` (bytes, text sent as UTF-8, or a file-like object read whole) as the object\n"
    "`key` and return the response. `headers` is copied, never changed.",
    "httpx.Response",
    upload,
    {
        {"key", Kind::Str, "str"},
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
    return object_request(a.self(), method, a[Key], nullptr, nullptr, headers.get(), a[Timeout]);
}

Ref download(Args& a) { return plain_object_request(a, kGet); }

}  // namespace

const pyutil::MethodSpec kDownloadSpec{
    "_download",
    "GET the object `key` and return the response unchanged.",
    "httpx.Response",
    download,
    {{"key", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

namespace {
Ref head(Args& a) { return plain_object_request(a, kHead); }
}  // namespace

const pyutil::MethodSpec kHeadSpec{
    "head",
    "HEAD the object `key` (its metadata) and return the response unchanged.",
    "httpx.Response",
    head,
    {{"key", Kind::Str, "str"}, kHeadersParam, {"timeout", Kind::Any, kTimeoutType, pyutil::integer(10)}},
};

namespace {
Ref delete_object(Args& a) { return plain_object_request(a, kDelete); }
}  // namespace

const pyutil::MethodSpec kDeleteSpec{
    "delete",
    "DELETE the object `key` and return the response unchanged.",
    "httpx.Response",
    delete_object,
    {{"key", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

}  // namespace kestry
