// The current time, read through the standard time.time() looked up at each call, so that a
// caller (or a test) that replaces time.time is obeyed.
#pragma once

#include "core/utc_time.hpp"
#include "pyutil/ref.hpp"

namespace pyutil {

corvault::core::UtcTime utc_now();

}  // namespace pyutil

namespace pyutil {

// int(time.time()): whole seconds since the epoch, the fraction dropped.
Ref epoch_seconds();

}  // namespace pyutil
