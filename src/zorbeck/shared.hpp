// What the files of corvault.zorbeck share: the names they look up and the class object.
#pragma once

#include "pyutil/method.hpp"

namespace zorbeck {

using pyutil::Args;
using pyutil::check;
using pyutil::Kind;
using pyutil::Name;
using pyutil::Ref;

inline const Name kInitMethod{"__init__"};
inline const Name kAccessKey{"access_key"};
inline const Name kSecretKey{"secret_key"};
inline const Name kBucket{"bucket"};
inline const Name kRegion{"region"};
inline const Name kEndpoint{"endpoint"};
inline const Name kDomainUrl{"domain_url"};
inline const Name kTimeout{"timeout"};
inline const Name kHttpClient{"http_client"};
inline const Name kSignatureVersion{"signature_version"};
inline const Name kAddressingStyle{"addressing_style"};
inline const Name kV4{"v4"};
inline const Name kVirtual{"virtual"};
inline const Name kHyphen{"-"};
inline const Name kRsplit{"rsplit"};

inline PyObject* g_class = nullptr;  // ZorbeckClient, for super() in the constructor

// The argument tables of the members, each beside its function; zorbeck_module.cpp puts them
// into the class.
extern const pyutil::MethodSpec kInit;
extern const pyutil::MethodSpec kSecretId;
extern const pyutil::MethodSpec kCosBucket;
extern const pyutil::MethodSpec kAppid;

}  // namespace zorbeck
