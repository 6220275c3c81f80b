// The Authorization values of AWS Signature Version 4 (header form) and Version 2.
#include <string>
#include <vector>

#include "core/sigv2.hpp"
#include "core/sigv4.hpp"
#include "core/url.hpp"
#include "core/utc_time.hpp"
#include "pyutil/call.hpp"
#include "pyutil/clock.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

#include "dravik/shared.hpp"

namespace dravik {

// An entry of a dict looked up under exactly `name`; NULL when absent.
PyObject* exact_entry(PyObject* headers, PyObject* name) {
    PyObject* value = PyDict_GetItemWithError(headers, name);
    if (value == nullptr && PyErr_Occurred()) throw pyutil::Error{};
    return value;
}

bool truthy(PyObject* value) { return value != nullptr && check(PyObject_IsTrue(value)) == 1; }

// str(value) as UTF-8, kept alive by `keep`.
std::string_view text_form(PyObject* value, Keep& keep) { return keep.text(check(PyObject_Str(value))); }

// The bucket a signature names: the `bucket` argument when given, else the client's own.
std::string_view signing_bucket(PyObject* self, PyObject* bucket_arg, Keep& keep) {
    if (PyUnicode_GET_LENGTH(bucket_arg) > 0) return pyutil::utf8(bucket_arg);
    return pyutil::text_attr(self, attr::kBucket, keep);
}

Ref sign_request(Args& a) {
    enum { Method, Key, Headers, QueryParams, PayloadHash, ServiceLevel, BucketArg };
    PyObject* self = a.self();
    // Read from copies: the caller code reading runs may change the originals meanwhile.
    const Ref headers_read = pyutil::snapshot(a[Headers]), query_read = pyutil::snapshot(a[QueryParams]);
    PyObject* headers = headers_read.get();
    Keep keep;
    const core::UtcTime now = pyutil::utc_now();

    const core::sigv4::Scheme& scheme = core::sigv4::kS3;
    std::string canonical_uri = "/";
    if (!a.flag(ServiceLevel)) {
        const bool virtual_style = pyutil::attr_is(self, kAddressingStyle, kVirtual);
        std::string_view bucket = virtual_style ? std::string_view() : signing_bucket(self, a[BucketArg], keep);
        canonical_uri = core::sigv4::canonical_uri(scheme, virtual_style, bucket, a.str(Key));
    }

    core::sigv4::HeaderSigning request;
    request.query = pyutil::query_pairs(query_read.get());
    request.headers.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(headers)) + 1);
    std::string fallback_host;
    bool has_host = false;
    // The request time is the caller's x-amz-date entry when it is set, in whatever letter case
    // (httpx sends the one written), "x-amz-date" first; it also fixes the date of the
    // credential scope when it has the basic ISO 8601 form.
    pyutil::SpelledHeader given_date("x-amz-date", {"x-amz-date"}, pyutil::SpelledHeader::Values::TextOnly);
    Py_ssize_t pos = 0;
    PyObject *name, *value;
    while (PyDict_Next(headers, &pos, &name, &value)) {
        std::string_view lowered = pyutil::lowered_name(name, keep);
        given_date.offer(name, lowered, value);
        if (!core::sigv4::signs_header(scheme, lowered)) continue;
        has_host = has_host || lowered == "host";
        request.headers.emplace_back(lowered, pyutil::signed_value(value, keep));
    }
    if (!has_host) {
        fallback_host = core::strip_scheme_markers(pyutil::text_attr(self, attr::kEndpoint, keep));
        request.headers.emplace_back("host", fallback_host);
    }

    std::string now_text;
    std::string_view amz_date = given_date.text(keep);
    if (amz_date.empty()) amz_date = now_text = core::format_amz_date(now);
    std::string date_stamp;
    if (std::size_t t = amz_date.find('T'); t != std::string_view::npos) {
        date_stamp = std::string(amz_date.substr(0, t));
    } else {
        date_stamp = core::format_date_stamp(now);
    }

    request.method = a.str(Method);
    request.canonical_uri = canonical_uri;
    request.payload_hash = a.str(PayloadHash);
    request.request_time = amz_date;
    request.scope = {date_stamp, pyutil::text_attr(self, attr::kRegion, keep), core::sigv4::kS3Service};
    request.credentials = {pyutil::text_attr(self, attr::kAccessKey, keep),
                           pyutil::text_attr(self, attr::kSecretKey, keep)};
    return pyutil::to_str(core::sigv4::authorization(scheme, request));
}

