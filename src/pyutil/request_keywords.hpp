// The keywords a client's request primitive hands to httpx's Client.request, adjusted so that
// httpx sends what was built.
#pragma once

#include <string_view>

#include "pyutil/ref.hpp"

namespace pyutil {

// Sending a path as it was built. httpx removes "." and ".." segments from the path of every
// URL (RFC 3986), so a request for a key holding one would reach another object: "/b/logs/../k"
// would go out as "/b/k", and "/b/x/.." as the bucket itself. Such a request carries its path
// and query in the transport's "target" extension, which httpx's transport writes on the
// request line in place of the URL's; the URL itself stays as built for everything else.
//
// Adds that extension to `keywords` (a dict of keywords for Client.request) when `url` needs
// it. A caller's own `extensions` mapping is copied, never changed, and a target it names is kept.
// ValueError when the keywords hold `params` too, whose query httpx could no longer write.
void keep_path_as_built(PyObject* keywords, std::string_view url);

// A raw body (bytes, text, a file or an iterable of bytes) given as `data` goes to httpx as
// `content`, in the same place among the keywords: httpx takes only a mapping as form `data`,
// deprecates anything else there and will refuse it. A mapping, None, or `data` given beside
// `content` is left as it is.
void raw_body_as_content(PyObject* keywords);

// Whether a body is a mapping (form fields for httpx's `data`): a dict or a collections.abc.Mapping,
// never bytes, text or another buffer.
bool is_mapping(PyObject* value);

}  // namespace pyutil
