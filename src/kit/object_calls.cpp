#include "kit/object_calls.hpp"

#include "kit/facilities.hpp"
#include "pyutil/call.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/names.hpp"
#include "pyutil/request_keywords.hpp"
#include "pyutil/response.hpp"

namespace kit {
namespace {

const pyutil::Name kIter{"__iter__"};
const pyutil::Name kGetvalue{"getvalue"};

// The chunks of an iterable gathered into one bytes object through an io.BytesIO, which grows its
// buffer in place and hands it over without a copy: the body and one chunk are held at a time,
// where b"".join would hold every chunk and the joined copy. A chunk that is not bytes-like raises
// TypeError.
pyutil::Ref gathered(PyObject* iterable) {
    pyutil::Ref buffer = pyutil::check(PyObject_CallNoArgs(facilities.bytes_io));
    pyutil::Ref iterator = pyutil::check(PyObject_GetIter(iterable));
    while (PyObject* next = PyIter_Next(iterator.get())) {
        pyutil::Ref chunk = pyutil::Ref::steal(next);
        pyutil::Ref written =
            pyutil::check(PyObject_CallMethodOneArg(buffer.get(), pyutil::method::kWrite, chunk.get()));
    }
    if (PyErr_Occurred()) throw pyutil::Error{};
    return pyutil::check(PyObject_CallMethodNoArgs(buffer.get(), kGetvalue));
}

}  // namespace

bool non_empty_text(PyObject* value) { return PyUnicode_Check(value) && PyUnicode_GET_LENGTH(value) > 0; }

pyutil::Ref read_if_file(PyObject* data) {
    pyutil::Ref read = pyutil::optional_attr(data, pyutil::method::kRead);
    if (!read) return pyutil::Ref::borrow(data);
    return pyutil::check(PyObject_CallNoArgs(read.get()));
}

pyutil::Ref resendable_body(PyObject* data) {
    pyutil::Ref body = read_if_file(data);
    PyObject* b = body.get();
    if (b == Py_None || PyBytes_Check(b) || PyUnicode_Check(b) || pyutil::is_mapping(b)) return body;
    if (PyObject_CheckBuffer(b)) return pyutil::check(PyBytes_FromObject(b));
    pyutil::Ref iterator = pyutil::optional_attr(b, kIter);
    if (!iterator) return body;  // no body httpx takes; the request itself says so
    return gathered(b);
}

pyutil::Ref call_object_request(PyObject* self, PyObject* method, PyObject* key, PyObject* query_params, PyObject* data,
                                PyObject* headers, PyObject* timeout) {
    pyutil::Call call;
    call.arg(method).arg(key);
    if (query_params != nullptr) call.kw(pyutil::kw::kQueryParams, query_params);
    if (data != nullptr) call.kw(pyutil::kw::kData, data);
    call.kw(pyutil::kw::kHeaders, headers).kw(pyutil::kw::kTimeout, timeout);
    return call.method(self, pyutil::op::kRequest);
}

namespace {

// The caller's headers are copied, so a mapping reused across calls never carries a stale date,
// Host or signature into the next.
pyutil::Ref plain_object_request(pyutil::Args& a, PyObject* method) {
    enum { Key, Headers, Timeout };
    pyutil::Ref headers = pyutil::copy_headers(a[Headers]);
    return call_object_request(a.self(), method, a[Key], nullptr, nullptr, headers.get(), a[Timeout]);
}

pyutil::Ref download(pyutil::Args& a) { return plain_object_request(a, pyutil::verb::kGet); }

}  // namespace

const pyutil::MethodSpec kDownloadSpec{
    "_download",
    "GET the object `key` and return the response unchanged.",
    "httpx.Response",
    download,
    {
        {"key", pyutil::Kind::NonEmptyStr, "str"},
        kHeadersParam,
        kTimeoutParam,
    },
};

namespace {
pyutil::Ref head(pyutil::Args& a) { return plain_object_request(a, pyutil::verb::kHead); }
}  // namespace

const pyutil::MethodSpec kHeadSpec{
    "head",
    "HEAD the object `key` (its metadata) and return the response unchanged.",
    "httpx.Response",
    head,
    {
        {"key", pyutil::Kind::NonEmptyStr, "str"},
        kHeadersParam,
        {"timeout", pyutil::Kind::Any, kTimeoutType, pyutil::integer(10)},
    },
};

namespace {
pyutil::Ref delete_object(pyutil::Args& a) { return plain_object_request(a, pyutil::verb::kDelete); }
}  // namespace

const pyutil::MethodSpec kDeleteSpec{
    "delete",
    "DELETE the object `key` and return the response unchanged.",
    "httpx.Response",
    delete_object,
    {
        {"key", pyutil::Kind::NonEmptyStr, "str"},
        kHeadersParam,
        kTimeoutParam,
    },
};

}  // namespace kit
