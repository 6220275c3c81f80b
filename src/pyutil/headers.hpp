// Helpers over request-header dicts, with the letter-case rules the clients apply to them.
#pragma once

#include <string_view>

#include "pyutil/ref.hpp"

namespace pyutil {

// Whether a key of `headers` lower-cases (str.lower) to `lowered`.
bool has_key_lower(PyObject* headers, std::string_view lowered);
// The value of the first key, in dict order, that lower-cases to `lowered`; NULL when none.
PyObject* find_lower(PyObject* headers, std::string_view lowered);
// A new dict holding the entries of `headers` when it is a non-empty dict, else a new empty dict.
Ref copy_headers(PyObject* headers);

}  // namespace pyutil
