// Owned references and the error convention of the binding layer: a C API failure leaves a Python
// exception set and is turned into a C++ `Error` throw, which the method boundary turns back
// into a NULL return. No C++ exception ever reaches the interpreter.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>
#include <string_view>
#include <utility>

namespace pyutil {

// Thrown when a Python exception is set and the current operation must unwind. The method
// boundary (method_vectorcall in method.cpp) also turns the C++ exceptions of the core into
// Python ones: std::invalid_argument, with which the core refuses bad input, into ValueError;
// std::bad_alloc into MemoryError; any other std::exception into RuntimeError.
struct Error {};

class Ref {
public:
    Ref() = default;
    static Ref steal(PyObject* p) { return Ref(p); }
    static Ref borrow(PyObject* p) {
        Py_XINCREF(p);
        return Ref(p);
    }
    Ref(const Ref& other) : p_(other.p_) { Py_XINCREF(p_); }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    explicit Ref(PyObject* p) : p_(p) {}
    PyObject* p_ = nullptr;
};

// A new reference from the C API, or an Error throw when it returned NULL.
inline Ref check(PyObject* p) {
    if (p == nullptr) throw Error{};
    return Ref::steal(p);
}
inline int check(int status) {
    if (status < 0) throw Error{};
    return status;
}
// PyLong_AsLong(number), or an Error throw when it fails (no int, or out of range).
inline long as_long(PyObject* number) {
    const long value = PyLong_AsLong(number);
    if (value == -1 && PyErr_Occurred()) throw Error{};
    return value;
}

[[noreturn]] void raise(PyObject* type, const char* message);
[[noreturn]] void raise_format(PyObject* type, const char* format, ...);

// An interned name, created on first use (under the GIL) and kept for the process's life.
class Name {
public:
    constexpr explicit Name(const char* text) : text_(text) {}
    PyObject* get() const {
        if (p_ == nullptr) {
            p_ = PyUnicode_InternFromString(text_);
            if (p_ == nullptr) throw Error{};
        }
        return p_;
    }
    operator PyObject*() const { return get(); }
    const char* c_str() const { return text_; }

private:
    const char* text_;
    mutable PyObject* p_ = nullptr;
};

// Keeps the pending Python exception aside while clean-up code runs, and puts it back after, so
// that a failure during clean-up never hides the failure being cleaned up after.
class PendingError {
public:
    PendingError() {
#if PY_VERSION_HEX >= 0x030C0000
        saved_ = PyErr_GetRaisedException();
#else
        PyErr_Fetch(&type_, &saved_, &traceback_);
#endif
    }
    ~PendingError() {
        PyErr_Clear();  // a failure of the clean-up itself gives way to the one being handled
#if PY_VERSION_HEX >= 0x030C0000
        if (saved_ != nullptr) PyErr_SetRaisedException(saved_);
#else
        if (type_ != nullptr) PyErr_Restore(type_, saved_, traceback_);
#endif
    }
    PendingError(const PendingError&) = delete;
    PendingError& operator=(const PendingError&) = delete;

private:
    PyObject* saved_ = nullptr;
#if PY_VERSION_HEX < 0x030C0000
    PyObject* type_ = nullptr;
    PyObject* traceback_ = nullptr;
#endif
};

// Text conversions. `utf8` views the interpreter's cached UTF-8 form of a str (valid while the
// object lives) and raises UnicodeEncodeError for lone surrogates, as str.encode() would.
std::string_view utf8(PyObject* str);
Ref to_str(std::string_view utf8_text);
Ref to_bytes(std::string_view bytes);
// A path's bytes in the file-system encoding, and back (os.fsencode, os.fsdecode): unlike UTF-8,
// these carry any name the file system gives, undecodable bytes as surrogate escapes. A name
// holding a NUL raises ValueError, as every os function does.
std::string fs_bytes(PyObject* str);
Ref fs_str(std::string_view bytes);

}  // namespace pyutil
