// What the files of corvault.kestry share: the names several of them look up, the argument types
// and tables, and the helpers of more than one operation.
#pragma once

#include "kit/object_calls.hpp"
#include "pyutil/prelude.hpp"

namespace kestry {

using namespace pyutil::prelude;

// Declared types and tables shared by many operations, and the helpers of the clients whose
// requests go through their own `_request`.
using namespace kit::params;
using kit::call_object_request;
using kit::non_empty_text;
using kit::read_if_file;

// Attributes of this client only (the shared ones are pyutil::attr's).
inline const Name kAccessKeyId{"access_key_id"};
inline const Name kAccessKeySecret{"access_key_secret"};
inline const Name kInternal{"internal"};
inline const Name kExternalUrl{"external_url"};
inline const Name kIntranetUrl{"intranet_url"};
inline const Name kHost{"host"};
inline const Name kCustomDomain{"_custom_domain"};
// Operations called through the object.
inline const Name kSignRequestOp{"_sign_request"};
// The service's own headers and values.
inline const Name kOssDateHeader{"x-oss-date"};
inline const Name kContentSha256Header{"x-oss-content-sha256"};
inline const Name kUnsignedPayload{"UNSIGNED-PAYLOAD"};

// The argument tables of the operations, each beside its function; kestry_module.cpp puts them
// into the class in order, with the kit's multipart steps.
extern const pyutil::MethodSpec kInitSpec;
extern const pyutil::MethodSpec kSignRequestSpec;
extern const pyutil::MethodSpec kRequestSpec;
extern const pyutil::MethodSpec kGetPathUrlSpec;
extern const pyutil::MethodSpec kGetSharedUrlSpec;
extern const pyutil::MethodSpec kUploadSpec;
extern const pyutil::MethodSpec kListSpec;

}  // namespace kestry
