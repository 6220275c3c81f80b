#include "pyutil/response.hpp"

namespace pyutil {
namespace {
const Name kStatusCode{"status_code"};
const Name kText{"text"};
const Name kContent{"content"};
}  // namespace

long status_code(PyObject* response) {
    Ref code = check(PyObject_GetAttr(response, kStatusCode));
    return as_long(code.get());
}

Ref response_text(PyObject* response) { return check(PyObject_GetAttr(response, kText)); }

Ref response_content(PyObject* response) {
    Ref content = check(PyObject_GetAttr(response, kContent));
    if (!PyBytes_Check(content.get())) {
        raise_format(PyExc_TypeError, "response content must be bytes, not %.200s", Py_TYPE(content.get())->tp_name);
    }
    return content;
}

void raise_failure(const char* prefix, PyObject* response) {
    long status = status_code(response);
    Ref text = response_text(response);
    raise_format(PyExc_Exception, "%s%ld %S", prefix, status, text.get());
}

void raise_message(const char* message) { raise(PyExc_Exception, message); }

Ref optional_attr(PyObject* obj, PyObject* name) {
    PyObject* value = PyObject_GetAttr(obj, name);
    if (value != nullptr) return Ref::steal(value);
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw Error{};
    PyErr_Clear();
    return {};
}

}  // namespace pyutil
