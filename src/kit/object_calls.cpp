#include "kit/object_calls.hpp"

#include "pyutil/call.hpp"
#include "pyutil/names.hpp"
#include "pyutil/response.hpp"

namespace kit {

bool non_empty_text(PyObject* value) { return PyUnicode_Check(value) && PyUnicode_GET_LENGTH(value) > 0; }

pyutil::Ref read_if_file(PyObject* data) {
    pyutil::Ref read = pyutil::optional_attr(data, pyutil::method::kRead);
    if (!read) return pyutil::Ref::borrow(data);
    return pyutil::check(PyObject_CallNoArgs(read.get()));
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

}  // namespace kit
