// What the files of corvault.kestry share: the names they look up, the objects bound when the
// module is imported, and the helpers of more than one operation.
#pragma once

#include <initializer_list>
#include <string_view>
#include <utility>

#include "core/xml_reader.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/method.hpp"

namespace kestry {

namespace core = corvault::core;
using pyutil::Args;
using pyutil::check;
using pyutil::Keep;
using pyutil::Kind;
using pyutil::Name;
using pyutil::Ref;

// Declared types shared by many operations.
inline constexpr const char* kHeadersType = "Optional[Dict[str, str]]";
inline constexpr const char* kTimeoutType = "Optional[Union[float, tuple]]";

// Attributes of the client, in the order the constructor sets them.
inline const Name kAccessKeyId{"access_key_id"};
inline const Name kAccessKeySecret{"access_key_secret"};
inline const Name kBucket{"bucket"};
inline const Name kRegion{"region"};
inline const Name kInternal{"internal"};
inline const Name kDefaultTimeout{"default_timeout"};
inline const Name kExternalUrl{"external_url"};
inline const Name kIntranetUrl{"intranet_url"};
inline const Name kHost{"host"};
inline const Name kCustomDomain{"_custom_domain"};
inline const Name kDomainUrl{"domain_url"};
inline const Name kClient{"_client"};

// Operations called through `self`, and names of other objects.
inline const Name kSignRequest{"_sign_request"};
inline const Name kUnderscoreRequest{"_request"};
inline const Name kHeadMethod{"head"};
inline const Name kHttpx{"httpx"};
inline const Name kHttpxClient{"Client"};
inline const Name kRequest{"request"};
inline const Name kRead{"read"};

// Keywords.
inline const Name kHeaders{"headers"};
inline const Name kParams{"params"};
inline const Name kQueryParams{"query_params"};
inline const Name kTimeout{"timeout"};
inline const Name kData{"data"};
inline const Name kContent{"content"};

// HTTP methods.
inline const Name kGet{"GET"};
inline const Name kPut{"PUT"};
inline const Name kPost{"POST"};
inline const Name kHead{"HEAD"};
inline const Name kDelete{"DELETE"};

// Header names and values.
inline const Name kHostHeader{"Host"};
inline const Name kOssDateHeader{"x-oss-date"};
inline const Name kOssDateTitleHeader{"X-Oss-Date"};
inline const Name kContentSha256Header{"x-oss-content-sha256"};
inline const Name kAuthorizationHeader{"Authorization"};
inline const Name kContentTypeHeader{"Content-Type"};
inline const Name kContentMd5Header{"Content-MD5"};
inline const Name kUnsignedPayload{"UNSIGNED-PAYLOAD"};

// Set when the module is imported.
inline PyObject* g_parse_error_type = nullptr;  // xml.etree.ElementTree.ParseError

inline constexpr pyutil::Param kHeadersParam{"headers", Kind::OptDict, kHeadersType, pyutil::none()};
inline constexpr pyutil::Param kTimeoutParam{"timeout", Kind::Any, kTimeoutType, pyutil::none()};

// Helpers of more than one file, defined beside their first user.

// A dict of text keys and values, in the order given.
Ref text_dict(std::initializer_list<std::pair<const Name*, PyObject*>> entries);
bool non_empty_text(PyObject* value);
// The data itself, or what its read() returns when it has one (read once, whole).
Ref read_if_file(PyObject* data);
// self._request(method, key, [query_params=...], [data=...], headers=..., timeout=...)
Ref object_request(PyObject* self, PyObject* method, PyObject* key, PyObject* query_params, PyObject* data,
                   PyObject* headers, PyObject* timeout);

// The argument tables of the operations, each beside its function; kestry_module.cpp puts them
// into the class in order.
extern const pyutil::MethodSpec kInitSpec;
extern const pyutil::MethodSpec kSignRequestSpec;
extern const pyutil::MethodSpec kRequestSpec;
extern const pyutil::MethodSpec kGetPathUrlSpec;
extern const pyutil::MethodSpec kGetSharedUrlSpec;
extern const pyutil::MethodSpec kUploadSpec;
extern const pyutil::MethodSpec kDownloadSpec;
extern const pyutil::MethodSpec kHeadSpec;
extern const pyutil::MethodSpec kDeleteSpec;
extern const pyutil::MethodSpec kListSpec;
extern const pyutil::MethodSpec kInitiateMultipartSpec;
extern const pyutil::MethodSpec kUploadPartSpec;
extern const pyutil::MethodSpec kFinishMultipartSpec;
extern const pyutil::MethodSpec kAbortMultipartSpec;
extern const pyutil::MethodSpec kMultipartDownloadSpec;

}  // namespace kestry
