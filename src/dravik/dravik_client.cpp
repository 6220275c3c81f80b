// corvault.dravik: DravikClient, the client of the Amazon S3 REST interface and of the services
// that accept it at an endpoint of their own.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <random>

#include "core/digest.hpp"
#include "core/encoding.hpp"
#include "core/s3_answers.hpp"
#include "core/s3_url.hpp"
#include "core/xml_writer.hpp"
#include "core/sigv2.hpp"
#include "core/sigv4.hpp"
#include "core/url.hpp"
#include "core/utc_time.hpp"
#include "pyutil/call.hpp"
#include "pyutil/clock.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/module.hpp"
#include "pyutil/request_keywords.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

namespace {

namespace core = corvault::core;
using pyutil::Args;
using pyutil::check;
using pyutil::Keep;
using pyutil::Kind;
using pyutil::Name;
using pyutil::Ref;

// Declared types shared by many operations.
constexpr const char* kHeadersType = "Optional[Dict[str, str]]";
constexpr const char* kTimeoutType = "Optional[Union[float, tuple]]";

const Name kAccessKey{"access_key"};
const Name kSecretKey{"secret_key"};
const Name kBucket{"bucket"};
const Name kRegion{"region"};
const Name kInternal{"internal"};
const Name kDefaultTimeout{"default_timeout"};
const Name kSignatureVersion{"signature_version"};
const Name kAddressingStyle{"addressing_style"};
const Name kEndpoint{"endpoint"};
const Name kCustomDomain{"_custom_domain"};
const Name kDomainUrl{"domain_url"};
const Name kClient{"_client"};
const Name kGetAwsEndpoint{"_get_aws_endpoint"};
const Name kHttpx{"httpx"};
const Name kHttpxClient{"Client"};
const Name kSignRequest{"_sign_request"};
const Name kSignRequestV2{"_sign_request_v2"};
const Name kPresignUrl{"_presign_url"};
const Name kRequest{"request"};
// Header names and keywords.
const Name kHostHeader{"Host"};
const Name kDateHeader{"Date"};
const Name kAmzDateHeader{"x-amz-date"};
const Name kContentSha256Header{"x-amz-content-sha256"};
const Name kAuthorizationHeader{"Authorization"};
const Name kContentTypeHeader{"Content-Type"};
const Name kContentMd5Header{"Content-MD5"};
const Name kHeaders{"headers"};
const Name kParams{"params"};
const Name kTimeout{"timeout"};
const Name kContent{"content"};
const Name kPayloadHash{"payload_hash"};
const Name kBucketKeyword{"bucket"};
const Name kExpires{"expires"};
const Name kGet{"GET"};
const Name kUnsignedPayload{"UNSIGNED-PAYLOAD"};

const Name kRead{"read"};
const Name kQueryParams{"query_params"};
const Name kData{"data"};
const Name kUnderscoreRequest{"_request"};
const Name kBucketRequestMethod{"_bucket_request"};
const Name kHeadMethod{"head"};
const Name kListMethod{"list"};
const Name kDeleteObjectsMethod{"delete_objects"};
const Name kIterObjects{"iter_objects"};
const Name kGetMethod{"get"};
const Name kPut{"PUT"};
const Name kPost{"POST"};
const Name kHead{"HEAD"};
const Name kDelete{"DELETE"};
const Name kServiceLevel{"service_level"};
const Name kLimit{"limit"};
// Query parameters and header names.
const Name kListTypeParam{"list-type"};
const Name kTwo{"2"};
const Name kPrefixParam{"prefix"};
const Name kMaxKeysParam{"max-keys"};
const Name kContinuationTokenParam{"continuation-token"};
const Name kUploadsParam{"uploads"};
const Name kPartNumberParam{"partNumber"};
const Name kUploadIdParam{"uploadId"};
const Name kDeleteParam{"delete"};
const Name kApplicationXml{"application/xml"};
const Name kContentLengthHeader{"Content-Length"};
const Name kRangeHeader{"Range"};
const Name kCopySourceHeader{"x-amz-copy-source"};
// Record fields.
const Name kKeyField{"key"};
const Name kSizeField{"size"};
const Name kLastModifiedField{"last_modified"};
const Name kEtagField{"etag"};
const Name kObjectsField{"objects"};
const Name kIsTruncatedField{"is_truncated"};
const Name kNextMarkerField{"next_marker"};
const Name kNameField{"name"};
const Name kCreationDateField{"creation_date"};
const Name kObjectCountField{"object_count"};
const Name kTotalSizeField{"total_size"};
const Name kDeletedField{"deleted"};
const Name kErrorsField{"errors"};
const Name kCodeField{"code"};
const Name kMessageField{"message"};
// Files.
const Name kExclusiveBinary{"xb"};
const Name kClose{"close"};
const Name kWrite{"write"};
const Name kUnlink{"unlink"};
const Name kReplace{"replace"};
const Name kMakedirs{"makedirs"};
const Name kExistOk{"exist_ok"};
const Name kIsdir{"isdir"};
const Name kStream{"stream"};
const Name kByteStream{"ByteStream"};

// Set when the module is imported.
PyObject* g_parse_error_type = nullptr;  // xml.etree.ElementTree.ParseError
PyObject* g_os = nullptr;
PyObject* g_os_path = nullptr;
PyObject* g_open = nullptr;

constexpr std::string_view kVersion2 = "dravik";  // the signature_version value that selects Version 2
constexpr std::string_view kVirtual = "virtual";  // the addressing_style value of virtual-host style

void set_attr(PyObject* self, const Name& name, PyObject* value) { check(PyObject_SetAttr(self, name, value)); }

// Non-empty text with its trailing "/" removed; NULL for None or the empty text.
Ref without_trailing_slashes(PyObject* value) {
    if (value == Py_None || PyUnicode_GET_LENGTH(value) == 0) return {};
    std::string_view text = pyutil::utf8(value);
    std::string_view kept = corvault::core::strip_trailing_slashes(text);
    return kept.size() == text.size() ? Ref::borrow(value) : pyutil::to_str(kept);
}

// ---- construction ------------------------------------------------------------------------------

Ref init(Args& a) {
    enum { AccessKey, SecretKey, BucketArg, Region, Internal, Endpoint, DomainUrl, Timeout, HttpClient,
           SignatureVersion, AddressingStyle };
    PyObject* self = a.self();
    set_attr(self, kAccessKey, a[AccessKey]);
    set_attr(self, kSecretKey, a[SecretKey]);
    set_attr(self, kBucket, a[BucketArg]);
    set_attr(self, kRegion, a[Region]);
    set_attr(self, kInternal, a[Internal]);
    set_attr(self, kDefaultTimeout, a[Timeout]);
    set_attr(self, kSignatureVersion, pyutil::lower(a[SignatureVersion]).get());
    set_attr(self, kAddressingStyle, pyutil::lower(a[AddressingStyle]).get());

    Ref endpoint = without_trailing_slashes(a[Endpoint]);
    if (!endpoint) endpoint = pyutil::Call().arg(a[Region]).arg(a[Internal]).method(self, kGetAwsEndpoint);
    set_attr(self, kEndpoint, endpoint.get());

    set_attr(self, kCustomDomain, a[DomainUrl] != Py_None ? Py_True : Py_False);
    Ref domain_url = without_trailing_slashes(a[DomainUrl]);
    if (!domain_url) domain_url = check(PyObject_GetAttr(self, kEndpoint));
    set_attr(self, kDomainUrl, domain_url.get());

    Ref client = Ref::borrow(a[HttpClient]);
    if (a.is_none(HttpClient)) {
        Ref client_type = check(PyObject_GetAttr(a.global(kHttpx), kHttpxClient));
        client = check(PyObject_CallNoArgs(client_type.get()));
    }
    set_attr(self, kClient, client.get());
    return Ref::borrow(Py_None);
}

Ref get_aws_endpoint(Args& a) {
    enum { Region, Internal };
    (void)Internal;  // accepted for callers' sake; the public endpoints do not depend on it
    std::string_view region = a.str(Region);
    if (region == "us-east-1") return pyutil::to_str("https://s3.amazonaws.com");
    return pyutil::to_str("https://s3." + std::string(region) + ".amazonaws.com");
}

// ---- signing ---------------------------------------------------------------------------------

// An entry of a dict looked up under exactly `name`; NULL when absent.
PyObject* exact_entry(PyObject* headers, PyObject* name) {
    PyObject* value = PyDict_GetItemWithError(headers, name);
    if (value == nullptr && PyErr_Occurred()) throw pyutil::Error{};
    return value;
}

bool truthy(PyObject* value) { return value != nullptr && check(PyObject_IsTrue(value)) == 1; }

std::string_view header_text(PyObject* value, const char* name, Keep& keep) {
    if (!PyUnicode_Check(value)) {
        pyutil::raise_format(PyExc_TypeError, "header '%s' must be str, not %.200s", name, Py_TYPE(value)->tp_name);
    }
    return keep.text(Ref::borrow(value));
}

// A header value to sign: text as it is (the core trims it); anything else through its strip(),
// which fails for values that are not text as a Python caller's own code would.
std::string_view header_value(PyObject* value, Keep& keep) {
    if (PyUnicode_Check(value)) return pyutil::utf8(value);
    Ref stripped = pyutil::strip(value);
    if (!PyUnicode_Check(stripped.get())) {
        pyutil::raise_format(PyExc_TypeError, "strip() returned %.200s, not str", Py_TYPE(stripped.get())->tp_name);
    }
    return keep.text(std::move(stripped));
}

// A header name lower-cased as str.lower() does (AttributeError for a name that is not text).
std::string_view lowered_name(PyObject* name, Keep& keep) {
    Ref low = pyutil::lower(name);
    if (!PyUnicode_Check(low.get())) {
        pyutil::raise_format(PyExc_TypeError, "lower() returned %.200s, not str", Py_TYPE(low.get())->tp_name);
    }
    return keep.text(std::move(low));
}

// str(value) as UTF-8, kept alive by `keep`.
std::string_view text_form(PyObject* value, Keep& keep) { return keep.text(check(PyObject_Str(value))); }

// The bucket a signature names: the `bucket` argument when given, else the client's own.
std::string_view signing_bucket(PyObject* self, PyObject* bucket_arg, Keep& keep) {
    if (PyUnicode_GET_LENGTH(bucket_arg) > 0) return pyutil::utf8(bucket_arg);
    return pyutil::text_attr(self, kBucket, keep);
}

Ref sign_request(Args& a) {
    enum { Method, Key, Headers, QueryParams, PayloadHash, ServiceLevel, BucketArg };
    PyObject* self = a.self();
    // Read from copies: the caller code reading runs may change the originals meanwhile.
    const Ref headers_read = pyutil::snapshot(a[Headers]), query_read = pyutil::snapshot(a[QueryParams]);
    PyObject* headers = headers_read.get();
    Keep keep;
    const core::UtcTime now = pyutil::utc_now();

    // The request time is the caller's "x-amz-date" entry when it is set; it also fixes the date
    // of the credential scope when it has the basic ISO 8601 form.
    std::string now_text;
    std::string_view amz_date;
    if (PyObject* given = exact_entry(headers, kAmzDateHeader); truthy(given)) {
        amz_date = header_text(given, "x-amz-date", keep);
    } else {
        amz_date = now_text = core::format_amz_date(now);
    }
    std::string date_stamp;
    if (std::size_t t = amz_date.find('T'); t != std::string_view::npos) {
        date_stamp = std::string(amz_date.substr(0, t));
    } else {
        date_stamp = core::format_date_stamp(now);
    }

    std::string canonical_uri = "/";
    if (!a.flag(ServiceLevel)) {
        const bool virtual_style = pyutil::attr_is(self, kAddressingStyle, kVirtual);
        std::string_view bucket = virtual_style ? std::string_view() : signing_bucket(self, a[BucketArg], keep);
        canonical_uri = core::s3::canonical_path(false, virtual_style, bucket, a.str(Key));
    }

    core::sigv4::HeaderSigning request;
    request.query = pyutil::query_pairs(query_read.get());
    request.headers.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(headers)) + 1);
    std::string fallback_host;
    bool has_host = false;
    Py_ssize_t pos = 0;
    PyObject *name, *value;
    while (PyDict_Next(headers, &pos, &name, &value)) {
        std::string_view lowered = lowered_name(name, keep);
        if (!core::sigv4::is_signed_header(lowered)) continue;
        has_host = has_host || lowered == "host";
        request.headers.emplace_back(lowered, header_value(value, keep));
    }
    if (!has_host) {
        fallback_host = core::strip_scheme_markers(pyutil::text_attr(self, kEndpoint, keep));
        request.headers.emplace_back("host", fallback_host);
    }

    request.method = a.str(Method);
    request.canonical_uri = canonical_uri;
    request.payload_hash = a.str(PayloadHash);
    request.request_time = amz_date;
    request.scope = {date_stamp, pyutil::text_attr(self, kRegion, keep), core::sigv4::kS3Service};
    request.credentials = {pyutil::text_attr(self, kAccessKey, keep), pyutil::text_attr(self, kSecretKey, keep)};
    return pyutil::to_str(core::sigv4::authorization(request));
}

