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
    PyObject* positional_[kMaxPositional] = {};
    std::size_t npos_ = 0;
    std::vector<PyObject*> values_;
    std::vector<PyObject*> names_;
};

}  // namespace pyutil
