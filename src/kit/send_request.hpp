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
//
// A `stream` keyword is taken out of `kwargs`. When it is true the request is built with the HTTP
// client's build_request() from the same keywords except `auth` and `follow_redirects`, which go
// to its send(stream=True), and the response comes back with its body unread, so that its bytes
// can be read as they were sent (iter_raw(), before any Content-Encoding is undone) and in
// chunks. The caller closes it.
pyutil::Ref send_request(PyObject* self, PyObject* method, std::string_view url, PyObject* headers, PyObject* kwargs);

// The keywords of a GET a client sends itself with the HTTP client's get() or stream(), or with
// get_streamed:
// {"headers": headers, "timeout": timeout}, and the path of `url` kept as built when it holds "."
// or ".." segments, which httpx would otherwise resolve away.
pyutil::Ref as_built_keywords(std::string_view url, PyObject* headers, PyObject* timeout);

// A GET a client sends itself with those keywords, sent as a `stream=True` request above is: the
// response with its body unread, for the caller to read and close.
pyutil::Ref get_streamed(PyObject* client, std::string_view url, PyObject* headers, PyObject* timeout);

}  // namespace kit
