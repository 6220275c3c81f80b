// corvault.dravik: DravikClient, the client of the Amazon S3 REST interface and of the services
// that accept it at an endpoint of their own.
#include "core/s3_url.hpp"
#include "core/sigv2.hpp"
#include "core/sigv4.hpp"
#include "core/url.hpp"
#include "core/utc_time.hpp"
#include "pyutil/call.hpp"
#include "pyutil/clock.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/module.hpp"
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

// The bucket a signature names: the `bucket` argument when given, else the client's own.
std::string_view signing_bucket(PyObject* self, PyObject* bucket_arg, Keep& keep) {
    if (PyUnicode_GET_LENGTH(bucket_arg) > 0) return pyutil::utf8(bucket_arg);
    return pyutil::text_attr(self, kBucket, keep);
}

Ref sign_request(Args& a) {
    enum { Method, Key, Headers, QueryParams, PayloadHash, ServiceLevel, BucketArg };
    PyObject* self = a.self();
    PyObject* headers = a[Headers];
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
    request.query = pyutil::query_pairs(a[QueryParams]);
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
    PyObject* headers = a[Headers];
    Keep keep;
    core::sigv2::Signing request;

    // The service signs the bucket in the resource whatever the addressing style.
    std::string path = "/";
    if (!a.flag(ServiceLevel)) path = core::s3::canonical_path(false, false, signing_bucket(self, a[BucketArg], keep), a.str(Key));
    std::vector<core::sigv2::SubResource> sub_resources;
    PyObject* query = a[QueryParams];
    Py_ssize_t pos = 0;
    PyObject *name, *value;
    while (query != Py_None && PyDict_Next(query, &pos, &name, &value)) {
        if (!PyUnicode_Check(name) || !core::sigv2::is_sub_resource(pyutil::utf8(name))) continue;
        Ref text;
        std::string_view shown = truthy(value) ? pyutil::str_of(value, text) : std::string_view();
        if (text) keep.text(std::move(text));
        sub_resources.emplace_back(pyutil::utf8(name), shown);
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
    auto slot = [&](PyObject* entry) -> std::string_view {
        if (entry == nullptr) return {};
        Ref text;
        std::string_view view = pyutil::str_of(entry, text);
        keep.text(std::move(text));
        return view;
    };
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

    core::sigv4::QuerySigning request;
    request.method = a.str(Method);
    request.url = url;
    request.host = parts.netloc;
    request.canonical_uri = parts.path;
    Ref expires_text;
    request.expires = pyutil::str_of(a[Expires], expires_text);
    // The five X-Amz- names are text, so a name of bytes could not be sorted among them.
    request.extra = pyutil::query_pairs(a[QueryParams], true);
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

    if (non_empty_dict(a[QueryParams]) && !PyDict_Contains(kwargs.get(), kParams)) {
        check(PyDict_SetItem(kwargs.get(), kParams, a[QueryParams]));
    }
    PyObject* timeout = PyDict_GetItemWithError(kwargs.get(), kTimeout);
    if (timeout == nullptr && PyErr_Occurred()) throw pyutil::Error{};
    if (timeout == nullptr || timeout == Py_None) {
        Ref fallback = check(PyObject_GetAttr(self, kDefaultTimeout));
        if (fallback.get() != Py_None) check(PyDict_SetItem(kwargs.get(), kTimeout, fallback.get()));
    }

    Ref client = check(PyObject_GetAttr(self, kClient));
    Ref url = pyutil::to_str(target.url);
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

Ref bucket_request(Args& a) {
    enum { Method, BucketName, QueryParams, Data, Headers, Timeout };
    PyObject* self = a.self();
    Keep keep;
    Ref bucket = PyUnicode_GET_LENGTH(a[BucketName]) > 0 ? Ref::borrow(a[BucketName])
                                                         : check(PyObject_GetAttr(self, kBucket));
    if (!PyUnicode_Check(bucket.get())) pyutil::text_attr(self, kBucket, keep);  // names the bad attribute
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

    Ref url = pyutil::to_str(target.url);
    pyutil::Call send;
    send.arg(a[Method]).arg(url.get()).kw(kHeaders, headers.get()).kw(kContent, a[Data]);
    if (non_empty_dict(a[QueryParams])) send.kw(kParams, a[QueryParams]);
    Ref fallback;
    if (!a.is_none(Timeout)) {
        send.kw(kTimeout, a[Timeout]);
    } else if (fallback = check(PyObject_GetAttr(self, kDefaultTimeout)); fallback.get() != Py_None) {
        send.kw(kTimeout, fallback.get());
    }
    Ref client = check(PyObject_GetAttr(self, kClient));
    return send.method(client.get(), kRequest);
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

const std::vector<pyutil::Member> kMembers = {
    {&kInit},
    {&kGetAwsEndpointSpec},
    {&kSignRequestSpec},
    {&kSignRequestV2Spec},
    {&kPresignUrlSpec},
    {&kRequestSpec},
    {&kGetPathUrlSpec},
    {&kGetSharedUrlSpec},
    {&kBucketRequestSpec},
};

constexpr const char* kClassDoc =
    "Client of the Amazon S3 REST interface, signed with AWS Signature Version 4 or 2.\n\n"
    "Works with any service that accepts that interface at an endpoint of its own. Requests are\n"
    "sent synchronously through an httpx client; object-level operations return the raw response,\n"
    "listings return plain records, and composite operations raise on failure.";

void exec_dravik(PyObject* module) {
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
