#include "kit/send_request.hpp"

#include "kit/answers.hpp"
#include "pyutil/call.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/names.hpp"
#include "pyutil/request_keywords.hpp"

namespace kit {

using pyutil::check;
using pyutil::Ref;
namespace kw = pyutil::kw;

Ref take_headers(PyObject* kwargs) {
    PyObject* given = PyDict_GetItemWithError(kwargs, kw::kHeaders);
    if (given == nullptr) {
        if (PyErr_Occurred()) throw pyutil::Error{};
        return check(PyDict_New());
    }
    Ref headers = Ref::borrow(given);
    check(PyDict_DelItem(kwargs, kw::kHeaders));
    return headers;
}

Ref send_request(PyObject* self, PyObject* method, std::string_view url, PyObject* headers, PyObject* kwargs) {
    PyObject* given_timeout = PyDict_GetItemWithError(kwargs, kw::kTimeout);
    if (given_timeout == nullptr && PyErr_Occurred()) throw pyutil::Error{};
    Ref timeout = effective_timeout(self, given_timeout);
    if (timeout && timeout.get() != given_timeout) check(PyDict_SetItem(kwargs, kw::kTimeout, timeout.get()));

    pyutil::keep_path_as_built(kwargs, url);
    pyutil::raw_body_as_content(kwargs);

    Ref client = check(PyObject_GetAttr(self, pyutil::attr::kClient));
    Ref url_text = pyutil::to_str(url);
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

}  // namespace kit
