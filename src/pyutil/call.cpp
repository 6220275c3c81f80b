#include "pyutil/call.hpp"

#include <stdexcept>

namespace pyutil {

Call& Call::arg(PyObject* value) {
    if (npos_ == kMaxPositional) throw std::logic_error("too many positional arguments");
    positional_[npos_++] = value;
    return *this;
}

Call& Call::kw(PyObject* name, PyObject* value) {
    names_.push_back(name);
    values_.push_back(value);
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
    const std::size_t nkw = names_.size();
    std::vector<PyObject*> stack;
    stack.reserve(2 + npos_ + nkw);
    stack.push_back(nullptr);
    if (self != nullptr) stack.push_back(self);
    stack.insert(stack.end(), positional_, positional_ + npos_);
    stack.insert(stack.end(), values_.begin(), values_.end());
    Ref kwnames;
    if (nkw > 0) {
        kwnames = check(PyTuple_New(static_cast<Py_ssize_t>(nkw)));
        for (std::size_t i = 0; i < nkw; ++i) {
            PyTuple_SET_ITEM(kwnames.get(), static_cast<Py_ssize_t>(i), Py_NewRef(names_[i]));
        }
    }
    const std::size_t nargs = (self != nullptr ? 1 : 0) + npos_;
    if (self != nullptr) {
        return check(
            PyObject_VectorcallMethod(name, stack.data() + 1, nargs | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames.get()));
    }
    return check(
        PyObject_Vectorcall(callable, stack.data() + 1, nargs | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames.get()));
}

}  // namespace pyutil
