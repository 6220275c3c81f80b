// The Python side of the services' answers and of the requests' send rules: XML answers read
// with the error a Python caller would see, records built from what was read, the size an answer
// announces, and the client's default time-out. Reading an httpx response itself (status, text,
// content) and the failure of a composite operation are pyutil/response.hpp.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

#include "core/xml_reader.hpp"
#include "kit/facilities.hpp"
#include "pyutil/method.hpp"

namespace kit {

// Raises the xml.etree.ElementTree.ParseError of `error`, with its code and position.
[[noreturn]] void raise_parse_error(const corvault::core::xml::ParseError& error);

// Runs an XML reader, turning a document that is not well-formed into the ParseError of
// xml.etree.ElementTree, which a caller parsing the answer in Python would see.
template <class Read>
auto read_xml_answer(Read&& read) -> decltype(read()) {
    try {
        return read();
    } catch (const corvault::core::xml::ParseError& e) {
        raise_parse_error(e);
    }
}

// An element text as a record value: `missing` for no element, None for one without text.
// Inline, as record() is: a listing page calls them thousands of times.
inline pyutil::Ref text_value(const corvault::core::xml::Text& text, PyObject* missing) {
    if (text.missing()) return pyutil::Ref::borrow(missing);
    if (text.empty()) return pyutil::Ref::borrow(Py_None);
    return pyutil::to_str(text.value);
}

// A dict of text keys and values, in the order given: one record of an answer.
inline pyutil::Ref record(std::initializer_list<std::pair<const pyutil::Name*, PyObject*>> entries) {
    pyutil::Ref dict = pyutil::check(PyDict_New());
    for (const auto& [name, value] : entries) pyutil::check(PyDict_SetItem(dict.get(), *name, value));
    return dict;
}

// The "Content-Length" of an answer as an integer, as int() reads its text; 0 when absent.
long long content_length(PyObject* response);
// The value of an answer's header `name` (any letter case), as text; none when absent.
std::optional<std::string> header_value(PyObject* response, PyObject* name);

// The time-out a request is sent with: the caller's when it is not None, else the client's
// `default_timeout` when that is not None; empty when both are, and the HTTP client's own
// default then applies (a caller who wants no limit in that case passes None itself).
pyutil::Ref effective_timeout(PyObject* self, PyObject* given);
// The time-out keyword of a request a client sends itself (listings, downloads): the rule above,
// except that None, when neither the call nor the client names one, is passed on as no limit
// rather than left to the HTTP client's default.
pyutil::Ref request_timeout(PyObject* self, PyObject* given);

// The HTTP client a constructor keeps: its argument `index` unless that is None, else a new
// httpx.Client() of the `httpx` the defining module's namespace names at the time of the call.
pyutil::Ref http_client(const pyutil::Args& a, std::size_t index);

// The sentence of every constructor's docstring that ties its `timeout` to the default_timeout
// the methods' docstrings name.
#define CORVAULT_CONSTRUCTOR_TIMEOUT_DOC                                                       \
    "`timeout` is kept as the client's default_timeout attribute, the time-out the methods'\n" \
    "docstrings name."

}  // namespace kit
