#include "pyutil/call.hpp"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace pyutil {

Call& Call::arg(PyObject* value) {
    if (npos_ == kMaxPositional) throw std::logic_error("too many positional arguments");
    positional_[npos_++] = value;
    return *this;
}

Call& Call::kw(PyObject* name, PyObject* value) {
    if (nkw_ < kInlineKeywords) {
        names_[nkw_] = name;
        values_[nkw_] = value;
    } else {
        more_names_.push_back(name);
        more_values_.push_back(value);
    }
    ++nkw_;
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
    // puts self in stack[1], ahead of the positional arguments, and the keyword values follow.
    const std::size_t inline_kw = nkw_ < kInlineKeywords ? nkw_ : kInlineKeywords;
    const std::size_t size = 2 + npos_ + nkw_;
    PyObject* local[2 + kMaxPositional + kInlineKeywords];
    std::vector<PyObject*> heap;
    PyObject** stack = local;
    if (size > std::size(local)) {
        heap.resize(size);
        stack = heap.data();
    }
    PyObject** out = stack;
    *out++ = nullptr;
    if (self != nullptr) *out++ = self;
    out = std::copy(positional_, positional_ + npos_, out);
    out = std::copy(values_, values_ + inline_kw, out);
    std::copy(more_values_.begin(), more_values_.end(), out);
    Ref kwnames;
    if (nkw_ > 0) {
        kwnames = check(PyTuple_New(static_cast<Py_ssize_t>(nkw_)));
        for (std::size_t i = 0; i < nkw_; ++i) {
            PyObject* kwname = i < kInlineKeywords ? names_[i] : more_names_[i - kInlineKeywords];
            PyTuple_SET_ITEM(kwnames.get(), static_cast<Py_ssize_t>(i), Py_NewRef(kwname));
        }
    }
    const std::size_t nargs = (self != nullptr ? 1 : 0) + npos_;
    if (self != nullptr) {
        return check(PyObject_VectorcallMethod(name, stack + 1, nargs | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames.get()));
    }
    return check(PyObject_Vectorcall(callable, stack + 1, nargs | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames.get()));
}

}  // namespace pyutil
