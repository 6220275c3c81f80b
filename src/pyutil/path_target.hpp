// Sending a path as it was built. httpx removes "." and ".." segments from the path of every URL
// (RFC 3986), so a request for a key holding one would reach another object: "/b/logs/../k"
// would go out as "/b/k", and "/b/x/.." as the bucket itself. Such a request carries its path
// and query in the transport's "target" extension, which httpx's transport writes on the
// request line in place of the URL's; the URL itself stays as built for everything else.
#pragma once

#include <string_view>

#include "pyutil/ref.hpp"

namespace pyutil {

// Adds the "target" extension to `keywords` (a dict of keywords for Client.request) when `url`
// needs it. A caller's own `extensions` mapping is copied, never changed, and a target it names
// is kept.
void keep_path_as_built(PyObject* keywords, std::string_view url);

}  // namespace pyutil
