// What the files of corvault.marvex share: the attribute and keyword names, the declared types
// that recur, the method tables each file defines, and small readers of the client's state.
#pragma once

#include <string>
#include <string_view>

#include "core/kodo_auth.hpp"
#include "kit/answers.hpp"
#include "kit/params.hpp"
#include "pyutil/prelude.hpp"

namespace marvex {

using namespace pyutil::prelude;

// Attributes of the client.
inline const Name kUpUrl{"_up_url"};
inline const Name kCustomDomain{"_custom_domain"};
inline const Name kCachedDomainUrl{"_cached_domain_url"};

// Module names read at call time.
inline const Name kRegionEndpoints{"REGION_ENDPOINTS"};

// Methods called through the client, so that a subclass's own version is the one used.
inline const Name kManagementTokenMethod{"_management_token"};
inline const Name kEncodeEntryUriMethod{"_encode_entry_uri"};
inline const Name kUploadTokenMethod{"_upload_token"};
inline const Name kRsRequestMethod{"_rs_request"};
inline const Name kGetBucketDomainMethod{"_get_bucket_domain"};

// A keyword, and the reader of JSON answers.
inline const Name kKeyKeyword{"key"};
inline const Name kJson{"json"};

// Declared types that recur.
using namespace kit::params;

// The compatible-mode host of a region whose endpoint entry names none; its second label is the
// signing region of compatible-mode pre-signed URLs.
constexpr std::string_view kDefaultCompatibleHost = "s3.cn-east-1.qiniucs.com";

// The client's access and secret keys, which must be text.
corvault::core::kodo::Credentials credentials(PyObject* self, Keep& keep);
// A call's time-out: its own unless None, else the client's default (None: no limit).
using kit::request_timeout;
// The region's endpoint entry: REGION_ENDPOINTS.get(region, REGION_ENDPOINTS["z0"]).
Ref region_entry(const Args& a);
// quote(key, safe="/") appended to `out`.
void append_quoted_key(std::string& out, std::string_view key);
// obj.get(name, default), through the mapping's own get() unless it is a plain dict.
Ref get_or(PyObject* mapping, PyObject* name, PyObject* fallback);
// A text's UTF-8 bytes for a JSON string written with every character outside ASCII escaped, a
// lone surrogate included (as json.dumps writes it): `holder` keeps the bytes the view points into.
std::string_view json_text(PyObject* text, Ref& holder);
// Text joined from a base URL (which must be text, as str concatenation requires) and more.
std::string_view url_text(PyObject* value);

// self._client.get(url, headers=headers, timeout=timeout) for an object's URL, whose path goes
// out as built even where it holds "." or ".." segments (pyutil/request_keywords.hpp).
Ref get_as_built(PyObject* self, PyObject* url, PyObject* headers, PyObject* timeout);

// One management request below `base_url` ("https://" and a host), signed with
// self._management_token(path, body).
Ref send_management_request(PyObject* self, PyObject* base_url, PyObject* method, PyObject* path, PyObject* body,
                            PyObject* timeout);

// The method tables, one per file of the class's concerns, in the order the class lists them.
extern const pyutil::MethodSpec kInitSpec;
extern const pyutil::MethodSpec kEncodeEntryUriSpec;
extern const pyutil::MethodSpec kManagementTokenSpec;
extern const pyutil::MethodSpec kUploadTokenSpec;
extern const pyutil::MethodSpec kDownloadTokenSpec;
extern const pyutil::MethodSpec kPresignedUrlSpec;
extern const pyutil::MethodSpec kRsRequestSpec;
extern const pyutil::MethodSpec kGetBucketDomainSpec;
extern const pyutil::MethodSpec kGetPathUrlSpec;
extern const pyutil::MethodSpec kGetSharedUrlSpec;
extern const pyutil::MethodSpec kUploadSpec;
extern const pyutil::MethodSpec kDownloadSpec;
extern const pyutil::MethodSpec kHeadSpec;
extern const pyutil::MethodSpec kDeleteSpec;
extern const pyutil::MethodSpec kCopySpec;
extern const pyutil::MethodSpec kMoveSpec;
extern const pyutil::MethodSpec kListSpec;
extern const pyutil::MethodSpec kInitiateMultipartSpec;
extern const pyutil::MethodSpec kUploadPartSpec;
extern const pyutil::MethodSpec kFinishMultipartSpec;
extern const pyutil::MethodSpec kMultipartUploadSpec;
extern const pyutil::MethodSpec kMultipartUploadBytesSpec;
extern const pyutil::MethodSpec kAbortMultipartSpec;
extern const pyutil::MethodSpec kMultipartDownloadSpec;

}  // namespace marvex
