// What the files of corvault.dravik share: the names they look up, the objects bound when the
// module is imported, and the helpers of more than one operation.
#pragma once

#include <initializer_list>
#include <string_view>
#include <utility>

#include "core/s3_answers.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/method.hpp"

namespace dravik {

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

inline const Name kAccessKey{"access_key"};
inline const Name kSecretKey{"secret_key"};
inline const Name kBucket{"bucket"};
inline const Name kRegion{"region"};
inline const Name kInternal{"internal"};
inline const Name kDefaultTimeout{"default_timeout"};
inline const Name kSignatureVersion{"signature_version"};
inline const Name kAddressingStyle{"addressing_style"};
inline const Name kEndpoint{"endpoint"};
inline const Name kCustomDomain{"_custom_domain"};
inline const Name kDomainUrl{"domain_url"};
inline const Name kClient{"_client"};
inline const Name kGetAwsEndpoint{"_get_aws_endpoint"};
inline const Name kHttpx{"httpx"};
inline const Name kHttpxClient{"Client"};
inline const Name kSignRequest{"_sign_request"};
inline const Name kSignRequestV2{"_sign_request_v2"};
inline const Name kPresignUrl{"_presign_url"};
inline const Name kRequest{"request"};
// Header names and keywords.
inline const Name kHostHeader{"Host"};
inline const Name kDateHeader{"Date"};
inline const Name kAmzDateHeader{"x-amz-date"};
inline const Name kContentSha256Header{"x-amz-content-sha256"};
inline const Name kAuthorizationHeader{"Authorization"};
inline const Name kContentTypeHeader{"Content-Type"};
inline const Name kContentMd5Header{"Content-MD5"};
inline const Name kHeaders{"headers"};
inline const Name kParams{"params"};
inline const Name kTimeout{"timeout"};
inline const Name kContent{"content"};
inline const Name kPayloadHash{"payload_hash"};
inline const Name kBucketKeyword{"bucket"};
inline const Name kExpires{"expires"};
inline const Name kGet{"GET"};
inline const Name kUnsignedPayload{"UNSIGNED-PAYLOAD"};

inline const Name kRead{"read"};
inline const Name kQueryParams{"query_params"};
inline const Name kData{"data"};
inline const Name kUnderscoreRequest{"_request"};
inline const Name kBucketRequestMethod{"_bucket_request"};
inline const Name kHeadMethod{"head"};
inline const Name kListMethod{"list"};
inline const Name kDeleteObjectsMethod{"delete_objects"};
inline const Name kIterObjects{"iter_objects"};
inline const Name kGetMethod{"get"};
inline const Name kPut{"PUT"};
inline const Name kPost{"POST"};
inline const Name kHead{"HEAD"};
inline const Name kDelete{"DELETE"};
inline const Name kServiceLevel{"service_level"};
inline const Name kLimit{"limit"};
// Query parameters and header names.
inline const Name kListTypeParam{"list-type"};
inline const Name kTwo{"2"};
inline const Name kPrefixParam{"prefix"};
inline const Name kMaxKeysParam{"max-keys"};
inline const Name kContinuationTokenParam{"continuation-token"};
inline const Name kUploadsParam{"uploads"};
inline const Name kPartNumberParam{"partNumber"};
inline const Name kUploadIdParam{"uploadId"};
inline const Name kDeleteParam{"delete"};
inline const Name kApplicationXml{"application/xml"};
inline const Name kContentLengthHeader{"Content-Length"};
inline const Name kRangeHeader{"Range"};
inline const Name kCopySourceHeader{"x-amz-copy-source"};
// Record fields.
inline const Name kKeyField{"key"};
inline const Name kSizeField{"size"};
inline const Name kLastModifiedField{"last_modified"};
inline const Name kEtagField{"etag"};
inline const Name kObjectsField{"objects"};
inline const Name kIsTruncatedField{"is_truncated"};
inline const Name kNextMarkerField{"next_marker"};
inline const Name kNameField{"name"};
inline const Name kCreationDateField{"creation_date"};
inline const Name kObjectCountField{"object_count"};
inline const Name kTotalSizeField{"total_size"};
inline const Name kDeletedField{"deleted"};
inline const Name kErrorsField{"errors"};
inline const Name kCodeField{"code"};
inline const Name kMessageField{"message"};
// Files.
inline const Name kExclusiveBinary{"xb"};
inline const Name kClose{"close"};
inline const Name kWrite{"write"};
inline const Name kUnlink{"unlink"};
inline const Name kReplace{"replace"};
inline const Name kMakedirs{"makedirs"};
inline const Name kExistOk{"exist_ok"};
inline const Name kIsdir{"isdir"};
inline const Name kStream{"stream"};
inline const Name kByteStream{"ByteStream"};

// Set when the module is imported.
inline PyObject* g_parse_error_type = nullptr;  // xml.etree.ElementTree.ParseError
inline PyObject* g_os = nullptr;
inline PyObject* g_os_path = nullptr;
inline PyObject* g_open = nullptr;

inline constexpr std::string_view kVersion2 = "dravik";  // the signature_version value that selects Version 2
inline constexpr std::string_view kVirtual = "virtual";  // the addressing_style value of virtual-host style

inline constexpr pyutil::Param kHeadersParam{"headers", Kind::OptDict, kHeadersType, pyutil::none()};
inline constexpr pyutil::Param kTimeoutParam{"timeout", Kind::Any, kTimeoutType, pyutil::none()};

// Helpers of more than one file, defined beside their first user.
std::string_view text_form(PyObject* value, Keep& keep);
Ref target_bucket(PyObject* self, PyObject* bucket_name);
Ref target_bucket_text(PyObject* self, PyObject* bucket_name);
Ref text_dict(std::initializer_list<std::pair<const Name*, PyObject*>> entries);
bool non_empty_text(PyObject* value);
Ref read_if_file(PyObject* data);
Ref object_request(PyObject* self, PyObject* method, PyObject* key, PyObject* query_params, PyObject* data,
                   PyObject* headers, PyObject* timeout);
Ref text_value(const core::xml::Text& text, PyObject* missing);

// Runs an XML reader, turning a document that is not well-formed into the ParseError of
// xml.etree.ElementTree, which a caller parsing the answer in Python would see.
template <class Read>
auto read_answer(Read&& read) -> decltype(read()) {
    try {
        return read();
    } catch (const core::xml::ParseError& e) {
        Ref error = check(PyObject_CallFunction(g_parse_error_type, "s", e.what()));
        Ref code = check(PyLong_FromLong(e.code()));
        Ref position = check(Py_BuildValue("(ii)", e.line(), e.column()));
        check(PyObject_SetAttrString(error.get(), "code", code.get()));
        check(PyObject_SetAttrString(error.get(), "position", position.get()));
        PyErr_SetObject(g_parse_error_type, error.get());
        throw pyutil::Error{};
    }
}

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
extern const pyutil::MethodSpec kDownloadSpec;
extern const pyutil::MethodSpec kHeadSpec;
extern const pyutil::MethodSpec kDeleteSpec;
extern const pyutil::MethodSpec kListSpec;
extern const pyutil::MethodSpec kInitiateMultipartSpec;
extern const pyutil::MethodSpec kUploadPartSpec;
extern const pyutil::MethodSpec kFinishMultipartSpec;
extern const pyutil::MethodSpec kAbortMultipartSpec;
extern const pyutil::MethodSpec kMultipartDownloadSpec;
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
