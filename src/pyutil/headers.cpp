#include "pyutil/headers.hpp"

#include "pyutil/text.hpp"

namespace pyutil {

PyObject* find_lower(PyObject* headers, std::string_view lowered) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(headers, &pos, &key, &value)) {
        if (PyUnicode_Check(key) && PyUnicode_GET_LENGTH(key) != static_cast<Py_ssize_t>(lowered.size()) &&
            PyUnicode_IS_ASCII(key)) {
            continue;  // an ASCII key keeps its length when lower-cased
        }
        Ref low = lower(key);
        if (PyUnicode_Check(low.get()) && utf8(low.get()) == lowered) return value;
    }
    return nullptr;
}

bool has_key_lower(PyObject* headers, std::string_view lowered) { return find_lower(headers, lowered) != nullptr; }

Ref copy_headers(PyObject* headers) {
    if (headers != nullptr && PyDict_Check(headers) && PyDict_GET_SIZE(headers) > 0) {
        return check(PyDict_Copy(headers));
    }
    return check(PyDict_New());
}

}  // namespace pyutil
