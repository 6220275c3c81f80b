// Helpers over request-header mappings, with the letter-case rules the clients apply to them.
// They use the mapping protocols, so a None mapping fails as `"Host" in None` would.
#pragma once

#include <string_view>

#include "pyutil/ref.hpp"

namespace pyutil {

// `name in headers`
bool has_key(PyObject* headers, PyObject* name);
// The value of the first key, in iteration order, that lower-cases (str.lower) to `lowered`;
// an empty Ref when there is none.
Ref find_lower(PyObject* headers, std::string_view lowered);
inline bool has_key_lower(PyObject* headers, std::string_view lowered) {
    return static_cast<bool>(find_lower(headers, lowered));
}
// `headers[name] = value`
void set_item(PyObject* headers, PyObject* name, PyObject* value);
// A new dict holding the entries of `headers` when it is a non-empty dict, else a new empty dict.
Ref copy_headers(PyObject* headers);

}  // namespace pyutil
