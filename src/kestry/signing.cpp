// OSS Version 4 header signing: the Authorization value of one request. The steps are the
// Signature Version 4 pipeline of the core with the OSS scheme; what is read here is which date,
// region, headers and query the request signs.
#include <string>
#include <vector>

#include "core/oss_url.hpp"
#include "core/sigv4.hpp"
#include "core/utc_time.hpp"
#include "pyutil/clock.hpp"
#include "pyutil/text.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

// A header name lower-cased as str.lower() does (AttributeError for a name that is not text).
std::string_view lowered_name(PyObject* name, Keep& keep) {
    Ref low = pyutil::lower(name);
    if (!PyUnicode_Check(low.get())) {
        pyutil::raise_format(PyExc_TypeError, "lower() returned %.200s, not str", Py_TYPE(low.get())->tp_name);
    }
    return keep.text(std::move(low));
}

// A header value to sign: text as it is (the core trims it); anything else through its strip(),
// which fails for values that are not text as a Python caller's own code would.
std::string_view header_value(PyObject* value, Keep& keep) {
    if (PyUnicode_Check(value)) return keep.text(Ref::borrow(value));
    Ref stripped = pyutil::strip(value);
    if (!PyUnicode_Check(stripped.get())) {
        pyutil::raise_format(PyExc_TypeError, "strip() returned %.200s, not str", Py_TYPE(stripped.get())->tp_name);
    }
    return keep.text(std::move(stripped));
}

Ref sign_request(Args& a) {
    enum { Method, Key, Headers, QueryParams };
    PyObject* self = a.self();
    Keep keep;
    // The entries are taken once, with references of our own: the names' lower() and the values'
    // strip() and truth tests are caller code that may change the mapping while we read it.
    Ref items = check(PyDict_Items(a[Headers]));

    core::sigv4::HeaderSigning request;
    std::string_view date;
    request.headers.reserve(static_cast<std::size_t>(PyList_GET_SIZE(items.get())));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
        PyObject* item = PyList_GET_ITEM(items.get(), i);
        PyObject* name = PyTuple_GET_ITEM(item, 0);
        PyObject* value = PyTuple_GET_ITEM(item, 1);
        const std::string_view lowered = lowered_name(name, keep);
        // The request date is the date header's, in whatever letter case the caller wrote its
        // name: the header line carries that date, so the signature must too.
        if (date.empty() && lowered == "x-oss-date" && check(PyObject_IsTrue(value))) {
            if (!PyUnicode_Check(value)) {
                pyutil::raise_format(PyExc_TypeError, "header '%U' must be str, not %.200s", name,
                                     Py_TYPE(value)->tp_name);
            }
            date = keep.text(Ref::borrow(value));
        }
        if (core::sigv4::signs_header(core::sigv4::kOss, lowered)) {
            request.headers.emplace_back(lowered, header_value(value, keep));
        }
    }
    std::string now;
    if (date.empty()) date = now = core::format_amz_date(pyutil::utc_now());
    const std::string_view date_stamp = date.substr(0, 8);

    Ref query = Ref::borrow(a[QueryParams]);
    if (query.get() != Py_None) query = check(PyDict_Copy(query.get()));  // values held while encoded
    const std::string_view bucket = pyutil::text_attr(self, kBucket, keep);
    const std::string region = core::oss::signing_region(pyutil::text_attr(self, kRegion, keep));
    const std::string uri = core::sigv4::canonical_uri(core::sigv4::kOss, true, bucket, a.str(Key));

    request.method = a.str(Method);
    request.canonical_uri = uri;
    request.query = pyutil::query_pairs(query.get());
    request.payload_hash = core::sigv4::kUnsignedPayload;
    request.request_time = date;
    request.scope = {date_stamp, region, core::sigv4::kOssService};
    request.credentials = {pyutil::text_attr(self, kAccessKeyId, keep), pyutil::text_attr(self, kAccessKeySecret, keep)};
    return pyutil::to_str(core::sigv4::authorization(core::sigv4::kOss, request));
}

}  // namespace

const pyutil::MethodSpec kSignRequestSpec{
    "_sign_request",
    "The OSS Version 4 Authorization value of a request (header form).\n\n"
    "Signs the Content-Type, Content-MD5 and x-oss-* entries of `headers` (read, never changed)\n"
    "and the query; an x-oss-date entry, in any letter case, sets the request time.",
    "str",
    sign_request,
    {
        {"method", Kind::Str, "str"},
        {"key", Kind::Str, "str"},
        {"headers", Kind::Dict, "Dict[str, str]"},
        {"query_params", Kind::OptDict, "Optional[Dict[str, str]]", pyutil::none()},
    },
};

}  // namespace kestry