Ref sign_request_v2(Args& a) {
    enum { Method, Key, Headers, QueryParams, ServiceLevel, BucketArg };
    PyObject* self = a.self();
    // Read from copies: the caller code reading runs may change the originals meanwhile.
    const Ref headers_read = pyutil::snapshot(a[Headers]), query_read = pyutil::snapshot(a[QueryParams]);
    PyObject* headers = headers_read.get();
    Keep keep;
    core::sigv2::Signing request;

    // The service signs the bucket in the resource whatever the addressing style.
    std::string path = "/";
    if (!a.flag(ServiceLevel)) path = core::s3::canonical_path(false, false, signing_bucket(self, a[BucketArg], keep), a.str(Key));
    std::vector<core::sigv2::SubResource> sub_resources;
    PyObject* query = query_read.get();
    Py_ssize_t pos = 0;
    PyObject *name, *value;
    while (query != Py_None && PyDict_Next(query, &pos, &name, &value)) {
        if (!PyUnicode_Check(name) || !core::sigv2::is_sub_resource(pyutil::utf8(name))) continue;
        sub_resources.emplace_back(pyutil::utf8(name), truthy(value) ? text_form(value, keep) : std::string_view());
    }
    request.resource = core::sigv2::canonical_resource(path, std::move(sub_resources));

    std::vector<core::sigv2::AmzHeader> amz;
    pos = 0;
    while (PyDict_Next(headers, &pos, &name, &value)) {
        std::string_view lowered = lowered_name(name, keep);
        if (lowered.substr(0, 6) != "x-amz-") continue;
        amz.emplace_back(lowered, header_value(value, keep));
    }
    request.amz_headers = core::sigv2::canonical_amz_headers(std::move(amz));

    // The three slots are looked up under exactly these names; values are written as text.
    auto slot = [&](PyObject* entry) { return entry ? text_form(entry, keep) : std::string_view(); };
    PyObject* date = exact_entry(headers, kDateHeader);
    if (!truthy(date)) date = exact_entry(headers, kAmzDateHeader);
    request.method = a.str(Method);
    request.content_md5 = slot(exact_entry(headers, kContentMd5Header));
    request.content_type = slot(exact_entry(headers, kContentTypeHeader));
    request.date = slot(date);
    request.access_key = pyutil::text_attr(self, kAccessKey, keep);
    request.secret_key = pyutil::text_attr(self, kSecretKey, keep);
    return pyutil::to_str(core::sigv2::authorization(request));
}

// ---- object URLs -----------------------------------------------------------------------------

std::string public_url(PyObject* self, std::string_view key, Keep& keep) {
    core::s3::PublicUrlBase base{};
    base.custom_domain = pyutil::attr_truth(self, kCustomDomain);
    base.virtual_style = !base.custom_domain && pyutil::attr_is(self, kAddressingStyle, kVirtual);
    if (base.custom_domain) {
        base.domain_url = pyutil::text_attr(self, kDomainUrl, keep);
    } else {
        base.endpoint = pyutil::text_attr(self, kEndpoint, keep);
        base.bucket = pyutil::text_attr(self, kBucket, keep);
    }
    return core::s3::object_url(base, key);
}

