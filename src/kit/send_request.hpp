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
// A `stream` keyword is taken out of `kwargs`. When it is true and the HTTP client can_stream, the
// request is built with its build_request() from the same keywords except `auth` and
// `follow_redirects`, which go to its send(stream=True), and the response comes back with its
// body unread, so that its bytes can be read as they were sent (iter_raw(), before any
// Content-Encoding is undone) and in chunks. The caller closes it. Any other HTTP client gets the
// plain call, and its answer comes back as request() gives it.
pyutil::Ref send_request(PyObject* self, PyObject* method, std::string_view url, PyObject* headers, PyObject* kwargs);

// The end of the docstring of every `_request` sent through send_request: the time-out and the
// streamed form, as a caller sees them.
#define CORVAULT_SEND_REQUEST_DOC                                                                    \
    "A `timeout` of None, or none at all, means the client's default_timeout. When that is None\n"   \
    "too, `timeout=None` means no time limit (the operations that take a `timeout` pass theirs\n"    \
    "on, None included), and only a call without a `timeout` keyword leaves the HTTP client's own\n" \
    "time-out in force.\n\n"                                                                         \
    "With `stream=True`, and an HTTP client whose request() is httpx.Client's own, the request is\n" \
    "built with build_request() and sent with send(stream=True) (`auth` and `follow_redirects`\n"    \
    "going to send()), and the response comes back with its body unread: the caller reads it\n"      \
    "(iter_raw() for the bytes as sent) and closes it. Any other HTTP client (one offering\n"        \
    "request() alone, or one overriding it) gets the plain call, and its answer comes back as it\n"  \
    "gives it."

// Whether a request meant for an HTTP client's request() may be built with its build_request()
// and sent with its send(stream=True) instead: only when its request() is httpx.Client's own,
// which does just that. A client that overrides request() (to log, retry or limit the rate) or a
// wrapper offering request() alone is called through request(), so that it sees every request;
// one that overrides only send() still sees each.
bool can_stream(PyObject* client);

// The keywords of a GET a client sends itself with the HTTP client's get() or stream(), or with
// get_unread:
// {"headers": headers, "timeout": timeout}, and the path of `url` kept as built when it holds "."
// or ".." segments, which httpx would otherwise resolve away.
pyutil::Ref as_built_keywords(std::string_view url, PyObject* headers, PyObject* timeout);

// A GET a client sends itself with those keywords: sent as a `stream=True` request above is, the
// response with its body unread, for the caller to read and close, when the HTTP client
// can_stream and its get() is httpx.Client's own too; else client.get(url, **keywords), its
// answer read as get() reads it.
pyutil::Ref get_unread(PyObject* client, std::string_view url, PyObject* headers, PyObject* timeout);

}  // namespace kit
