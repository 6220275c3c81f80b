// The request primitives: a signed request on an object and one on a bucket as a whole.
#include <string>

#include "core/s3_url.hpp"
#include "core/url.hpp"
#include "core/utc_time.hpp"
#include "pyutil/clock.hpp"
#include "pyutil/call.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

#include "dravik/shared.hpp"

namespace dravik {

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

    Ref client = check(PyObject_GetAttr(self, kClient));
    Ref url = pyutil::to_str(url_text);
    return pyutil::Call().arg(a[Method]).arg(url.get()).kw(kHeaders, headers.get()).kwargs(kwargs.get())
        .method(client.get(), kRequest);
}

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

}  // namespace dravik