Ref presign_url(Args& a) {
    enum { Method, Key, Expires, QueryParams };
    PyObject* self = a.self();
    Keep keep;
    const core::UtcTime now = pyutil::utc_now();
    const std::string date_stamp = core::format_date_stamp(now);
    const std::string amz_date = core::format_amz_date(now);
    const std::string url = public_url(self, a.str(Key), keep);
    const core::UrlParts parts = core::split_url(url);
    const std::string signed_path = core::s3::signed_path(parts.path);

    core::sigv4::QuerySigning request;
    request.method = a.str(Method);
    request.url = url;
    request.host = parts.netloc;
    request.canonical_uri = signed_path;
    request.expires = text_form(a[Expires], keep);
    // The five X-Amz- names are text, so a name of bytes could not be sorted among them.
    const Ref query_read = pyutil::snapshot(a[QueryParams]);  // a property may change the original
    request.extra = pyutil::query_pairs(query_read.get(), true);
    request.request_time = amz_date;
    request.scope = {date_stamp, pyutil::text_attr(self, kRegion, keep), core::sigv4::kS3Service};
    request.credentials = {pyutil::text_attr(self, kAccessKey, keep), pyutil::text_attr(self, kSecretKey, keep)};
    return pyutil::to_str(core::sigv4::presigned_url(request));
}

// ---- request primitives ----------------------------------------------------------------------

// Adds the date headers of the selected signature version when absent, and returns the payload
// hash a Version 4 signature must cover: the caller's own x-amz-content-sha256 entry, or an
// empty Ref when the default "UNSIGNED-PAYLOAD" entry was added here.
Ref complete_date_headers(PyObject* headers, bool version2) {
    if (version2) {
        if (!pyutil::has_key(headers, kDateHeader) && !pyutil::has_key_lower(headers, "date")) {
            Ref date = pyutil::to_str(core::format_rfc1123(pyutil::utc_now()));
            pyutil::set_item(headers, kDateHeader, date.get());
        }
        return {};
    }
    if (!pyutil::has_key_lower(headers, "x-amz-date")) {
        Ref date = pyutil::to_str(core::format_amz_date(pyutil::utc_now()));
        pyutil::set_item(headers, kAmzDateHeader, date.get());
    }
    Ref payload_hash = pyutil::find_lower(headers, "x-amz-content-sha256");
    if (!payload_hash) pyutil::set_item(headers, kContentSha256Header, kUnsignedPayload);
    return payload_hash;
}

// Signs through the client's own signer of the selected version and stores the result.
void authorize(PyObject* self, bool version2, PyObject* method, PyObject* key, PyObject* headers,
               PyObject* query_params, PyObject* bucket, PyObject* payload_hash) {
    pyutil::Call sign;
    sign.arg(method).arg(key).arg(headers).arg(query_params);
    if (bucket != nullptr) sign.kw(kBucketKeyword, bucket);
    if (payload_hash != nullptr && !version2) sign.kw(kPayloadHash, payload_hash);
    Ref authorization = sign.method(self, version2 ? kSignRequestV2 : kSignRequest);
    pyutil::set_item(headers, kAuthorizationHeader, authorization.get());
}

bool non_empty_dict(PyObject* value) { return PyDict_Check(value) && PyDict_GET_SIZE(value) > 0; }

Ref request(Args& a) {
    enum { Method, Key, QueryParams };
    PyObject* self = a.self();
    Keep keep;
    Ref kwargs = a.kwargs() ? Ref::borrow(a.kwargs()) : check(PyDict_New());
    Ref headers;
    if (PyObject* given = PyDict_GetItemWithError(kwargs.get(), kHeaders)) {
        headers = Ref::borrow(given);
        check(PyDict_DelItem(kwargs.get(), kHeaders));
    } else if (PyErr_Occurred()) {
        throw pyutil::Error{};
    } else {
        headers = check(PyDict_New());
    }

    const bool virtual_style = pyutil::attr_is(self, kAddressingStyle, kVirtual);
    const core::s3::Target target = core::s3::object_target(
        pyutil::text_attr(self, kEndpoint, keep), pyutil::text_attr(self, kBucket, keep), virtual_style, a.str(Key));
    if (!pyutil::has_key(headers.get(), kHostHeader) && !pyutil::has_key_lower(headers.get(), "host")) {
        pyutil::set_item(headers.get(), kHostHeader, pyutil::to_str(target.host).get());
    }
    const bool version2 = pyutil::attr_is(self, kSignatureVersion, kVersion2);
    Ref payload_hash = complete_date_headers(headers.get(), version2);
    authorize(self, version2, a[Method], a[Key], headers.get(), a[QueryParams], nullptr, payload_hash.get());

    // The query travels in the URL, encoded as it was signed: httpx's own encoding of `params`
    // writes a blank as "+", which servers that check the query as received refuse.
    std::string url_text = target.url;
    const int own_params = check(PyDict_Contains(kwargs.get(), kParams));
    if (non_empty_dict(a[QueryParams]) && !own_params) core::append_query(url_text, pyutil::query_pairs(a[QueryParams]));
    PyObject* timeout = PyDict_GetItemWithError(kwargs.get(), kTimeout);
    if (timeout == nullptr && PyErr_Occurred()) throw pyutil::Error{};
    if (timeout == nullptr || timeout == Py_None) {
        Ref fallback = check(PyObject_GetAttr(self, kDefaultTimeout));
        if (fallback.get() != Py_None) check(PyDict_SetItem(kwargs.get(), kTimeout, fallback.get()));
    }

    pyutil::keep_path_as_built(kwargs.get(), url_text);
    pyutil::raw_body_as_content(kwargs.get());

    Ref client = check(PyObject_GetAttr(self, kClient));
    Ref url = pyutil::to_str(url_text);
    return pyutil::Call().arg(a[Method]).arg(url.get()).kw(kHeaders, headers.get()).kwargs(kwargs.get())
        .method(client.get(), kRequest);
}

Ref get_path_url(Args& a) {
    enum { Key };
    Keep keep;
    return pyutil::to_str(public_url(a.self(), a.str(Key), keep));
}

Ref get_shared_url(Args& a) {
    enum { Key, ExpireTime };
    return pyutil::Call().arg(kGet).arg(a[Key]).kw(kExpires, a[ExpireTime]).method(a.self(), kPresignUrl);
}

// ---- object operations -------------------------------------------------------------------------

// A dict of text keys and values, in the order given.
Ref text_dict(std::initializer_list<std::pair<const Name*, PyObject*>> entries) {
    Ref dict = check(PyDict_New());
    for (const auto& [name, value] : entries) check(PyDict_SetItem(dict.get(), *name, value));
    return dict;
}

bool non_empty_text(PyObject* value) { return PyUnicode_Check(value) && PyUnicode_GET_LENGTH(value) > 0; }

// The data itself, or what its read() returns when it has one (read once, whole).
Ref read_if_file(PyObject* data) {
    Ref read = pyutil::optional_attr(data, kRead);
    if (!read) return Ref::borrow(data);
    return check(PyObject_CallNoArgs(read.get()));
}

// self._request(method, key, [query_params=...], [data=...], headers=..., timeout=...)
Ref object_request(PyObject* self, PyObject* method, PyObject* key, PyObject* query_params, PyObject* data,
                   PyObject* headers, PyObject* timeout) {
    pyutil::Call call;
    call.arg(method).arg(key);
    if (query_params != nullptr) call.kw(kQueryParams, query_params);
    if (data != nullptr) call.kw(kData, data);
    call.kw(kHeaders, headers).kw(kTimeout, timeout);
    return call.method(self, kUnderscoreRequest);
}

Ref upload(Args& a) {
    enum { Key, Data, ContentType, ContentMd5, Headers, Timeout };
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), kContentTypeHeader, a[ContentType]);
    if (non_empty_text(a[ContentMd5])) pyutil::set_item(headers.get(), kContentMd5Header, a[ContentMd5]);
    Ref data = read_if_file(a[Data]);
    if (PyUnicode_Check(data.get())) data = check(PyUnicode_AsUTF8String(data.get()));
    return object_request(a.self(), kPut, a[Key], nullptr, data.get(), headers.get(), a[Timeout]);
}

// _download, head and delete: one request without a body. The caller's headers are copied, so
// a mapping reused across calls never carries a stale date, Host or signature into the next.
Ref plain_object_request(Args& a, PyObject* method) {
    enum { Key, Headers, Timeout };
    Ref headers = pyutil::copy_headers(a[Headers]);
    return object_request(a.self(), method, a[Key], nullptr, nullptr, headers.get(), a[Timeout]);
}

