// What the files of corvault.pelora share: the names they look up, the objects bound when the
// module is imported, and the helpers of more than one operation.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "kit/answers.hpp"
#include "kit/params.hpp"
#include "pyutil/prelude.hpp"

namespace pelora {

using namespace pyutil::prelude;

// Declared types shared by many operations.
using namespace kit::params;

// Attributes of this client only.
inline const Name kPublicKey{"public_key"};
inline const Name kPrivateKey{"private_key"};
inline const Name kInternal{"internal"};
inline const Name kExternalUrl{"external_url"};
inline const Name kIntranetUrl{"intranet_url"};
inline const Name kHost{"host"};          // the base of uploads and multipart steps
inline const Name kApiHost{"_api_host"};  // the bucket's own endpoint
inline const Name kCustomDomain{"_custom_domain"};
// The module global the constructor reads at each call.
inline const Name kHttpClientConfig{"HTTP_CLIENT_CONFIG"};
// Operations called through the object, so that replaced methods are obeyed.
inline const Name kMakeAuthorizationOp{"_make_authorization"};
inline const Name kBuildAuthHeaderOp{"_build_auth_header"};
inline const Name kUploadOp{"upload"};
inline const Name kDownloadOp{"_download"};
inline const Name kDeleteOp{"delete"};
inline const Name kInitiateOp{"initiate_multipart_upload"};
inline const Name kFinishOp{"finish_multipart_upload"};
inline const Name kAbortOp{"abort_multipart_upload"};
// Methods of other objects.
inline const Name kClientGet{"get"};        // httpx.Client.get(url, ...)
inline const Name kClientStream{"stream"};  // httpx.Client.stream(method, url, ...)
inline const Name kJson{"json"};
inline const Name kUpdate{"update"};
// Keywords of this client's operations.
inline const Name kBaseUrl{"base_url"};
inline const Name kMethodKeyword{"method"};
inline const Name kContentTypeKeyword{"content_type"};
inline const Name kContentMd5Keyword{"content_md5"};
inline const Name kVerify{"verify"};
inline const Name kIsDomainUpload{"is_domain_upload"};

// Helpers of more than one file, defined beside their first user.
bool truthy(PyObject* value);
// A copy of the caller's headers (or a new dict) in which `name` is set to `value`, after every
// entry naming the same header in another letter case is removed, so that one value is sent.
void replace_header(PyObject* headers, PyObject* name, std::string_view lowered, PyObject* value);
// The value of a header in any letter case as text (str() of it, bytes refused), or the empty
// text.
Ref header_text_any_case(PyObject* headers, std::string_view lowered);
// The request URL of an object: base + "/" + key percent-encoded with "/" kept; the base alone
// for the empty key.
std::string object_url(std::string_view base, std::string_view key);
// The query rule of the service: a name alone for the empty value, else name=value with the value
// percent-encoded ("/" included); appended to `url` after "?" unless there is nothing to add.
void append_query(std::string& url, PyObject* query);
// The time-out of the requests the client sends itself (listing, downloads): the kit's rule, except
// that None, when neither the call nor the client names one, is passed on as no limit rather than
// left to the HTTP client's default.
using kit::request_timeout;
// "UCloud <public_key>:<signature>".
Ref authorization_value(PyObject* self, PyObject* signature);
// The Authorization value of a plain GET of `key`: self._build_auth_header(key, "GET").
Ref get_authorization(PyObject* self, PyObject* key);

// The argument tables of the operations, each beside its function; pelora_module.cpp puts them
// into the class.
extern const pyutil::MethodSpec kInit;
extern const pyutil::MethodSpec kKeySortSpec;
extern const pyutil::MethodSpec kCanonicalizedResourceSpec;
extern const pyutil::MethodSpec kCanonicalizedHeadersSpec;
extern const pyutil::MethodSpec kSignSpec;
extern const pyutil::MethodSpec kMakeAuthorizationSpec;
extern const pyutil::MethodSpec kBuildAuthHeaderSpec;
extern const pyutil::MethodSpec kRequestSpec;
extern const pyutil::MethodSpec kGetPathUrlSpec;
extern const pyutil::MethodSpec kGetSharedUrlSpec;
extern const pyutil::MethodSpec kUploadSpec;
extern const pyutil::MethodSpec kUploadFileSpec;
extern const pyutil::MethodSpec kUploadWithRetrySpec;
extern const pyutil::MethodSpec kDownloadObjectSpec;
extern const pyutil::MethodSpec kGetContentSpec;
extern const pyutil::MethodSpec kDownloadSpec;
extern const pyutil::MethodSpec kMultipartDownloadSpec;
extern const pyutil::MethodSpec kHeadSpec;
extern const pyutil::MethodSpec kIsExistsSpec;
extern const pyutil::MethodSpec kDeleteSpec;
extern const pyutil::MethodSpec kDeleteFileSpec;
extern const pyutil::MethodSpec kListSpec;
extern const pyutil::MethodSpec kInitiateMultipartSpec;
extern const pyutil::MethodSpec kUploadPartSpec;
extern const pyutil::MethodSpec kFinishMultipartSpec;
extern const pyutil::MethodSpec kAbortMultipartSpec;
extern const pyutil::MethodSpec kMultipartUploadSpec;
extern const pyutil::MethodSpec kMultipartUploadBytesSpec;

}  // namespace pelora
