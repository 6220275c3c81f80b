// OSS Version 4 header signing: the Authorization value of one request. The steps are the
// Signature Version 4 pipeline of the core with the OSS scheme; what is read here is which date,
// region, headers and query the request signs.
#include <string>
#include <vector>

#include "core/oss_url.hpp"
#include "core/sigv4.hpp"
#include "core/utc_time.hpp"
#include "pyutil/clock.hpp"
#include "pyutil/headers.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

Ref sign_request(Args& a) {
    enum { Method, Key, Headers, QueryParams };
    PyObject* self = a.self();
    Keep keep;
    // Read from copies: the names' lower() and the values' strip() and truth tests are caller
    // code that may change the originals meanwhile.
    const Ref headers_read = pyutil::snapshot(a[Headers]), query_read = pyutil::snapshot(a[QueryParams]);

    core::sigv4::HeaderSigning request;
    request.headers.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(headers_read.get())));
    // The request date is the date header's, in whatever letter case the caller wrote its name:
    // the header line carries that date, so the signature must too. Of several non-empty
    // spellings, "x-oss-date" wins, then "X-Oss-Date", then the first other one.
    pyutil::SpelledHeader given_date("x-oss-date", {"x-oss-date", "X-Oss-Date"},
                                     pyutil::SpelledHeader::Values::TextOnly);
    Py_ssize_t pos = 0;
    PyObject *name, *value;
    while (PyDict_Next(headers_read.get(), &pos, &name, &value)) {
        const std::string_view lowered = pyutil::lowered_name(name, keep);
        given_date.offer(name, lowered, value);
        if (core::sigv4::signs_header(core::sigv4::kOss, lowered)) {
            request.headers.emplace_back(lowered, pyutil::signed_value(value, keep));
        }
    }
    std::string_view date = given_date.text(keep);
    std::string now;
    if (date.empty()) date = now = core::format_amz_date(pyutil::utc_now());
    const std::string_view date_stamp = date.substr(0, 8);

    const std::string_view bucket = pyutil::text_attr(self, attr::kBucket, keep);
    const std::string region = core::oss::signing_region(pyutil::text_attr(self, attr::kRegion, keep));
    const std::string uri = core::sigv4::canonical_uri(core::sigv4::kOss, true, bucket, a.str(Key));

    request.method = a.str(Method);
    request.canonical_uri = uri;
    request.query = pyutil::query_pairs(query_read.get());
    request.payload_hash = core::sigv4::kUnsignedPayload;
    request.request_time = date;
    request.scope = {date_stamp, region, core::sigv4::kOssService};
    request.credentials = {pyutil::text_attr(self, kAccessKeyId, keep),
                           pyutil::text_attr(self, kAccessKeySecret, keep)};
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
