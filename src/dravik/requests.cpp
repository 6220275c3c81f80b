// The request primitives: a signed request on an object and one on a bucket as a whole.
#include <string>

#include "core/s3_url.hpp"
#include "core/url.hpp"
#include "core/utc_time.hpp"
#include "kit/answers.hpp"
#include "kit/send_request.hpp"
#include "pyutil/call.hpp"
#include "pyutil/clock.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

#include "dravik/shared.hpp"

namespace dravik {

const Name kPayloadHash{"payload_hash"};

// Adds, when absent, the entries the selected signature version signs besides Host: "Date" for
// Version 2; "x-amz-date" and "x-amz-content-sha256" (as "UNSIGNED-PAYLOAD") for Version 4.
// Returns the caller's own x-amz-content-sha256 value, which the Version 4 signature must then
// cover as its payload hash; empty when there is none and the signer's default applies.
Ref add_signing_headers(PyObject* headers, bool version2) {
    if (version2) {
        if (!pyutil::has_key(headers, header::kDate) && !pyutil::has_key_lower(headers, "date")) {
            Ref date = pyutil::to_str(core::format_rfc1123(pyutil::utc_now()));
            pyutil::set_item(headers, header::kDate, date.get());
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
    if (bucket != nullptr) sign.kw(kw::kBucket, bucket);
    if (payload_hash != nullptr && !version2) sign.kw(kPayloadHash, payload_hash);
    Ref authorization = sign.method(self, version2 ? kSignRequestV2Op : kSignRequestOp);
    pyutil::set_item(headers, header::kAuthorization, authorization.get());
}

bool non_empty_dict(PyObject* value) { return PyDict_Check(value) && PyDict_GET_SIZE(value) > 0; }

Ref send_object_request(Args& a) {
    enum { Method, Key, QueryParams };
    PyObject* self = a.self();
    Keep keep;
    Ref kwargs = a.kwargs() ? Ref::borrow(a.kwargs()) : check(PyDict_New());
    Ref headers = kit::take_headers(kwargs.get());

    const bool virtual_style = pyutil::attr_is(self, kAddressingStyle, kVirtual);
    const core::s3::Target target =
        core::s3::object_target(pyutil::text_attr(self, attr::kEndpoint, keep),
                                pyutil::text_attr(self, attr::kBucket, keep), virtual_style, a.str(Key));
    if (!pyutil::has_key(headers.get(), header::kHost) && !pyutil::has_key_lower(headers.get(), "host")) {
        pyutil::set_item(headers.get(), header::kHost, pyutil::to_str(target.host).get());
    }
    const bool version2 = pyutil::attr_is(self, kSignatureVersion, kVersion2);
    Ref callers_payload_hash = add_signing_headers(headers.get(), version2);
    authorize(self, version2, a[Method], a[Key], headers.get(), a[QueryParams], nullptr, callers_payload_hash.get());

    // The query travels in the URL, encoded as it was signed: httpx's own encoding of `params`
    // writes a blank as "+", which servers that check the query as received refuse.
    // A caller who passes `params` of its own has them sent as given, in place of the signed
    // query: the keyword is the caller's, as it would be in a call of httpx itself, and it is then
    // the caller's to keep `params` equal to the `query_params` the signature covers.
    std::string url_text = target.url;
    const int own_params = check(PyDict_Contains(kwargs.get(), kw::kParams));
    if (non_empty_dict(a[QueryParams]) && !own_params)
        core::append_query(url_text, pyutil::query_pairs(a[QueryParams]));
    return kit::send_request(self, a[Method], url_text, headers.get(), kwargs.get());
}

const pyutil::MethodSpec kRequestSpec{
    "_request",
    "Send a signed request on the object `key` and return the httpx response unchanged.\n\n"
    "A `headers` keyword is completed in place (Host, date headers, Authorization); the other\n"
    "keywords go to the HTTP client's request().\n\n" CORVAULT_SEND_REQUEST_DOC,
    "httpx.Response",
    send_object_request,
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
    return check(PyObject_GetAttr(self, attr::kBucket));
}

// The same, when its text is needed here. The argument is always text, so only the client's own
// bucket can fail the test, and the error names that attribute.
Ref target_bucket_text(PyObject* self, PyObject* bucket_name) {
    Ref bucket = target_bucket(self, bucket_name);
    if (!PyUnicode_Check(bucket.get())) pyutil::raise_attr_not_text(attr::kBucket, bucket.get());
    return bucket;
}

Ref send_bucket_request(Args& a) {
    enum { Method, BucketName, QueryParams, Data, Headers, Timeout };
    PyObject* self = a.self();
    Keep keep;
    Ref bucket = target_bucket_text(self, a[BucketName]);
    const bool virtual_style = pyutil::attr_is(self, kAddressingStyle, kVirtual);
    const core::s3::Target target = core::s3::bucket_target(pyutil::text_attr(self, attr::kEndpoint, keep),
                                                            pyutil::utf8(bucket.get()), virtual_style);

    Ref headers = pyutil::copy_headers(a[Headers]);
    pyutil::set_item(headers.get(), header::kHost, pyutil::to_str(target.host).get());
    const bool version2 = pyutil::attr_is(self, kSignatureVersion, kVersion2);
    Ref callers_payload_hash = add_signing_headers(headers.get(), version2);
    Ref empty_key = pyutil::to_str("");
    authorize(self, version2, a[Method], empty_key.get(), headers.get(), a[QueryParams], bucket.get(),
              callers_payload_hash.get());

    std::string url_text = target.url;
    if (non_empty_dict(a[QueryParams])) core::append_query(url_text, pyutil::query_pairs(a[QueryParams]));
    Ref url = pyutil::to_str(url_text);
    pyutil::Call send;
    send.arg(a[Method]).arg(url.get()).kw(kw::kHeaders, headers.get()).kw(kw::kContent, a[Data]);
    Ref timeout = kit::effective_timeout(self, a[Timeout]);
    if (timeout) send.kw(kw::kTimeout, timeout.get());
    Ref client = check(PyObject_GetAttr(self, attr::kClient));
    return send.method(client.get(), httpx::kRequest);
}

const pyutil::MethodSpec kBucketRequestSpec{
    "_bucket_request",
    "Send a signed request on a bucket as a whole (the client's own when `bucket_name` is\n"
    "empty) and return the httpx response unchanged. `headers` is copied, never changed.",
    "httpx.Response",
    send_bucket_request,
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