Ref download(Args& a) { return plain_object_request(a, kGet); }
Ref head(Args& a) { return plain_object_request(a, kHead); }
Ref delete_object(Args& a) { return plain_object_request(a, kDelete); }

// An element text as a record value: `missing` for no element, None for one without text.
Ref text_value(const core::xml::Text& text, PyObject* missing) {
    if (text.missing()) return Ref::borrow(missing);
    if (text.empty()) return Ref::borrow(Py_None);
    return pyutil::to_str(text.value);
}

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

Ref list_objects(Args& a) {
    enum { Prefix, Marker, Limit, Headers, Timeout };
    Ref limit_text = check(PyObject_Str(a[Limit]));
    Ref params = text_dict({{&kListTypeParam, kTwo}, {&kPrefixParam, a[Prefix]}, {&kMaxKeysParam, limit_text.get()}});
    if (PyUnicode_GET_LENGTH(a[Marker]) > 0) check(PyDict_SetItem(params.get(), kContinuationTokenParam, a[Marker]));
    Ref headers = pyutil::copy_headers(a[Headers]);
    Ref empty_key = pyutil::to_str("");
    Ref response = object_request(a.self(), kGet, empty_key.get(), params.get(), nullptr, headers.get(), a[Timeout]);

    Ref text = pyutil::response_text(response.get());
    const core::s3::ObjectListing listing =
        read_answer([&] { return core::s3::parse_object_listing(pyutil::utf8(text.get())); });
    Ref empty = pyutil::to_str("");
    Ref zero = check(PyLong_FromLong(0));
    Ref objects = check(PyList_New(0));
    for (const core::s3::ListedObject& entry : listing.objects) {
        Ref key = text_value(entry.key, empty.get());
        // Size is read as int() reads text: a sign and surrounding blanks are accepted, and an
        // element without text fails as int(None) does.
        Ref size = entry.size.missing() ? zero
                   : entry.size.empty() ? check(PyNumber_Long(Py_None))
                                        : check(PyLong_FromUnicodeObject(pyutil::to_str(entry.size.value).get(), 10));
        Ref modified = text_value(entry.last_modified, empty.get());
        std::string_view tag = entry.etag.value;
        while (!tag.empty() && tag.front() == '"') tag.remove_prefix(1);
        while (!tag.empty() && tag.back() == '"') tag.remove_suffix(1);
        Ref etag = pyutil::to_str(tag);
        Ref record = text_dict({{&kKeyField, key.get()}, {&kSizeField, size.get()},
                                {&kLastModifiedField, modified.get()}, {&kEtagField, etag.get()}});
        check(PyList_Append(objects.get(), record.get()));
    }
    const bool truncated = listing.is_truncated.state == core::xml::Text::State::Value &&
                           listing.is_truncated.value == "true";
    Ref result = text_dict({{&kObjectsField, objects.get()}, {&kIsTruncatedField, truncated ? Py_True : Py_False}});
    if (truncated) {
        Ref marker = text_value(listing.next_continuation_token, empty.get());
        check(PyDict_SetItem(result.get(), kNextMarkerField, marker.get()));
    }
    return result;
}

// ---- multipart upload steps --------------------------------------------------------------------

Ref initiate_multipart_upload(Args& a) {
    enum { Key, ContentType, Headers, Timeout };
    Ref empty = pyutil::to_str("");
    Ref params = text_dict({{&kUploadsParam, empty.get()}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), kContentTypeHeader, a[ContentType]);
    return object_request(a.self(), kPost, a[Key], params.get(), nullptr, headers.get(), a[Timeout]);
}

Ref upload_part(Args& a) {
    enum { Key, UploadId, PartNumber, Data, ContentType, Headers, Timeout };
    Ref part_number = check(PyObject_Str(a[PartNumber]));
    Ref params = text_dict({{&kPartNumberParam, part_number.get()}, {&kUploadIdParam, a[UploadId]}});
    Ref data = read_if_file(a[Data]);  // text stays text: the part is sent as given
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), kContentTypeHeader, a[ContentType]);
    return object_request(a.self(), kPut, a[Key], params.get(), data.get(), headers.get(), a[Timeout]);
}

