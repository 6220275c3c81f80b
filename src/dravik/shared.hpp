// What the files of corvault.dravik share: the names several of them look up, the argument types
// and tables, and the helpers of more than one operation.
#pragma once

#include <string_view>

#include "core/s3_answers.hpp"
#include "kit/object_calls.hpp"
#include "pyutil/prelude.hpp"

namespace dravik {

using namespace pyutil::prelude;

// Declared types and tables shared by many operations, and the helpers of the clients whose
// requests go through their own `_request`.
using namespace kit::params;
using kit::call_object_request;
using kit::non_empty_text;
using kit::read_if_file;

// Attributes of this client only.
inline const Name kSignatureVersion{"signature_version"};
inline const Name kAddressingStyle{"addressing_style"};
inline const Name kCustomDomain{"_custom_domain"};
// Operations called through the object.
inline const Name kSignRequestOp{"_sign_request"};
inline const Name kSignRequestV2Op{"_sign_request_v2"};
inline const Name kBucketRequestOp{"_bucket_request"};
// The service's own headers and values.
inline const Name kAmzDateHeader{"x-amz-date"};
inline const Name kContentSha256Header{"x-amz-content-sha256"};
inline const Name kUnsignedPayload{"UNSIGNED-PAYLOAD"};
inline const Name kApplicationXml{"application/xml"};
// Fields of the listing records.
inline const Name kKeyField{"key"};
inline const Name kSizeField{"size"};
inline const Name kObjectsField{"objects"};
inline const Name kIsTruncatedField{"is_truncated"};

inline constexpr std::string_view kVersion2 = "dravik";  // the signature_version value that selects Version 2
inline constexpr std::string_view kVirtual = "virtual";  // the addressing_style value of virtual-host style

// Helpers of more than one file, defined beside their first user.
std::string_view text_form(PyObject* value, Keep& keep);
Ref target_bucket(PyObject* self, PyObject* bucket_name);
Ref target_bucket_text(PyObject* self, PyObject* bucket_name);

// The argument tables of the operations, each beside its function; dravik_module.cpp puts them
// into the class.
extern const pyutil::MethodSpec kInit;
extern const pyutil::MethodSpec kGetAwsEndpointSpec;
extern const pyutil::MethodSpec kSignRequestSpec;
extern const pyutil::MethodSpec kSignRequestV2Spec;
extern const pyutil::MethodSpec kPresignUrlSpec;
extern const pyutil::MethodSpec kRequestSpec;
extern const pyutil::MethodSpec kGetPathUrlSpec;
extern const pyutil::MethodSpec kGetSharedUrlSpec;
extern const pyutil::MethodSpec kUploadSpec;
extern const pyutil::MethodSpec kListSpec;
extern const pyutil::MethodSpec kBucketRequestSpec;
extern const pyutil::MethodSpec kCreateBucketSpec;
extern const pyutil::MethodSpec kDeleteBucketSpec;
extern const pyutil::MethodSpec kBucketExistsSpec;
extern const pyutil::MethodSpec kListBucketsSpec;
extern const pyutil::MethodSpec kCopyObjectSpec;
extern const pyutil::MethodSpec kGetBucketStatsSpec;
extern const pyutil::MethodSpec kDeleteObjectsSpec;
extern const pyutil::MethodSpec kDeleteByPrefixSpec;

}  // namespace dravik
