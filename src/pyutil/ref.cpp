#include "pyutil/ref.hpp"

#include <cstdarg>

namespace pyutil {

void raise(PyObject* type, const char* message) {
    PyErr_SetString(type, message);
    throw Error{};
}

void raise_format(PyObject* type, const char* format, ...) {
    va_list args;
    va_start(args, format);
    PyErr_FormatV(type, format, args);
    va_end(args);
    throw Error{};
}

std::string_view utf8(PyObject* str) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(str, &size);
    if (data == nullptr) throw Error{};
    return {data, static_cast<std::size_t>(size)};
}

Ref to_str(std::string_view utf8_text) {
    return check(PyUnicode_DecodeUTF8(utf8_text.data(), static_cast<Py_ssize_t>(utf8_text.size()), "strict"));
}

Ref to_bytes(std::string_view bytes) {
    return check(PyBytes_FromStringAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size())));
}

std::string fs_bytes(PyObject* str) {
    Ref encoded = check(PyUnicode_EncodeFSDefault(str));
    std::string bytes(PyBytes_AS_STRING(encoded.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get())));
    // A system call reads the name up to its first NUL: "a\0.bin" would be the file "a".
    if (bytes.find('\0') != std::string::npos) raise(PyExc_ValueError, "embedded null byte");
    return bytes;
}

Ref fs_str(std::string_view bytes) {
    return check(PyUnicode_DecodeFSDefaultAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size())));
}

}  // namespace pyutil
