// Helpers over request-header mappings, with the letter-case rules the clients apply to them.
// They use the mapping protocols, so a None mapping fails as `"Host" in None` would.
#pragma once

#include <array>
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

// One header a signer reads from a caller's mapping whatever the letter case of its name, which
// httpx sends as written: of the entries naming it with a true value (an empty one stands for an
// absent header), the one spelled as the first `preferred` spelling, then as the second, then the
// first other one in the mapping's order. The entries are offered one by one, in that order.
class SpelledHeader {
public:
    enum class Values { Any, TextOnly };  // TextOnly: a true value that is not str is refused
    SpelledHeader(std::string_view lowered, std::array<std::string_view, 2> preferred, Values values);
    // Considers one entry, whose name lower-cases to `lowered`.
    void offer(PyObject* name, std::string_view lowered, PyObject* value);
    // The chosen value, borrowed from the mapping; NULL when no entry counted.
    PyObject* value() const;
    // The chosen value of a TextOnly header as UTF-8, kept alive by `keep`; empty when none.
    std::string_view text(Keep& keep) const;

private:
    std::string_view lowered_;
    std::array<std::string_view, 2> preferred_;
    Values values_;
    std::array<PyObject*, 3> found_{};  // by rank: either preferred spelling, then any other
};

}  // namespace pyutil
