// Helpers over request-header mappings, with the letter-case rules the clients apply to them.
// They use the mapping protocols, so a None mapping fails as `"Host" in None` would.
#pragma once

#include <string_view>

#include "pyutil/convert.hpp"
#include "pyutil/ref.hpp"

namespace pyutil {

// `name in headers`
bool has_key(PyObject* headers, PyObject* name);
// The value of the first key, in iteration order, that lower-cases (str.lower) to `lowered`;
// an empty Ref when there is none. `found_name`, when given, receives that key.
Ref find_lower(PyObject* headers, std::string_view lowered, Ref* found_name = nullptr);
inline bool has_key_lower(PyObject* headers, std::string_view lowered) {
    return static_cast<bool>(find_lower(headers, lowered));
}
// `headers[name] = value`
void set_item(PyObject* headers, PyObject* name, PyObject* value);
// A new dict holding the entries of `headers` when it is a non-empty dict, else a new empty dict.
Ref copy_headers(PyObject* headers);

// What a signer reads of one header of a caller's mapping, as UTF-8 kept alive by `keep`:
// the name lower-cased as str.lower() does (AttributeError for a name that is not text), and
// the value as text: text as it is (the signers trim it), anything else through its strip(),
// which fails for values that are not text as a Python caller's own code would.
std::string_view lowered_name(PyObject* name, Keep& keep);
std::string_view signed_value(PyObject* value, Keep& keep);

// TypeError "header '<name>' must be str, not <type>", for a signed header whose value cannot be
// read as the text the request sends.
[[noreturn]] void raise_not_text(PyObject* name, PyObject* value);
// str() of a header value, as signers that write any value as text read it; bytes and bytearray
// refused (raise_not_text): httpx sends their bytes, while str() gives their repr, "b'...'".
Ref str_of_value(PyObject* name, PyObject* value);

}  // namespace pyutil
