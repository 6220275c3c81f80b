// Reading httpx responses, and the plain exception that composite operations raise on failure.
#pragma once

#include "pyutil/ref.hpp"

namespace pyutil {

long status_code(PyObject* response);
Ref response_text(PyObject* response);     // response.text
Ref response_content(PyObject* response);  // response.content (bytes)

// Raises Exception(prefix + "<status> <text>"): the failure of a composite operation.
[[noreturn]] void raise_failure(const char* prefix, PyObject* response);
// Raises Exception(message) with a fixed text.
[[noreturn]] void raise_message(const char* message);

// getattr(obj, name, None) for AttributeError only; an empty Ref when the attribute is missing.
Ref optional_attr(PyObject* obj, PyObject* name);

}  // namespace pyutil
