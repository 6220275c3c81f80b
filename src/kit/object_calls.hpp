// What the operations of the clients whose requests all go through their own `_request` do alike
// (dravik, zorbeck, kestry): read a file-like body, test an optional text, and call the
// primitive through the object, so that subclasses and replaced methods are honoured.
#pragma once

#include "kit/params.hpp"
#include "pyutil/method.hpp"
#include "pyutil/ref.hpp"

namespace kit {

bool non_empty_text(PyObject* value);

// The data itself, or what its read() returns when it has one (read once, whole).
pyutil::Ref read_if_file(PyObject* data);

// A body that can be sent again, for a request that may be tried more than once: read_if_file,
// then an iterable that is no bytes, text or mapping (a generator of chunks, which httpx would
// stream, and the first attempt use up) gathered into bytes, holding the body and one chunk at a
// time, and any other buffer as bytes. A chunk that is not bytes-like raises TypeError before
// anything is sent.
pyutil::Ref resendable_body(PyObject* data);

// self._request(method, key, [query_params=...], [data=...], headers=..., timeout=...): the two
// optional keywords only when given (not NULL).
pyutil::Ref call_object_request(PyObject* self, PyObject* method, PyObject* key, PyObject* query_params, PyObject* data,
                                PyObject* headers, PyObject* timeout);

// `_download`, `head` and `delete` of these clients, with their tables: one request through
// `_request` without a body, the response unchanged.
extern const pyutil::MethodSpec kDownloadSpec;
extern const pyutil::MethodSpec kHeadSpec;
extern const pyutil::MethodSpec kDeleteSpec;

}  // namespace kit
