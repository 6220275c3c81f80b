// Declared types and table entries that recur in the clients' argument tables. A module's
// shared header opens them with `using namespace kit::params;`.
#pragma once

#include "pyutil/method.hpp"

namespace kit {
inline namespace params {

inline constexpr const char* kHeadersType = "Optional[Dict[str, str]]";
inline constexpr const char* kTimeoutType = "Optional[Union[float, tuple]]";
inline constexpr const char* kCallbackType = "Optional[Callable[[int, int, int, int], None]]";
inline constexpr pyutil::Param kHeadersParam{"headers", pyutil::Kind::OptDict, kHeadersType, pyutil::none()};
inline constexpr pyutil::Param kTimeoutParam{"timeout", pyutil::Kind::Any, kTimeoutType, pyutil::none()};

}  // namespace params
}  // namespace kit
