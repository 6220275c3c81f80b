// str operations with Python's own semantics (full Unicode lower-casing, Python's whitespace set),
// taking a C fast path for ASCII text. A non-str argument gets the method call a Python caller
// would make, so it fails with the same AttributeError.
#pragma once

#include <string>

#include "pyutil/ref.hpp"

namespace pyutil {

Ref lower(PyObject* value);               // value.lower()
std::string lower_utf8(PyObject* value);  // value.lower(), as UTF-8 (TypeError unless it gives a str)
Ref strip(PyObject* value);               // value.strip()
bool is_ascii_str(PyObject* value);

}  // namespace pyutil
