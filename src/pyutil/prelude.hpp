// The names the files of every client module use unqualified: the binding's value and argument
// types, its checking and attribute-setting helpers, and short names for the shared name tables. A module opens them in
// its own namespace with `using namespace pyutil::prelude;`; its own names there take precedence.
#pragma once

#include "pyutil/convert.hpp"
#include "pyutil/method.hpp"
#include "pyutil/names.hpp"

namespace corvault::core {}

namespace pyutil::prelude {

namespace core = corvault::core;
using pyutil::Args;
using pyutil::check;
using pyutil::Keep;
using pyutil::Kind;
using pyutil::Name;
using pyutil::Ref;
using pyutil::set_attr;

namespace attr = pyutil::attr;
namespace header = pyutil::header;
namespace httpx = pyutil::httpx;
namespace kw = pyutil::kw;
namespace method = pyutil::method;
namespace op = pyutil::op;
namespace verb = pyutil::verb;

}  // namespace pyutil::prelude
