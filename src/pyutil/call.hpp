// Calls into Python with positional and keyword arguments through vectorcall, so that calls
// between a client's operations go through attribute lookup on the object (`self._request(...)`)
// and subclasses and replaced methods are honoured.
#pragma once

#include <cstddef>
#include <vector>

#include "pyutil/ref.hpp"

namespace pyutil {

class Call {
public:
    // Arguments are borrowed: the caller keeps them alive until the call returns.
    Call& arg(PyObject* value);
    Call& kw(PyObject* name, PyObject* value);  // `name` should be interned
    // Adds every entry of a dict as a keyword, in the dict's order.
    Call& kwargs(PyObject* dict);

    Ref method(PyObject* self, PyObject* name) const;  // self.name(...)
    Ref call(PyObject* callable) const;

private:
    Ref invoke(PyObject* callable, PyObject* self, PyObject* name) const;
    // Positional arguments come from this library's own code only; keywords may be a caller's
    // and are passed on however many there are.
    static constexpr std::size_t kMaxPositional = 16;
    PyObject* positional_[kMaxPositional];
    std::size_t npos_ = 0;
    // The first keywords are held inline, so that a call between operations allocates nothing
    // of its own; a caller's **kwargs may bring more, which go on the heap.
    static constexpr std::size_t kInlineKeywords = 8;
    PyObject* names_[kInlineKeywords];
    PyObject* values_[kInlineKeywords];
    std::size_t nkw_ = 0;
    std::vector<PyObject*> more_names_;
    std::vector<PyObject*> more_values_;
};

}  // namespace pyutil
