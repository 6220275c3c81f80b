// The current time, read through the standard time.time() looked up at each call, so that a
// caller (or a test) that replaces time.time is obeyed.
#pragma once

#include "core/utc_time.hpp"
#include "pyutil/ref.hpp"

namespace pyutil {

corvault::core::UtcTime utc_now();
// Whole seconds since the Unix epoch, the fraction dropped as int(time.time()) drops it.
long long unix_seconds();

}  // namespace pyutil
