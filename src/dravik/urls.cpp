// Object URLs: the unsigned one handed to users and the Version 4 pre-signed one.
#include <string>

#include "core/s3_url.hpp"
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

const Name kPresignUrlOp{"_presign_url"};
const Name kExpires{"expires"};

std::string public_url(PyObject* self, std::string_view key, Keep& keep) {
    core::s3::PublicUrlBase base{};
    base.custom_domain = pyutil::attr_truth(self, kCustomDomain);
    base.virtual_style = !base.custom_domain && pyutil::attr_is(self, kAddressingStyle, kVirtual);
    if (base.custom_domain) {
        base.domain_url = pyutil::text_attr(self, attr::kDomainUrl, keep);
    } else {
        base.endpoint = pyutil::text_attr(self, attr::kEndpoint, keep);
        base.bucket = pyutil::text_attr(self, attr::kBucket, keep);
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
    request.scope = {date_stamp, pyutil::text_attr(self, attr::kRegion, keep), core::sigv4::kS3Service};
    request.credentials = {pyutil::text_attr(self, attr::kAccessKey, keep),
                           pyutil::text_attr(self, attr::kSecretKey, keep)};
    return pyutil::to_str(core::sigv4::presigned_url(request));
}

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

Ref get_path_url(Args& a) {
    enum { Key };
    Keep keep;
    return pyutil::to_str(public_url(a.self(), a.str(Key), keep));
}

const pyutil::MethodSpec kGetPathUrlSpec{
    "get_path_url",
    "The unsigned URL of the object `key` (on the custom domain when there is one).",
    "str",
    get_path_url,
    {
        {"key", Kind::Str, "str"},
    },
};

Ref get_shared_url(Args& a) {
    enum { Key, ExpireTime };
    return pyutil::Call().arg(verb::kGet).arg(a[Key]).kw(kExpires, a[ExpireTime]).method(a.self(), kPresignUrlOp);
}

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

}  // namespace dravik
