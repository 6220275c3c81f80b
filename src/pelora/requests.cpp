// The signed request primitive and the object operations sent through it.
#include <string>

#include "core/encoding.hpp"
#include "kit/answers.hpp"
#include "kit/object_calls.hpp"
#include "kit/send_request.hpp"
#include "pyutil/call.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

// One line on the interpreter's sys.stdout, looked up now so that a caller's redirection holds;
// like print(), nothing when there is no stdout.
void announce(std::string_view url) {
    PyObject* out = PySys_GetObject("stdout");
    if (out == nullptr || out == Py_None) return;
    std::string line(url);
    line.push_back('\n');
    Ref text = pyutil::to_str(line);
    Ref written = pyutil::Call().arg(text.get()).method(out, method::kWrite);
}

}  // namespace

void replace_header(PyObject* headers, PyObject* name, std::string_view lowered, PyObject* value) {
    Ref keys = check(PyDict_Keys(headers));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i) {
        PyObject* key = PyList_GET_ITEM(keys.get(), i);
        if (PyUnicode_Check(key) && pyutil::lower_utf8(key) == lowered) check(PyDict_DelItem(headers, key));
    }
    check(PyDict_SetItem(headers, name, value));
}

void append_query(std::string& url, PyObject* query) {
    if (query == Py_None || PyDict_GET_SIZE(query) == 0) return;
    char separator = '?';
    Py_ssize_t pos = 0;
    PyObject *name, *value;
    while (PyDict_Next(query, &pos, &name, &value)) {
        if (!PyUnicode_Check(name)) {
            pyutil::raise_format(PyExc_TypeError, "query parameter names must be str, not %.200s",
                                 Py_TYPE(name)->tp_name);
        }
        url.push_back(separator);
        separator = '&';
        url.append(pyutil::utf8(name));
        if (PyUnicode_Check(value) && PyUnicode_GET_LENGTH(value) == 0) continue;
        Ref text = check(PyObject_Str(value));
        url.push_back('=');
        corvault::core::percent_encode_append(url, pyutil::utf8(text.get()));
    }
}

Ref get_authorization(PyObject* self, PyObject* key) {
    return pyutil::Call().arg(key).arg(verb::kGet).method(self, kBuildAuthHeaderOp);
}

Ref request(Args& a) {
    enum { Method, Key, QueryParams, BaseUrl };
    PyObject* self = a.self();
    Keep keep;
    const std::string_view base = a.is_none(BaseUrl) ? pyutil::text_attr(self, kHost, keep) : a.str(BaseUrl);
    std::string url = object_url(base, a.str(Key));
    announce(url);

    Ref kwargs = a.kwargs() ? Ref::borrow(a.kwargs()) : check(PyDict_New());
    Ref headers = kit::take_headers(kwargs.get());

    // A headers value that is no dict must fail as a lookup of its entries would, not be scanned.
    if (!PyDict_Check(headers.get())) Ref lookup = check(PyObject_GetAttr(headers.get(), method::kGet));
    // The service signs the content headers the request carries, whatever their letter case.
    Ref content_md5 = header_text_any_case(headers.get(), "content-md5");
    Ref content_type = header_text_any_case(headers.get(), "content-type");
    Ref authorization = pyutil::Call()
                            .arg(a[Key])
                            .arg(a[Method])
                            .kw(kContentMd5Keyword, content_md5.get())
                            .kw(kContentTypeKeyword, content_type.get())
                            .kw(kw::kHeaders, headers.get())
                            .method(self, kBuildAuthHeaderOp);
    replace_header(headers.get(), header::kAuthorization, "authorization", authorization.get());

    append_query(url, a[QueryParams]);
    return kit::send_request(self, a[Method], url, headers.get(), kwargs.get());
}

const pyutil::MethodSpec kRequestSpec{
    "_request",
    "Send a signed request on the object `key` to `base_url` (the upload host by default) and\n"
    "return the httpx response unchanged.\n\n"
    "Prints the URL, without its query, on sys.stdout. A `headers` keyword receives the\n"
    "Authorization entry in place; the other keywords go to the HTTP client's request(), a raw\n"
    "`data` body as `content`.\n\n" CORVAULT_SEND_REQUEST_DOC,
    "httpx.Response",
    request,
    {
        {"method", Kind::Str, "str"},
        {"key", Kind::Str, "str"},
        {"query_params", Kind::OptDict, "Optional[Dict[str, str]]", pyutil::none()},
        {"base_url", Kind::OptStr, "Optional[str]", pyutil::none()},
    },
    true,
};

Ref upload(Args& a) {
    enum { Key, Data, ContentType, ContentMd5, Headers, Timeout };
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (truthy(a[ContentType])) replace_header(headers.get(), header::kContentType, "content-type", a[ContentType]);
    if (truthy(a[ContentMd5])) replace_header(headers.get(), header::kContentMd5, "content-md5", a[ContentMd5]);
    Ref data = kit::read_if_file(a[Data]);
    return pyutil::Call()
        .arg(verb::kPut)
        .arg(a[Key])
        .kw(kw::kData, data.get())
        .kw(kw::kHeaders, headers.get())
        .kw(kw::kTimeout, a[Timeout])
        .method(a.self(), op::kRequest);
}

const pyutil::MethodSpec kUploadSpec{
    "upload",
    "Store `data` (bytes, text, or a file object read whole) as the object `key`.",
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

// _download, head and delete: one request without a body to the bucket's own endpoint. The
// caller's headers are copied, so a mapping reused across calls never carries a stale signature.
Ref endpoint_request(Args& a, PyObject* method, PyObject* timeout) {
    enum { Key, Headers };
    Ref headers = pyutil::copy_headers(a[Headers]);
    Ref base = check(PyObject_GetAttr(a.self(), kApiHost));
    pyutil::Call call;
    call.arg(method).arg(a[Key]).kw(kBaseUrl, base.get()).kw(kw::kHeaders, headers.get());
    if (timeout != nullptr) call.kw(kw::kTimeout, timeout);
    return call.method(a.self(), op::kRequest);
}

Ref download_object(Args& a) { return endpoint_request(a, verb::kGet, nullptr); }

const pyutil::MethodSpec kDownloadObjectSpec{
    "_download",
    "GET the object `key` from the bucket's endpoint; the response holds the whole body.",
    "httpx.Response",
    download_object,
    {{"key", Kind::Str, "str"}, kHeadersParam},
};

Ref head(Args& a) { return endpoint_request(a, verb::kHead, a[2]); }

const pyutil::MethodSpec kHeadSpec{
    "head",
    "HEAD the object `key` (10 seconds at most unless `timeout` says otherwise).",
    "httpx.Response",
    head,
    {{"key", Kind::Str, "str"}, kHeadersParam, {"timeout", Kind::Any, kTimeoutType, pyutil::integer(10)}},
};

Ref delete_object(Args& a) { return endpoint_request(a, verb::kDelete, nullptr); }

const pyutil::MethodSpec kDeleteSpec{
    "delete",
    "DELETE the object `key`.",
    "httpx.Response",
    delete_object,
    {
        {"key", Kind::Str, "str"},
        kHeadersParam,
    },
};

}  // namespace pelora