const pyutil::MethodSpec kSignRequestSpec{
    "_sign_request",
    "The AWS Signature Version 4 Authorization value of a request (header form).\n\n"
    "Signs the Host, Content-Type, Content-MD5 and x-amz-* entries of `headers` (read, never\n"
    "changed); an x-amz-date entry, in any letter case (\"x-amz-date\" first), sets the request\n"
    "time. `service_level` signs the service root; `bucket` overrides the client's bucket in the\n"
    "canonical path.",
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

Ref sign_request_v2(Args& a) {
    enum { Method, Key, Headers, QueryParams, ServiceLevel, BucketArg };
    PyObject* self = a.self();
    // Read from copies: the caller code reading runs may change the originals meanwhile.
    const Ref headers_read = pyutil::snapshot(a[Headers]), query_read = pyutil::snapshot(a[QueryParams]);
    PyObject* headers = headers_read.get();
    Keep keep;
    const core::sigv2::Scheme& scheme = core::sigv2::kS3;
    core::sigv2::Request request;

    // The service signs the bucket in the resource whatever the addressing style.
    std::string path = "/";
    if (!a.flag(ServiceLevel))
        path = core::sigv2::resource_path(scheme, signing_bucket(self, a[BucketArg], keep), a.str(Key));
    std::vector<core::sigv2::SubResource> sub_resources;
    PyObject* query = query_read.get();
    Py_ssize_t pos = 0;
    PyObject *name, *value;
    while (query != Py_None && PyDict_Next(query, &pos, &name, &value)) {
        if (!PyUnicode_Check(name) || !core::sigv2::is_sub_resource(scheme, pyutil::utf8(name))) continue;
        sub_resources.emplace_back(pyutil::utf8(name), truthy(value) ? text_form(value, keep) : std::string_view());
    }
    request.resource = core::sigv2::canonical_resource(path, std::move(sub_resources));

    // The three slots are read in whatever letter case the caller wrote their names (httpx sends
    // the one written), the usual spelling first; values are written as text.
    using Values = pyutil::SpelledHeader::Values;
    pyutil::SpelledHeader content_md5("content-md5", {"Content-MD5"}, Values::Any);
    pyutil::SpelledHeader content_type("content-type", {"Content-Type"}, Values::Any);
    pyutil::SpelledHeader date("date", {"Date"}, Values::Any);
    std::vector<core::sigv2::VendorHeader> vendor;
    pos = 0;
    while (PyDict_Next(headers, &pos, &name, &value)) {
        std::string_view lowered = pyutil::lowered_name(name, keep);
        for (pyutil::SpelledHeader* slot : {&content_md5, &content_type, &date}) slot->offer(name, lowered, value);
        if (!core::sigv2::is_vendor_header(scheme, lowered)) continue;
        vendor.emplace_back(lowered, pyutil::signed_value(value, keep));
    }
    request.vendor_headers = core::sigv2::canonical_vendor_headers(scheme, std::move(vendor));

    // With no non-empty entry, the one of the usual spelling still counts, as str() writes it.
    auto entry = [&](const pyutil::SpelledHeader& slot, PyObject* usual) {
        return slot.value() ? slot.value() : exact_entry(headers, usual);
    };
    // A bytes value is refused: httpx sends its bytes, str() would sign its repr.
    auto text = [&](PyObject* name, PyObject* value) {
        return value ? keep.text(pyutil::str_of_value(name, value)) : std::string_view();
    };
    PyObject* date_entry = entry(date, header::kDate);
    PyObject* date_name = header::kDate;
    if (!truthy(date_entry)) {
        date_entry = exact_entry(headers, kAmzDateHeader);
        date_name = kAmzDateHeader;
    }
    request.method = a.str(Method);
    request.content_md5 = text(header::kContentMd5, entry(content_md5, header::kContentMd5));
    request.content_type = text(header::kContentType, entry(content_type, header::kContentType));
    request.date = text(date_name, date_entry);
    return pyutil::to_str(core::sigv2::authorization(scheme, pyutil::text_attr(self, attr::kAccessKey, keep),
                                                     pyutil::text_attr(self, attr::kSecretKey, keep), request));
}

const pyutil::MethodSpec kSignRequestV2Spec{
    "_sign_request_v2",
    "The AWS Signature Version 2 Authorization value of a request: \"AWS key:signature\".\n\n"
    "Content-MD5, Content-Type and Date are read in any letter case, that spelling first; the\n"
    "request time comes from the Date entry of `headers` (else the \"x-amz-date\" entry).",
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

}  // namespace dravik
