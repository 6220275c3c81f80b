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
// A `stream` keyword is taken out of `kwargs`. When it is true the request goes out through
// send_streamed instead, built with the same keywords except `auth` and `follow_redirects`, which
// go to send(), and the response comes back with its body unread, for the caller to read and close.
pyutil::Ref send_request(PyObject* self, PyObject* method, std::string_view url, PyObject* headers, PyObject* kwargs);

// client.send(client.build_request(method, url, **build_keywords), stream=True, **send_keywords):
// the response with its body unread, so that its bytes can be read as they were sent
// (iter_raw(), before any Content-Encoding is undone) and in chunks. The caller closes it.
// `send_keywords` may be null.
pyutil::Ref send_streamed(PyObject* client, PyObject* method, PyObject* url, PyObject* build_keywords,
                          PyObject* send_keywords = nullptr);

// The keywords of a GET a client sends itself with the HTTP client's get() or stream(), or builds
// for send_streamed:
// {"headers": headers, "timeout": timeout}, and the path of `url` kept as built when it holds "."
// or ".." segments, which httpx would otherwise resolve away.
pyutil::Ref as_built_keywords(std::string_view url, PyObject* headers, PyObject* timeout);

}  // namespace kit
