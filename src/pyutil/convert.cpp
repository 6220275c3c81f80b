#include "pyutil/convert.hpp"

namespace pyutil {
namespace {

std::string_view raw_bytes(PyObject* value) {
    if (PyUnicode_Check(value)) return utf8(value);
    if (PyBytes_Check(value)) return {PyBytes_AS_STRING(value), static_cast<std::size_t>(PyBytes_GET_SIZE(value))};
    if (PyByteArray_Check(value)) {
        return {PyByteArray_AS_STRING(value), static_cast<std::size_t>(PyByteArray_GET_SIZE(value))};
    }
    raise(PyExc_TypeError, "quote_from_bytes() expected bytes");
}

}  // namespace

void raise_attr_not_text(PyObject* name, PyObject* value) {
    raise_format(PyExc_TypeError, "the client's '%U' must be str, not %.200s", name, Py_TYPE(value)->tp_name);
}

std::string_view text_attr(PyObject* self, PyObject* name, Keep& keep) {
    Ref value = check(PyObject_GetAttr(self, name));
    if (!PyUnicode_Check(value.get())) raise_attr_not_text(name, value.get());
    if (PyUnicode_AsUTF8AndSize(value.get(), nullptr) == nullptr) {
        // The encoder's error carries the whole text, and these attributes include the secret key:
        // report which attribute it is, never what it holds.
        if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw Error{};
        PyErr_Clear();
        raise_format(PyExc_ValueError, "the client's '%U' cannot be encoded as UTF-8", name);
    }
    return keep.text(std::move(value));
}

bool attr_is(PyObject* self, PyObject* name, std::string_view expected) {
    Ref value = check(PyObject_GetAttr(self, name));
    return PyUnicode_Check(value.get()) && utf8(value.get()) == expected;
}

bool attr_truth(PyObject* self, PyObject* name) {
    Ref value = check(PyObject_GetAttr(self, name));
    return check(PyObject_IsTrue(value.get())) == 1;
}

void set_attr(PyObject* self, PyObject* name, PyObject* value) { check(PyObject_SetAttr(self, name, value)); }

Ref snapshot(PyObject* dict_or_none) {
    if (dict_or_none == nullptr || dict_or_none == Py_None) return Ref::borrow(Py_None);
    return check(PyDict_Copy(dict_or_none));
}

BytePairs query_pairs(PyObject* mapping, bool text_names_only) {
    BytePairs pairs;
    if (mapping == nullptr || mapping == Py_None) return pairs;
    pairs.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(mapping)));
    Py_ssize_t pos = 0;
    PyObject *name, *value;
    int text_names = 0, byte_names = 0;
    while (PyDict_Next(mapping, &pos, &name, &value)) {
        (PyUnicode_Check(name) ? text_names : byte_names) = 1;
        pairs.emplace_back(raw_bytes(name), raw_bytes(value));
    }
    if (byte_names && (text_names || text_names_only)) {
        raise(PyExc_TypeError, "'<' not supported between instances of 'bytes' and 'str'");
    }
    return pairs;
}

}  // namespace pyutil
