// The two ends of a client's request primitive (`_request`) that every client writes alike: the
// caller's headers taken out of the keywords at the start, and the send at the end.
#pragma once

#include <string_view>

#include "pyutil/ref.hpp"

namespace kit {

// The caller's `headers` keyword, removed from `kwargs` so that the primitive completes and sends
// that same mapping (its entries visible to the caller afterwards); a new dict when none is given.
pyutil::Ref take_headers(PyObject* kwargs);

// self._client.request(method, url, headers=headers, **kwargs), after the client's default
// time-out is put in place of a missing or None one (kit::effective_timeout), the path is kept as
// built and a raw `data` body is handed over as `content` (pyutil/request_keywords.hpp).
pyutil::Ref send_request(PyObject* self, PyObject* method, std::string_view url, PyObject* headers, PyObject* kwargs);

// The keywords of a GET a client sends itself with the HTTP client's get() or stream():
// {"headers": headers, "timeout": timeout}, and the path of `url` kept as built when it holds "."
// or ".." segments, which httpx would otherwise resolve away.
pyutil::Ref as_built_keywords(std::string_view url, PyObject* headers, PyObject* timeout);

}  // namespace kit
