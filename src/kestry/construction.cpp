// Construction: credentials, bucket and region, the bucket's public and internal-network
// endpoints, the custom domain of the URLs handed to users, the default time-out and the HTTP
// client.
#include "core/oss_url.hpp"
#include "core/url.hpp"
#include "kit/answers.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

Ref init(Args& a) {
    enum { AccessKeyId, AccessKeySecret, BucketArg, Region, Internal, DomainUrl, Timeout, HttpClient };
    PyObject* self = a.self();
    set_attr(self, kAccessKeyId, a[AccessKeyId]);
    set_attr(self, kAccessKeySecret, a[AccessKeySecret]);
    set_attr(self, attr::kBucket, a[BucketArg]);
    set_attr(self, attr::kRegion, a[Region]);
    set_attr(self, kInternal, a[Internal]);
    set_attr(self, attr::kDefaultTimeout, a[Timeout]);

    Ref external = pyutil::to_str(core::oss::endpoint_url(a.str(BucketArg), a.str(Region), false));
    Ref intranet = pyutil::to_str(core::oss::endpoint_url(a.str(BucketArg), a.str(Region), true));
    set_attr(self, kExternalUrl, external.get());
    set_attr(self, kIntranetUrl, intranet.get());
    PyObject* host = a.flag(Internal) ? intranet.get() : external.get();
    set_attr(self, kHost, host);

    // An empty domain still counts as given: share URLs then go to `host`, not the public endpoint.
    set_attr(self, kCustomDomain, a.is_none(DomainUrl) ? Py_False : Py_True);
    Ref domain_url = Ref::borrow(host);
    if (non_empty_text(a[DomainUrl])) domain_url = pyutil::to_str(core::strip_trailing_slashes(a.str(DomainUrl)));
    set_attr(self, attr::kDomainUrl, domain_url.get());

    set_attr(self, attr::kClient, kit::http_client(a, HttpClient).get());
    return Ref::borrow(Py_None);
}

}  // namespace

const pyutil::MethodSpec kInitSpec{
    "__init__",
    "Create a client for one bucket of the service.\n\n"
    "Requests go to the bucket's public endpoint, or to its internal-network endpoint when\n"
    "`internal` is true. `domain_url` serves only the URLs handed to users."
    "\n\n" CORVAULT_CONSTRUCTOR_TIMEOUT_DOC,
    "None",
    init,
    {
        {"access_key_id", Kind::Str, "str"},
        {"access_key_secret", Kind::Str, "str"},
        {"bucket", Kind::Str, "str"},
        {"region", Kind::Str, "str", pyutil::text("oss-cn-hangzhou")},
        {"internal", Kind::Bool, "bool", pyutil::boolean(false)},
        {"domain_url", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"timeout", Kind::Any, kTimeoutType, pyutil::none()},
        {"http_client", Kind::Any, "Optional[httpx.Client]", pyutil::none()},
    },
};

}  // namespace kestry
