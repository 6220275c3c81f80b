// The request primitive: every request on an object key (and on the bucket, with the empty key)
// is completed, signed and sent here, and its response returned unchanged.
#include <string>

#include "core/oss_url.hpp"
#include "core/url.hpp"
#include "core/utc_time.hpp"
#include "kit/send_request.hpp"
#include "pyutil/call.hpp"
#include "pyutil/clock.hpp"
#include "pyutil/headers.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

bool non_empty_dict(PyObject* value) { return PyDict_Check(value) && PyDict_GET_SIZE(value) > 0; }

// Host, payload hash and date, each only when the caller's mapping has none in any letter case.
void complete_headers(PyObject* self, PyObject* headers, Keep& keep) {
    if (!pyutil::has_key(headers, header::kHost) && !pyutil::has_key_lower(headers, "host")) {
        Ref host = pyutil::to_str(core::oss::endpoint_host(pyutil::text_attr(self, kHost, keep)));
        pyutil::set_item(headers, header::kHost, host.get());
    }
    if (!pyutil::has_key_lower(headers, "x-oss-content-sha256")) {
        pyutil::set_item(headers, kContentSha256Header, kUnsignedPayload);
    }
    if (!pyutil::has_key_lower(headers, "x-oss-date")) {
        Ref date = pyutil::to_str(core::format_amz_date(pyutil::utc_now()));
        pyutil::set_item(headers, kOssDateHeader, date.get());
    }
}

Ref request(Args& a) {
    enum { Method, Key, QueryParams };
    PyObject* self = a.self();
    Keep keep;
    Ref kwargs = a.kwargs() ? Ref::borrow(a.kwargs()) : check(PyDict_New());
    Ref headers = kit::take_headers(kwargs.get());
    // The URL is built before anything else runs, from the key and the host as they are now.
    std::string url_text = core::oss::request_url(pyutil::text_attr(self, kHost, keep), a.str(Key));

    complete_headers(self, headers.get(), keep);
    Ref authorization =
        pyutil::Call().arg(a[Method]).arg(a[Key]).arg(headers.get()).arg(a[QueryParams]).method(self, kSignRequestOp);
    pyutil::set_item(headers.get(), header::kAuthorization, authorization.get());

    // The query travels in the URL, encoded as it was signed: httpx's own encoding of `params`
    // writes a blank as "+", which the service reads as a plus sign. A caller's own `params`
    // keyword is sent as given instead, and it is then the caller's to keep it equal to the
    // `query_params` the signature covers.
    if (non_empty_dict(a[QueryParams]) && !check(PyDict_Contains(kwargs.get(), kw::kParams))) {
        const Ref query = pyutil::snapshot(a[QueryParams]);
        core::append_query(url_text, pyutil::query_pairs(query.get()));
    }
    return kit::send_request(self, a[Method], url_text, headers.get(), kwargs.get());
}

}  // namespace

const pyutil::MethodSpec kRequestSpec{
    "_request",
    "Send a signed request on the object `key` and return the httpx response unchanged.\n\n"
    "A `headers` keyword is completed in place (Host, x-oss-content-sha256, x-oss-date,\n"
    "Authorization); the other keywords go to the HTTP client's request().\n\n" CORVAULT_SEND_REQUEST_DOC,
    "httpx.Response",
    request,
    {
        {"method", Kind::Str, "str"},
        {"key", Kind::Str, "str"},
        {"query_params", Kind::OptDict, "Optional[Dict[str, str]]", pyutil::none()},
    },
    true,
};

}  // namespace kestry
