#include "kit/answers.hpp"

#include "pyutil/call.hpp"
#include "pyutil/names.hpp"

namespace kit {

using pyutil::check;
using pyutil::Ref;

void raise_parse_error(const corvault::core::xml::ParseError& e) {
    Ref error = check(PyObject_CallFunction(facilities.parse_error, "s", e.what()));
    Ref code = check(PyLong_FromLong(e.code()));
    Ref position = check(Py_BuildValue("(ii)", e.line(), e.column()));
    check(PyObject_SetAttrString(error.get(), "code", code.get()));
    check(PyObject_SetAttrString(error.get(), "position", position.get()));
    PyErr_SetObject(facilities.parse_error, error.get());
    throw pyutil::Error{};
}

long long content_length(PyObject* response) {
    Ref headers = check(PyObject_GetAttr(response, pyutil::kw::kHeaders));
    Ref zero = check(PyLong_FromLong(0));
    Ref length =
        pyutil::Call().arg(pyutil::header::kContentLength).arg(zero.get()).method(headers.get(), pyutil::method::kGet);
    Ref number = PyLong_Check(length.get()) ? length : check(PyNumber_Long(length.get()));
    const long long value = PyLong_AsLongLong(number.get());
    if (value == -1 && PyErr_Occurred()) throw pyutil::Error{};
    return value;
}

std::optional<std::string> header_value(PyObject* response, PyObject* name) {
    Ref headers = check(PyObject_GetAttr(response, pyutil::kw::kHeaders));
    Ref value = pyutil::Call().arg(name).method(headers.get(), pyutil::method::kGet);
    if (value.get() == Py_None) return std::nullopt;
    Ref text = PyUnicode_Check(value.get()) ? value : check(PyObject_Str(value.get()));
    return std::string(pyutil::utf8(text.get()));
}

Ref effective_timeout(PyObject* self, PyObject* given) {
    if (given != nullptr && given != Py_None) return Ref::borrow(given);
    Ref fallback = check(PyObject_GetAttr(self, pyutil::attr::kDefaultTimeout));
    if (fallback.get() == Py_None) return {};
    return fallback;
}

Ref request_timeout(PyObject* self, PyObject* given) {
    Ref effective = effective_timeout(self, given);
    return effective ? effective : Ref::borrow(Py_None);
}

Ref http_client(const pyutil::Args& a, std::size_t index) {
    if (!a.is_none(index)) return Ref::borrow(a[index]);
    Ref client_type = check(PyObject_GetAttr(a.global(pyutil::httpx::kModule), pyutil::httpx::kClientType));
    return check(PyObject_CallNoArgs(client_type.get()));
}

}  // namespace kit
