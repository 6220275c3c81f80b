// What the files of corvault.zorbeck share: the class object and the argument tables.
#pragma once

#include "pyutil/method.hpp"
#include "pyutil/names.hpp"

namespace zorbeck {

using pyutil::Args;
using pyutil::check;
using pyutil::Kind;
using pyutil::Name;
using pyutil::Ref;

inline PyObject* g_class = nullptr;  // ZorbeckClient, for super() in the constructor

// The argument tables of the members, each beside its function; zorbeck_module.cpp puts them
// into the class.
extern const pyutil::MethodSpec kInit;
extern const pyutil::MethodSpec kSecretId;
extern const pyutil::MethodSpec kCosBucket;
extern const pyutil::MethodSpec kAppid;

}  // namespace zorbeck
