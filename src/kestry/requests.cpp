// The request primitive: every request on an object key (and on the bucket, with the empty key)
// is completed, signed and sent here, and its response returned unchanged.
#include <string>

#include "core/oss_url.hpp"
#include "core/url.hpp"
#include "core/utc_time.hpp"
#include "pyutil/call.hpp"
#include "pyutil/clock.hpp"
#include "pyutil/headers.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

bool non_empty_dict(PyObject* value) { return PyDict_Check(value) && PyDict_GET_SIZE(value) > 0; }

// The `headers` keyword taken out of the keywords (the caller's mapping itself), or a new dict.
Ref take_headers(PyObject* kwargs) {
    PyObject* given = PyDict_GetItemWithError(kwargs, kHeaders);
    if (given == nullptr) {
        if (PyErr_Occurred()) throw pyutil::Error{};
        return check(PyDict_New());
    }
    Ref headers = Ref::borrow(given);
    check(PyDict_DelItem(kwargs, kHeaders));
    return headers;
}

// Host, payload hash and date, each only when the caller's mapping has none in any letter case.
void complete_headers(PyObject* self, PyObject* headers, Keep& keep) {
    if (!pyutil::has_key(headers, kHostHeader) && !pyutil::has_key_lower(headers, "host")) {
        Ref host = pyutil::to_str(core::oss::endpoint_host(pyutil::text_attr(self, kHost, keep)));
        pyutil::set_item(headers, kHostHeader, host.get());
    }
    if (!pyutil::has_key_lower(headers, "x-oss-content-sha256")) {
        pyutil::set_item(headers, kContentSha256Header, kUnsignedPayload);
    }
    if (!pyutil::has_key_lower(headers, "x-oss-date")) {
        Ref date = pyutil::to_str(core::format_amz_date(pyutil::utc_now()));
        pyutil::set_item(headers, kOssDateHeader, date.get());
    }
}

// A raw body (bytes, text, a stream of chunks) goes to httpx as `content`: httpx takes `data` for
// form fields and deprecates raw bodies there. Other bytes-like bodies go as bytes, the one
// buffer type httpx sends whole. A mapping stays form data. The keywords keep their order.
Ref send_keywords(PyObject* kwargs) {
    PyObject* data = PyDict_GetItemWithError(kwargs, kData);
    if (data == nullptr && PyErr_Occurred()) throw pyutil::Error{};
    const bool buffer = data != nullptr && (PyByteArray_Check(data) || PyMemoryView_Check(data));
    const bool raw = buffer || (data != nullptr && (PyBytes_Check(data) || PyUnicode_Check(data) || PyIter_Check(data)));
    if (!raw || check(PyDict_Contains(kwargs, kContent))) return Ref::borrow(kwargs);
    Ref body = buffer ? check(PyBytes_FromObject(data)) : Ref::borrow(data);
    Ref renamed = check(PyDict_New());
    Py_ssize_t pos = 0;
    PyObject *name, *value;
    while (PyDict_Next(kwargs, &pos, &name, &value)) {
        const bool is_data = PyUnicode_Check(name) && PyUnicode_Compare(name, kData) == 0;
        check(PyDict_SetItem(renamed.get(), is_data ? kContent.get() : name, is_data ? body.get() : value));
    }
    return renamed;
}

Ref request(Args& a) {
    enum { Method, Key, QueryParams };
    PyObject* self = a.self();
    Keep keep;
    Ref kwargs = a.kwargs() ? Ref::borrow(a.kwargs()) : check(PyDict_New());
    Ref headers = take_headers(kwargs.get());
    // The URL is built before anything else runs, from the key and the host as they are now.
    std::string url_text = core::oss::object_url(pyutil::text_attr(self, kHost, keep), a.str(Key));

    complete_headers(self, headers.get(), keep);
    Ref authorization =
        pyutil::Call().arg(a[Method]).arg(a[Key]).arg(headers.get()).arg(a[QueryParams]).method(self, kSignRequest);
    pyutil::set_item(headers.get(), kAuthorizationHeader, authorization.get());

    // The query travels in the URL, encoded as it was signed: httpx's own encoding of `params`
    // writes a blank as "+", which the service reads as a plus sign. A caller's own `params`
    // keyword wins and is sent as given.
    if (non_empty_dict(a[QueryParams]) && !check(PyDict_Contains(kwargs.get(), kParams))) {
        Ref query = check(PyDict_Copy(a[QueryParams]));
        core::append_query(url_text, pyutil::query_pairs(query.get()));
    }
    PyObject* timeout = PyDict_GetItemWithError(kwargs.get(), kTimeout);
    if (timeout == nullptr && PyErr_Occurred()) throw pyutil::Error{};
    if (timeout == nullptr || timeout == Py_None) {
        Ref fallback = check(PyObject_GetAttr(self, kDefaultTimeout));
        if (fallback.get() != Py_None) check(PyDict_SetItem(kwargs.get(), kTimeout, fallback.get()));
    }

    Ref client = check(PyObject_GetAttr(self, kClient));
    Ref url = pyutil::to_str(url_text);
    Ref rest = send_keywords(kwargs.get());
    return pyutil::Call().arg(a[Method]).arg(url.get()).kw(kHeaders, headers.get()).kwargs(rest.get())
        .method(client.get(), kRequest);
}

}  // namespace

const pyutil::MethodSpec kRequestSpec{
    "_request",
    "Send a signed request on the object `key` and return the httpx response unchanged.\n\n"
    "A `headers` keyword is completed in place (Host, x-oss-content-sha256, x-oss-date,\n"
    "Authorization); the other keywords go to the HTTP client's request(). The client's default\n"
    "time-out applies when no time-out is given.",
    "httpx.Response",
    request,
    {
        {"method", Kind::Str, "str"},
        {"key", Kind::Str, "str"},
        {"query_params", Kind::OptDict, "Optional[Dict[str, str]]", pyutil::none()},
    },
    true,
};

}  // namespace kestry
