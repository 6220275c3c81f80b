#include "kit/send_request.hpp"

#include "kit/answers.hpp"
#include "kit/facilities.hpp"
#include "pyutil/call.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/names.hpp"
#include "pyutil/request_keywords.hpp"
#include "pyutil/response.hpp"

namespace kit {

using pyutil::check;
using pyutil::Ref;
namespace kw = pyutil::kw;

namespace {

const pyutil::Name kAuth{"auth"};
const pyutil::Name kFollowRedirects{"follow_redirects"};

// The entry `name` of `kwargs`, removed from it; empty when there is none.
Ref take(PyObject* kwargs, PyObject* name) {
    PyObject* found = PyDict_GetItemWithError(kwargs, name);
    if (found == nullptr) {
        if (PyErr_Occurred()) throw pyutil::Error{};
        return {};
    }
    Ref value = Ref::borrow(found);
    check(PyDict_DelItem(kwargs, name));
    return value;
}

// client.send(client.build_request(method, url, **build_keywords), stream=True, **send_keywords);
// `send_keywords` may be null.
Ref send_streamed(PyObject* client, PyObject* method, PyObject* url, PyObject* build_keywords,
                  PyObject* send_keywords = nullptr) {
    Ref request =
        pyutil::Call().arg(method).arg(url).kwargs(build_keywords).method(client, pyutil::httpx::kBuildRequest);
    pyutil::Call send;
    send.arg(request.get()).kw(kw::kStream, Py_True);
    if (send_keywords != nullptr) send.kwargs(send_keywords);
    return send.method(client, pyutil::httpx::kSend);
}

// Whether `client.<name>` is the function `own` of httpx.Client, bound to the client itself (not
// replaced in a subclass, not set on the instance, not another client's).
bool is_httpx_own(PyObject* client, PyObject* name, PyObject* own) {
    Ref bound = pyutil::optional_attr(client, name);
    return bound && own != nullptr && PyMethod_Check(bound.get()) && PyMethod_GET_FUNCTION(bound.get()) == own &&
           PyMethod_GET_SELF(bound.get()) == client;
}

}  // namespace

// httpx's request() is build_request() then send(): a client whose request() it is has both.
bool can_stream(PyObject* client) { return is_httpx_own(client, pyutil::httpx::kRequest, facilities.httpx_request); }

Ref take_headers(PyObject* kwargs) {
    Ref headers = take(kwargs, kw::kHeaders);
    return headers ? headers : check(PyDict_New());
}

Ref send_request(PyObject* self, PyObject* method, std::string_view url, PyObject* headers, PyObject* kwargs) {
    Ref stream = take(kwargs, kw::kStream);
    const bool streamed = stream && check(PyObject_IsTrue(stream.get())) == 1;
    PyObject* given_timeout = PyDict_GetItemWithError(kwargs, kw::kTimeout);
    if (given_timeout == nullptr && PyErr_Occurred()) throw pyutil::Error{};
    Ref timeout = effective_timeout(self, given_timeout);
    if (timeout && timeout.get() != given_timeout) check(PyDict_SetItem(kwargs, kw::kTimeout, timeout.get()));

    pyutil::keep_path_as_built(kwargs, url);
    pyutil::raw_body_as_content(kwargs);

    Ref client = check(PyObject_GetAttr(self, pyutil::attr::kClient));
    Ref url_text = pyutil::to_str(url);
    if (streamed && can_stream(client.get())) {
        Ref send_keywords = check(PyDict_New());
        for (PyObject* name : {kAuth.get(), kFollowRedirects.get()}) {
            Ref value = take(kwargs, name);
            if (value) check(PyDict_SetItem(send_keywords.get(), name, value.get()));
        }
        Ref build_keywords = record({{&kw::kHeaders, headers}});
        check(PyDict_Update(build_keywords.get(), kwargs));
        return send_streamed(client.get(), method, url_text.get(), build_keywords.get(), send_keywords.get());
    }
    return pyutil::Call()
        .arg(method)
        .arg(url_text.get())
        .kw(kw::kHeaders, headers)
        .kwargs(kwargs)
        .method(client.get(), pyutil::httpx::kRequest);
}

Ref as_built_keywords(std::string_view url, PyObject* headers, PyObject* timeout) {
    Ref keywords = record({{&kw::kHeaders, headers}, {&kw::kTimeout, timeout}});
    pyutil::keep_path_as_built(keywords.get(), url);
    return keywords;
}

Ref get_unread(PyObject* client, std::string_view url, PyObject* headers, PyObject* timeout) {
    Ref keywords = as_built_keywords(url, headers, timeout);
    Ref url_text = pyutil::to_str(url);
    if (can_stream(client) && is_httpx_own(client, pyutil::httpx::kGet, facilities.httpx_get)) {
        return send_streamed(client, pyutil::verb::kGet, url_text.get(), keywords.get());
    }
    return pyutil::Call().arg(url_text.get()).kwargs(keywords.get()).method(client, pyutil::httpx::kGet);
}

}  // namespace kit