Ref finish_multipart_upload(Args& a) {
    enum { Key, UploadId, Etags, NewObject, Headers, Timeout };
    (void)NewObject;  // accepted and without effect: the upload completes under its own key
    PyObject* etags = a[Etags];
    std::vector<Ref> texts;
    std::vector<std::string_view> views;
    texts.reserve(static_cast<std::size_t>(PyList_GET_SIZE(etags)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(etags); ++i) {
        texts.push_back(check(PyObject_Str(PyList_GET_ITEM(etags, i))));
        views.push_back(pyutil::utf8(texts.back().get()));
    }
    Ref body = pyutil::to_str(core::s3::complete_multipart_body(views));
    Ref params = text_dict({{&kUploadIdParam, a[UploadId]}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    pyutil::set_item(headers.get(), kContentTypeHeader, kApplicationXml);
    return object_request(a.self(), kPost, a[Key], params.get(), body.get(), headers.get(), a[Timeout]);
}

Ref abort_multipart_upload(Args& a) {
    enum { Key, UploadId, Headers, Timeout };
    Ref params = text_dict({{&kUploadIdParam, a[UploadId]}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    return object_request(a.self(), kDelete, a[Key], params.get(), nullptr, headers.get(), a[Timeout]);
}

// ---- ranged download ---------------------------------------------------------------------------

// The directory part of a path: up to its last "/", without trailing "/" unless only "/" remain.
std::string_view directory_of(std::string_view path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    std::string_view head = path.substr(0, slash + 1);
    std::string_view trimmed = core::strip_trailing_slashes(head);
    return trimmed.empty() ? head : trimmed;
}

// A file beside the target that receives the parts and replaces the target only when every
// part has arrived; removed when the download fails, so that nothing partial is ever left.
// An httpx response and its stream refer to each other, so a response outlives its last reference
// until the cyclic collector runs, and with it its body: every part of a large download would pile
// up in memory. Handing the response an empty stream breaks the cycle; the body goes with the
// response as soon as the part is written.
void release_body(PyObject* response, PyObject* httpx) {
    Ref empty_stream_type = pyutil::optional_attr(httpx, kByteStream);
    if (!empty_stream_type || !pyutil::optional_attr(response, kStream)) return;
    Ref empty = pyutil::to_bytes("");
    Ref stream = check(PyObject_CallOneArg(empty_stream_type.get(), empty.get()));
    if (PyObject_SetAttr(response, kStream, stream.get()) < 0) PyErr_Clear();  // not an httpx response
}

class PartFile {
public:
    explicit PartFile(std::string_view target) : target_(pyutil::to_str(target)) {
        std::random_device random;
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%08x%08x.part", random(), random());
        const std::size_t name_start = target.rfind('/') == std::string_view::npos ? 0 : target.rfind('/') + 1;
        std::string path(target.substr(0, name_start));
        path.append(".").append(target.substr(name_start)).append(suffix);
        Ref path_text = pyutil::to_str(path);
        file_ = pyutil::Call().arg(path_text.get()).arg(kExclusiveBinary).call(g_open);
        path_ = std::move(path_text);  // only a file this object created is ever removed
    }
    ~PartFile() {
        if (!path_) return;
        pyutil::PendingError keep;  // the failure that brought us here wins over clean-up failures
        if (file_) Ref closed = Ref::steal(PyObject_CallMethodNoArgs(file_.get(), kClose));
        Ref removed = Ref::steal(PyObject_CallMethodOneArg(g_os, kUnlink, path_.get()));
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    void write(PyObject* bytes) { check(PyObject_CallMethodOneArg(file_.get(), kWrite, bytes)); }
    void commit() {
        check(PyObject_CallMethodNoArgs(file_.get(), kClose));
        file_ = Ref();
        Ref replaced = pyutil::Call().arg(path_.get()).arg(target_.get()).method(g_os, kReplace);
        path_ = Ref();
    }

private:
    Ref target_, path_, file_;
};

Ref multipart_download(Args& a) {
    enum { Key, LocalPath, PartSize, Callback, Timeout };
    PyObject* self = a.self();
    int overflow = 0;
    long long part_size = PyLong_AsLongLongAndOverflow(a[PartSize], &overflow);
    if (part_size == -1 && PyErr_Occurred()) throw pyutil::Error{};
    if (overflow > 0) part_size = std::numeric_limits<long long>::max();
    if (overflow < 0 || part_size < 1) {
        pyutil::raise_format(PyExc_ValueError, "part_size must be at least 1, not %S", a[PartSize]);
    }

    const std::string_view local_path = a.str(LocalPath);
    if (std::string_view dir = directory_of(local_path); !dir.empty()) {
        Ref dir_text = pyutil::to_str(dir);
        Ref made = pyutil::Call().arg(dir_text.get()).kw(kExistOk, Py_True).method(g_os, kMakedirs);
    }

    Ref head_response = pyutil::Call().arg(a[Key]).kw(kTimeout, a[Timeout]).method(self, kHeadMethod);
    if (pyutil::status_code(head_response.get()) != 200) pyutil::raise_failure("获取文件信息失败: ", head_response.get());
    Ref response_headers = check(PyObject_GetAttr(head_response.get(), kHeaders));
    Ref zero = check(PyLong_FromLong(0));
    Ref length = pyutil::Call().arg(kContentLengthHeader).arg(zero.get()).method(response_headers.get(), kGetMethod);
    Ref size_number = PyLong_Check(length.get()) ? length : check(PyNumber_Long(length.get()));
    const long long file_size = PyLong_AsLongLong(size_number.get());
    if (file_size == -1 && PyErr_Occurred()) throw pyutil::Error{};
    if (file_size == 0) pyutil::raise_message("文件大小为 0");
    const long long total_parts = file_size / part_size + (file_size % part_size != 0 ? 1 : 0);

    Ref is_dir = pyutil::Call().arg(a[LocalPath]).method(g_os_path, kIsdir);
    if (check(PyObject_IsTrue(is_dir.get()))) {
        // Found now rather than after the whole object has been fetched.
        errno = EISDIR;
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, a[LocalPath]);
        throw pyutil::Error{};
    }
    PartFile file(local_path);
    const bool report = check(PyObject_IsTrue(a[Callback])) == 1;
    for (long long part = 0; part < total_parts; ++part) {
        const long long start = part * part_size;
        const long long end = file_size - 1 - start < part_size - 1 ? file_size - 1 : start + part_size - 1;
        Ref range = pyutil::to_str("bytes=" + std::to_string(start) + "-" + std::to_string(end));
        Ref headers = text_dict({{&kRangeHeader, range.get()}});
        Ref response = object_request(self, kGet, a[Key], nullptr, nullptr, headers.get(), a[Timeout]);
        const long status = pyutil::status_code(response.get());
        if (status != 200 && status != 206) {
            const std::string prefix = "下载分片 " + std::to_string(part + 1) + " 失败: ";
            pyutil::raise_failure(prefix.c_str(), response.get());
        }
        Ref body = pyutil::response_content(response.get());
        const long long expected = end - start + 1;
        if (PyBytes_GET_SIZE(body.get()) != expected) {
            // A server that ignores Range answers with the whole object: refuse it rather than
            // assemble a file of the wrong size.
            const std::string message = "下载分片 " + std::to_string(part + 1) + " 失败: " + std::to_string(status) +
                                        " 应收到 " + std::to_string(expected) + " 字节, 实际收到 " +
                                        std::to_string(PyBytes_GET_SIZE(body.get())) + " 字节";
            pyutil::raise_message(message.c_str());
        }
        file.write(body.get());
        release_body(response.get(), a.global(kHttpx));
        if (report) {
            Ref index = check(PyLong_FromLongLong(part));
            Ref count = check(PyLong_FromLongLong(total_parts));
            Ref done = check(PyLong_FromLongLong(part + 1 == total_parts ? file_size : (part + 1) * part_size));
            Ref total = check(PyLong_FromLongLong(file_size));
            Ref ignored = pyutil::Call().arg(index.get()).arg(count.get()).arg(done.get()).arg(total.get()).call(a[Callback]);
        }
    }
    file.commit();
    return Ref::borrow(Py_True);
}

// The bucket an operation acts on: its argument, or the client's own when that is empty.
Ref target_bucket(PyObject* self, PyObject* bucket_name) {
    if (PyUnicode_GET_LENGTH(bucket_name) > 0) return Ref::borrow(bucket_name);
    return check(PyObject_GetAttr(self, kBucket));
}

// The same, when its text is needed here: a client bucket that is not text is named in the error.
Ref target_bucket_text(PyObject* self, PyObject* bucket_name) {
    Ref bucket = target_bucket(self, bucket_name);
    if (!PyUnicode_Check(bucket.get())) {
        Keep keep;
        pyutil::text_attr(self, kBucket, keep);
    }
    return bucket;
}

Ref bucket_request(Args& a) {
    enum { Method, BucketName, QueryParams, Data, Headers, Timeout };
    PyObject* self = a.self();
    Keep keep;
    Ref bucket = target_bucket_text(self, a[BucketName]);
    const bool virtual_style = pyutil::attr_is(self, kAddressingStyle, kVirtual);
    const core::s3::Target target =
        core::s3::bucket_target(pyutil::text_attr(self, kEndpoint, keep), pyutil::utf8(bucket.get()), virtual_style);

    Ref headers = pyutil::copy_headers(a[Headers]);
    pyutil::set_item(headers.get(), kHostHeader, pyutil::to_str(target.host).get());
    const bool version2 = pyutil::attr_is(self, kSignatureVersion, kVersion2);
    Ref payload_hash = complete_date_headers(headers.get(), version2);
    Ref empty_key = pyutil::to_str("");
    authorize(self, version2, a[Method], empty_key.get(), headers.get(), a[QueryParams], bucket.get(),
              payload_hash.get());

    std::string url_text = target.url;
    if (non_empty_dict(a[QueryParams])) core::append_query(url_text, pyutil::query_pairs(a[QueryParams]));
    Ref url = pyutil::to_str(url_text);
    pyutil::Call send;
    send.arg(a[Method]).arg(url.get()).kw(kHeaders, headers.get()).kw(kContent, a[Data]);
    Ref fallback;
    if (!a.is_none(Timeout)) {
        send.kw(kTimeout, a[Timeout]);
    } else if (fallback = check(PyObject_GetAttr(self, kDefaultTimeout)); fallback.get() != Py_None) {
        send.kw(kTimeout, fallback.get());
    }
    Ref client = check(PyObject_GetAttr(self, kClient));
    return send.method(client.get(), kRequest);
}

// ---- bucket management -------------------------------------------------------------------------

bool ok_or_no_content(PyObject* response) {
    const long status = pyutil::status_code(response);
    return status == 200 || status == 204;
}

Ref create_bucket(Args& a) {
    enum { BucketName };
    PyObject* self = a.self();
    Ref bucket = target_bucket(self, a[BucketName]);
    Ref region = check(PyObject_GetAttr(self, kRegion));
    Ref body = Ref::borrow(Py_None);
    Ref headers = check(PyDict_New());
    // The default region takes no location constraint.
    if (check(PyObject_IsTrue(region.get())) && !(PyUnicode_Check(region.get()) && pyutil::utf8(region.get()) == "us-east-1")) {
        Keep keep;
        body = pyutil::to_bytes(core::s3::create_bucket_body(pyutil::text_attr(self, kRegion, keep)));
        pyutil::set_item(headers.get(), kContentTypeHeader, kApplicationXml);
    }
    Ref response = pyutil::Call().arg(kPut).arg(bucket.get()).kw(kData, body.get()).kw(kHeaders, headers.get())
                       .method(self, kBucketRequestMethod);
    if (!ok_or_no_content(response.get())) pyutil::raise_failure("创建存储桶失败: ", response.get());
    return Ref::borrow(Py_True);
}

Ref delete_bucket(Args& a) {
    enum { BucketName };
    Ref bucket = target_bucket(a.self(), a[BucketName]);
    Ref response = pyutil::Call().arg(kDelete).arg(bucket.get()).method(a.self(), kBucketRequestMethod);
    if (!ok_or_no_content(response.get())) pyutil::raise_failure("删除存储桶失败: ", response.get());
    return Ref::borrow(Py_True);
}

Ref bucket_exists(Args& a) {
    enum { BucketName };
    Ref bucket = target_bucket(a.self(), a[BucketName]);
    Ref response = pyutil::Call().arg(kHead).arg(bucket.get()).method(a.self(), kBucketRequestMethod);
    return Ref::borrow(pyutil::status_code(response.get()) == 200 ? Py_True : Py_False);
}

Ref list_buckets(Args& a) {
    PyObject* self = a.self();
    Keep keep;
    const std::string_view endpoint = pyutil::text_attr(self, kEndpoint, keep);
    Ref host = pyutil::to_str(core::strip_scheme_markers(endpoint));
    Ref url = pyutil::to_str(std::string(endpoint) + "/");
    Ref headers = text_dict({{&kHostHeader, host.get()}});
    const bool version2 = pyutil::attr_is(self, kSignatureVersion, kVersion2);
    if (version2) {
        Ref date = pyutil::to_str(core::format_rfc1123(pyutil::utc_now()));
        pyutil::set_item(headers.get(), kDateHeader, date.get());
    } else {
        Ref date = pyutil::to_str(core::format_amz_date(pyutil::utc_now()));
        pyutil::set_item(headers.get(), kAmzDateHeader, date.get());
        pyutil::set_item(headers.get(), kContentSha256Header, kUnsignedPayload);
    }
    Ref empty = pyutil::to_str("");
    Ref authorization = pyutil::Call().arg(kGet).arg(empty.get()).arg(headers.get()).arg(Py_None)
                            .kw(kServiceLevel, Py_True).method(self, version2 ? kSignRequestV2 : kSignRequest);
    pyutil::set_item(headers.get(), kAuthorizationHeader, authorization.get());

    pyutil::Call send;
    send.arg(kGet).arg(url.get()).kw(kHeaders, headers.get());
    Ref timeout = check(PyObject_GetAttr(self, kDefaultTimeout));
    if (timeout.get() != Py_None) send.kw(kTimeout, timeout.get());
    Ref client = check(PyObject_GetAttr(self, kClient));
    Ref response = send.method(client.get(), kRequest);
    if (pyutil::status_code(response.get()) != 200) pyutil::raise_failure("列出存储桶失败: ", response.get());

    Ref text = pyutil::response_text(response.get());
    const auto buckets = read_answer([&] { return core::s3::parse_bucket_listing(pyutil::utf8(text.get())); });
    Ref result = check(PyList_New(0));
    for (const core::s3::ListedBucket& bucket : buckets) {
        Ref name = text_value(bucket.name, empty.get());
        Ref created = text_value(bucket.creation_date, empty.get());
        Ref record = text_dict({{&kNameField, name.get()}, {&kCreationDateField, created.get()}});
        check(PyList_Append(result.get(), record.get()));
    }
    return result;
}

// ---- copy, statistics, batch delete ------------------------------------------------------------

Ref copy_object(Args& a) {
    enum { SrcKey, DestKey, SrcBucket, Headers, Timeout };
    PyObject* self = a.self();
    Ref source_bucket = target_bucket_text(self, a[SrcBucket]);
    std::string source = "/";
    source.append(pyutil::utf8(source_bucket.get())).append("/").append(core::s3::encode_key(a.str(SrcKey)));
    Ref copy_source = pyutil::to_str(source);
    Ref headers = pyutil::copy_headers(a[Headers]);
    pyutil::set_item(headers.get(), kCopySourceHeader, copy_source.get());
    Ref response = object_request(self, kPut, a[DestKey], nullptr, nullptr, headers.get(), a[Timeout]);
    if (pyutil::status_code(response.get()) != 200) pyutil::raise_failure("复制对象失败: ", response.get());
    // The service reports some copy failures inside a 200 answer, as an Error document.
    Ref text = pyutil::response_text(response.get());
    if (PyUnicode_Check(text.get()) && core::s3::is_error_document(pyutil::utf8(text.get()))) {
        pyutil::raise_failure("复制对象失败: ", response.get());
    }
    return Ref::borrow(Py_True);
}

Ref get_bucket_stats(Args& a) {
    Ref count = check(PyLong_FromLong(0));
    Ref total = check(PyLong_FromLong(0));
    Ref one = check(PyLong_FromLong(1));
    Ref zero = check(PyLong_FromLong(0));
    Ref entries = pyutil::Call().method(a.self(), kIterObjects);
    Ref iterator = check(PyObject_GetIter(entries.get()));
    while (PyObject* raw = PyIter_Next(iterator.get())) {
        Ref entry = Ref::steal(raw);
        count = check(PyNumber_Add(count.get(), one.get()));
        Ref size = pyutil::Call().arg(kSizeField).arg(zero.get()).method(entry.get(), kGetMethod);
        total = check(PyNumber_Add(total.get(), size.get()));
    }
    if (PyErr_Occurred()) throw pyutil::Error{};
    return text_dict({{&kObjectCountField, count.get()}, {&kTotalSizeField, total.get()}});
}

constexpr Py_ssize_t kDeleteBatch = 1000;  // the most keys the service takes in one request

Ref delete_objects(Args& a) {
    enum { Keys, Timeout };
    PyObject* self = a.self();
    Ref keys = check(PyList_GetSlice(a[Keys], 0, PyList_GET_SIZE(a[Keys])));  // unaffected by changes meanwhile
    // Every key is checked before the first batch goes out, so that a bad key late in the list
    // never leaves the earlier batches deleted and the rest not.
    std::vector<std::string_view> texts;
    texts.reserve(static_cast<std::size_t>(PyList_GET_SIZE(keys.get())));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i) {
        PyObject* key = PyList_GET_ITEM(keys.get(), i);
        if (!PyUnicode_Check(key)) {
            pyutil::raise_format(PyExc_TypeError, "keys must be str, not %.200s", Py_TYPE(key)->tp_name);
        }
        texts.push_back(pyutil::utf8(key));
    }
    Ref deleted = check(PyList_New(0));
    Ref errors = check(PyList_New(0));
    Ref empty = pyutil::to_str("");
    Ref query = text_dict({{&kDeleteParam, empty.get()}});
    for (Py_ssize_t start = 0; start < PyList_GET_SIZE(keys.get()); start += kDeleteBatch) {
        const Py_ssize_t stop = std::min(start + kDeleteBatch, PyList_GET_SIZE(keys.get()));
        const std::vector<std::string_view> batch(texts.begin() + start, texts.begin() + stop);
        const std::string body = core::s3::delete_objects_body(batch);
        Ref data = pyutil::to_bytes(body);
        Ref md5 = pyutil::to_str(core::base64(core::md5(body)));
        Ref headers = text_dict({{&kContentTypeHeader, kApplicationXml}, {&kContentMd5Header, md5.get()}});
        Ref response = pyutil::Call().arg(kPost).arg(empty.get()).kw(kQueryParams, query.get()).kw(kData, data.get())
                           .kw(kHeaders, headers.get()).kw(kTimeout, a[Timeout]).method(self, kBucketRequestMethod);
        if (pyutil::status_code(response.get()) != 200) pyutil::raise_failure("批量删除失败: ", response.get());

        Ref text = pyutil::response_text(response.get());
        const core::s3::DeleteResult result =
            read_answer([&] { return core::s3::parse_delete_result(pyutil::utf8(text.get())); });
        for (const core::xml::Text& key : result.deleted) {
            if (key.state != core::xml::Text::State::Value) continue;
            Ref value = pyutil::to_str(key.value);
            check(PyList_Append(deleted.get(), value.get()));
        }
        for (const core::s3::DeleteError& error : result.errors) {
            Ref key = text_value(error.key, empty.get());
            Ref code = text_value(error.code, empty.get());
            Ref message = text_value(error.message, empty.get());
            Ref record = text_dict({{&kKeyField, key.get()}, {&kCodeField, code.get()}, {&kMessageField, message.get()}});
            check(PyList_Append(errors.get(), record.get()));
        }
    }
    return text_dict({{&kDeletedField, deleted.get()}, {&kErrorsField, errors.get()}});
}

Ref delete_by_prefix(Args& a) {
    enum { Prefix, Timeout };
    PyObject* self = a.self();
    Ref count = check(PyLong_FromLong(0));
    Ref batch_size = check(PyLong_FromSsize_t(kDeleteBatch));
    Ref previous;
    for (;;) {
        Ref listing = pyutil::Call().kw(kPrefixParam, a[Prefix]).kw(kLimit, batch_size.get()).kw(kTimeout, a[Timeout])
                          .method(self, kListMethod);
        Ref empty_list = check(PyList_New(0));
        Ref objects = pyutil::Call().arg(kObjectsField).arg(empty_list.get()).method(listing.get(), kGetMethod);
        Ref keys = check(PyList_New(0));
        Ref iterator = check(PyObject_GetIter(objects.get()));
        while (PyObject* raw = PyIter_Next(iterator.get())) {
            Ref entry = Ref::steal(raw);
            Ref key = check(PyObject_GetItem(entry.get(), kKeyField));
            check(PyList_Append(keys.get(), key.get()));
        }
        if (PyErr_Occurred()) throw pyutil::Error{};
        if (PyList_GET_SIZE(keys.get()) == 0) break;
        // Keys that stay in the bucket after their delete come back in the next listing: stop
        // instead of asking for them again forever.
        if (previous && check(PyObject_RichCompareBool(previous.get(), keys.get(), Py_EQ))) break;
        Ref result = pyutil::Call().arg(keys.get()).kw(kTimeout, a[Timeout]).method(self, kDeleteObjectsMethod);
        Ref no_keys = check(PyList_New(0));
        Ref deleted = pyutil::Call().arg(kDeletedField).arg(no_keys.get()).method(result.get(), kGetMethod);
        const Py_ssize_t n = PyObject_Length(deleted.get());
        if (n < 0) throw pyutil::Error{};
        Ref n_number = check(PyLong_FromSsize_t(n));
        count = check(PyNumber_Add(count.get(), n_number.get()));
        if (n == 0) break;
        Ref truncated = pyutil::Call().arg(kIsTruncatedField).method(listing.get(), kGetMethod);
        if (!check(PyObject_IsTrue(truncated.get()))) break;
        previous = keys;
    }
    return count;
}

// ---- the class ---------------------------------------------------------------------------------

const pyutil::MethodSpec kInit{
    "__init__",
    "Create a client for one bucket.\n\n"
    "The endpoint defaults to the public S3 endpoint of `region`. `domain_url` serves only the\n"
    "object URLs handed to users; requests always go to the endpoint. `signature_version`\n"
    "\"dravik\" selects AWS Signature Version 2, any other value Version 4; `addressing_style`\n"
    "\"virtual\" puts the bucket into the host name, any other value into the path.",
    "None",
    init,
    {
        {"access_key", Kind::Str, "str"},
        {"secret_key", Kind::Str, "str"},
        {"bucket", Kind::Str, "str"},
        {"region", Kind::Str, "str", pyutil::text("us-east-1")},
        {"internal", Kind::Bool, "bool", pyutil::boolean(false)},
        {"endpoint", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"domain_url", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"timeout", Kind::Any, kTimeoutType, pyutil::none()},
        {"http_client", Kind::Any, "Optional[httpx.Client]", pyutil::none()},
        {"signature_version", Kind::Str, "str", pyutil::text("v4")},
        {"addressing_style", Kind::Str, "str", pyutil::text("path")},
    },
};

const pyutil::MethodSpec kGetAwsEndpointSpec{
    "_get_aws_endpoint",
    "The public S3 endpoint of a region (https, no trailing \"/\").",
    "str",
    get_aws_endpoint,
    {
        {"region", Kind::Str, "str"},
        {"internal", Kind::Bool, "bool", pyutil::boolean(false)},
    },
};

const pyutil::MethodSpec kSignRequestSpec{
    "_sign_request",
    "The AWS Signature Version 4 Authorization value of a request (header form).\n\n"
    "Signs the Host, Content-Type, Content-MD5 and x-amz-* entries of `headers` (read, never\n"
    "changed); an \"x-amz-date\" entry sets the request time. `service_level` signs the service\n"
    "root; `bucket` overrides the client's bucket in the canonical path.",
    "str",
    sign_request,
    {
        {"method", Kind::Str, "str"},
        {"key", Kind::Str, "str"},
        {"headers", Kind::Dict, "Dict[str, str]"},
        {"query_params", Kind::OptDict, "Optional[Dict[str, str]]", pyutil::none()},
        {"payload_hash", Kind::Str, "str", pyutil::text("UNSIGNED-PAYLOAD")},
        {"service_level", Kind::Bool, "bool", pyutil::boolean(false)},
        {"bucket", Kind::Str, "str", pyutil::text("")},
    },
};

const pyutil::MethodSpec kSignRequestV2Spec{
    "_sign_request_v2",
    "The AWS Signature Version 2 Authorization value of a request: \"AWS key:signature\".\n\n"
    "The request time comes from the \"Date\" (or \"x-amz-date\") entry of `headers`.",
    "str",
    sign_request_v2,
    {
        {"method", Kind::Str, "str"},
        {"key", Kind::Str, "str"},
        {"headers", Kind::Dict, "Dict[str, str]"},
        {"query_params", Kind::OptDict, "Optional[Dict[str, str]]", pyutil::none()},
        {"service_level", Kind::Bool, "bool", pyutil::boolean(false)},
        {"bucket", Kind::Str, "str", pyutil::text("")},
    },
};

const pyutil::MethodSpec kPresignUrlSpec{
    "_presign_url",
    "A Version 4 pre-signed URL of the object `key` for `method`, valid for `expires` seconds.\n\n"
    "Entries of `query_params` are signed into the URL too.",
    "str",
    presign_url,
    {
        {"method", Kind::Str, "str"},
        {"key", Kind::Str, "str"},
        {"expires", Kind::Int, "int", pyutil::integer(3600)},
        {"query_params", Kind::OptDict, "Optional[Dict[str, str]]", pyutil::none()},
    },
};

const pyutil::MethodSpec kRequestSpec{
    "_request",
    "Send a signed request on the object `key` and return the httpx response unchanged.\n\n"
    "A `headers` keyword is completed in place (Host, date headers, Authorization); the other\n"
    "keywords go to the HTTP client's request(). The client's default time-out applies when no\n"
    "time-out is given.",
    "httpx.Response",
    request,
    {
        {"method", Kind::Str, "str"},
        {"key", Kind::Str, "str"},
        {"query_params", Kind::OptDict, "Optional[Dict[str, str]]", pyutil::none()},
    },
    true,
};

const pyutil::MethodSpec kGetPathUrlSpec{
    "get_path_url",
    "The unsigned URL of the object `key` (on the custom domain when there is one).",
    "str",
    get_path_url,
    {
        {"key", Kind::Str, "str"},
    },
};

const pyutil::MethodSpec kGetSharedUrlSpec{
    "get_shared_url",
    "A pre-signed GET URL of the object `key`, valid for `expire_time` seconds.",
    "str",
    get_shared_url,
    {
        {"key", Kind::Str, "str"},
        {"expire_time", Kind::Int, "int", pyutil::integer(3600)},
    },
};

const pyutil::Param kHeadersParam{"headers", Kind::OptDict, kHeadersType, pyutil::none()};
const pyutil::Param kTimeoutParam{"timeout", Kind::Any, kTimeoutType, pyutil::none()};

const pyutil::MethodSpec kUploadSpec{
    "upload",
    "Store `data` (bytes, text encoded as UTF-8, or a file-like object read whole) as the object\n"
    "`key` and return the response. `headers` is copied, never changed.",
    "httpx.Response",
    upload,
    {
        {"key", Kind::Str, "str"},
        {"data", Kind::Any, "Union[bytes, str, BinaryIO]"},
        {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"content_md5", Kind::OptStr, "Optional[str]", pyutil::none()},
        kHeadersParam,
        kTimeoutParam,
    },
};

const pyutil::MethodSpec kDownloadSpec{
    "_download",
    "GET the object `key` and return the response unchanged.",
    "httpx.Response",
    download,
    {{"key", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

const pyutil::MethodSpec kHeadSpec{
    "head",
    "HEAD the object `key` (its metadata) and return the response unchanged.",
    "httpx.Response",
    head,
    {{"key", Kind::Str, "str"}, kHeadersParam, {"timeout", Kind::Any, kTimeoutType, pyutil::integer(10)}},
};

const pyutil::MethodSpec kDeleteSpec{
    "delete",
    "DELETE the object `key` and return the response unchanged.",
    "httpx.Response",
    delete_object,
    {{"key", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

const pyutil::MethodSpec kListSpec{
    "list",
    "One page of the objects whose keys begin with `prefix`.\n\n"
    "Returns {'objects': [{'key', 'size', 'last_modified', 'etag'}, ...], 'is_truncated': bool}\n"
    "and, when the listing continues, 'next_marker' to pass as `marker` for the next page.",
    "Dict",
    list_objects,
    {
        {"prefix", Kind::Str, "str", pyutil::text("")},
        {"marker", Kind::Str, "str", pyutil::text("")},
        {"limit", Kind::Int, "int", pyutil::integer(20)},
        kHeadersParam,
        kTimeoutParam,
    },
};

const pyutil::MethodSpec kInitiateMultipartSpec{
    "initiate_multipart_upload",
    "Start a multipart upload of `key`; the upload id is in the answer's UploadId element.",
    "httpx.Response",
    initiate_multipart_upload,
    {{"key", Kind::Str, "str"}, {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()}, kHeadersParam,
     kTimeoutParam},
};

const pyutil::MethodSpec kUploadPartSpec{
    "upload_part",
    "Send part `part_number` of a multipart upload; its ETag is in the answer's ETag header.",
    "httpx.Response",
    upload_part,
    {
        {"key", Kind::Str, "str"},
        {"upload_id", Kind::Str, "str"},
        {"part_number", Kind::Int, "int"},
        {"data", Kind::Any, "Union[bytes, BinaryIO]"},
        {"content_type", Kind::Str, "str", pyutil::text("application/octet-stream")},
        kHeadersParam,
        kTimeoutParam,
    },
};

const pyutil::MethodSpec kFinishMultipartSpec{
    "finish_multipart_upload",
    "Complete a multipart upload from the parts' ETags, numbered 1, 2, ... in list order.",
    "httpx.Response",
    finish_multipart_upload,
    {
        {"key", Kind::Str, "str"},
        {"upload_id", Kind::Str, "str"},
        {"etags", Kind::List, "List[str]"},
        {"new_object", Kind::OptStr, "Optional[str]", pyutil::none()},
        kHeadersParam,
        kTimeoutParam,
    },
};

const pyutil::MethodSpec kAbortMultipartSpec{
    "abort_multipart_upload",
    "Abort a multipart upload and return the response unchanged.",
    "httpx.Response",
    abort_multipart_upload,
    {{"key", Kind::Str, "str"}, {"upload_id", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

const pyutil::MethodSpec kMultipartDownloadSpec{
    "multipart_download",
    "Download the object `key` into `local_path` in ranges of `part_size` bytes, one after another.\n\n"
    "`callback(part_index, total_parts, bytes_done, total_bytes)` is called after each part. The\n"
    "file is written beside the target and put in its place only when every part has arrived, so\n"
    "a failed download leaves no partial file. Returns True; every failure raises.",
    "bool",
    multipart_download,
    {
        {"key", Kind::Str, "str"},
        {"local_path", Kind::Str, "str"},
        {"part_size", Kind::Int, "int", pyutil::integer(8388608)},
        {"callback", Kind::Any, "Optional[Callable[[int, int, int, int], None]]", pyutil::none()},
        kTimeoutParam,
    },
};

const pyutil::MethodSpec kBucketRequestSpec{
    "_bucket_request",
    "Send a signed request on a bucket as a whole (the client's own when `bucket_name` is\n"
    "empty) and return the httpx response unchanged. `headers` is copied, never changed.",
    "httpx.Response",
    bucket_request,
    {
        {"method", Kind::Str, "str"},
        {"bucket_name", Kind::Str, "str", pyutil::text("")},
        {"query_params", Kind::OptDict, "Optional[Dict[str, str]]", pyutil::none()},
        {"data", Kind::OptBytes, "Optional[bytes]", pyutil::none()},
        {"headers", Kind::OptDict, kHeadersType, pyutil::none()},
        {"timeout", Kind::Any, kTimeoutType, pyutil::none()},
    },
};

const pyutil::MethodSpec kCreateBucketSpec{
    "create_bucket",
    "Create a bucket (the client's own when `bucket_name` is empty) in the client's region.",
    "bool",
    create_bucket,
    {{"bucket_name", Kind::Str, "str", pyutil::text("")}},
};

const pyutil::MethodSpec kDeleteBucketSpec{
    "delete_bucket",
    "Delete a bucket (the client's own when `bucket_name` is empty).",
    "bool",
    delete_bucket,
    {{"bucket_name", Kind::Str, "str", pyutil::text("")}},
};

const pyutil::MethodSpec kBucketExistsSpec{
    "bucket_exists",
    "Whether a bucket (the client's own when `bucket_name` is empty) answers HEAD with 200.",
    "bool",
    bucket_exists,
    {{"bucket_name", Kind::Str, "str", pyutil::text("")}},
};

const pyutil::MethodSpec kListBucketsSpec{
    "list_buckets",
    "The account's buckets: [{'name', 'creation_date'}, ...].",
    "List[Dict]",
    list_buckets,
    {},
};

const pyutil::MethodSpec kCopyObjectSpec{
    "copy_object",
    "Copy `src_key` of `src_bucket` (the client's own when empty) to `dest_key` of the client's\n"
    "bucket on the service side. Returns True; raises on failure.",
    "bool",
    copy_object,
    {
        {"src_key", Kind::Str, "str"},
        {"dest_key", Kind::Str, "str"},
        {"src_bucket", Kind::Str, "str", pyutil::text("")},
        kHeadersParam,
        kTimeoutParam,
    },
};

const pyutil::MethodSpec kGetBucketStatsSpec{
    "get_bucket_stats",
    "Object count and total size of the bucket: {'object_count', 'total_size'} (walks every object).",
    "Dict",
    get_bucket_stats,
    {},
};

const pyutil::MethodSpec kDeleteObjectsSpec{
    "delete_objects",
    "Delete `keys` in batches of 1000: {'deleted': [keys], 'errors': [{'key', 'code', 'message'}]}.",
    "Dict",
    delete_objects,
    {{"keys", Kind::List, "List[str]"}, kTimeoutParam},
};

const pyutil::MethodSpec kDeleteByPrefixSpec{
    "delete_by_prefix",
    "Delete every object whose key begins with `prefix`; returns how many were reported deleted.",
    "int",
    delete_by_prefix,
    {{"prefix", Kind::Str, "str"}, kTimeoutParam},
};

const std::vector<pyutil::Member> kMembers = {
    {&kInit},
    {&kGetAwsEndpointSpec},
    {&kSignRequestSpec},
    {&kSignRequestV2Spec},
    {&kPresignUrlSpec},
    {&kRequestSpec},
    {&kGetPathUrlSpec},
    {&kGetSharedUrlSpec},
    {&kUploadSpec},
    {&kDownloadSpec},
    {&kHeadSpec},
    {&kDeleteSpec},
    {&kListSpec},
    {&kInitiateMultipartSpec},
    {&kUploadPartSpec},
    {&kFinishMultipartSpec},
    {&kAbortMultipartSpec},
    {&kMultipartDownloadSpec},
    {&kBucketRequestSpec},
    {&kCreateBucketSpec},
    {&kDeleteBucketSpec},
    {&kBucketExistsSpec},
    {&kListBucketsSpec},
    {&kCopyObjectSpec},
    {&kGetBucketStatsSpec},
    {&kDeleteObjectsSpec},
    {&kDeleteByPrefixSpec},
};

constexpr const char* kClassDoc =
    "Client of the Amazon S3 REST interface, signed with AWS Signature Version 4 or 2.\n\n"
    "Works with any service that accepts that interface at an endpoint of its own. Requests are\n"
    "sent synchronously through an httpx client; object-level operations return the raw response,\n"
    "listings return plain records, and composite operations raise on failure.";

void exec_dravik(PyObject* module) {
    Py_XSETREF(g_parse_error_type, pyutil::import_attr("xml.etree.ElementTree", "ParseError").release());
    Py_XSETREF(g_os, pyutil::import_module("os").release());
    Py_XSETREF(g_os_path, pyutil::import_module("os.path").release());
    Py_XSETREF(g_open, pyutil::import_attr("io", "open").release());
    Ref httpx = pyutil::import_module("httpx");
    Ref base_module = pyutil::import_sibling(module, "base");
    Ref base = pyutil::import_from(base_module.get(), "BaseStorageClient");
    pyutil::bind(module, "httpx", httpx.get());
    pyutil::bind(module, "BaseStorageClient", base.get());
    Ref cls = pyutil::make_class(module, "DravikClient", kClassDoc, base.get(), kMembers);
    pyutil::bind(module, "DravikClient", cls.get());
}

}  // namespace

CORVAULT_MODULE(dravik, "Client of the Amazon S3 REST interface and compatible services.", exec_dravik)
