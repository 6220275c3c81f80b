#include "pyutil/call.hpp"

#include <stdexcept>

namespace pyutil {

Call& Call::arg(PyObject* value) {
    if (npos_ == kMax) throw std::logic_error("too many positional arguments");
    positional_[npos_++] = value;
    return *this;
}

Call& Call::kw(PyObject* name, PyObject* value) {
    if (nkw_ == kMax) throw std::logic_error("too many keyword arguments");
    names_[nkw_] = name;
    values_[nkw_++] = value;
    return *this;
}

Call& Call::kwargs(PyObject* dict) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(dict, &pos, &key, &value)) kw(key, value);
    return *this;
}

Ref Call::method(PyObject* self, PyObject* name) const { return invoke(nullptr, self, name); }
Ref Call::call(PyObject* callable) const { return invoke(callable, nullptr, nullptr); }

Ref Call::invoke(PyObject* callable, PyObject* self, PyObject* name) const {
    // stack[0] stays free for the callee's use (PY_VECTORCALL_ARGUMENTS_OFFSET); a method call
    // puts self in stack[1], ahead of the positional arguments.
    PyObject* stack[2 + 2 * kMax];
    std::size_t n = 1;
    stack[0] = nullptr;
    if (self != nullptr) stack[n++] = self;
    for (std::size_t i = 0; i < npos_; ++i) stack[n++] = positional_[i];
    for (std::size_t i = 0; i < nkw_; ++i) stack[n++] = values_[i];
    Ref kwnames;
    if (nkw_ > 0) {
        kwnames = check(PyTuple_New(static_cast<Py_ssize_t>(nkw_)));
        for (std::size_t i = 0; i < nkw_; ++i) {
            PyTuple_SET_ITEM(kwnames.get(), static_cast<Py_ssize_t>(i), Py_NewRef(names_[i]));
        }
    }
    const std::size_t nargs = (self != nullptr ? 1 : 0) + npos_;
    if (self != nullptr) {
        return check(PyObject_VectorcallMethod(name, stack + 1, nargs | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames.get()));
    }
    return check(PyObject_Vectorcall(callable, stack + 1, nargs | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames.get()));
}

}  // namespace pyutil
