// The constructor: credentials, bucket, the region's service hosts, the download domain and the
// HTTP client, fixed for the client's life. Nothing is sent.
#include "core/url.hpp"
#include "kit/answers.hpp"
#include "marvex/marvex.hpp"
#include "pyutil/call.hpp"

namespace marvex {
namespace {

const Name kInternal{"internal"};
const Name kRsHost{"_rs_host"};
const Name kUpHost{"_up_host"};
const Name kIoHost{"_io_host"};
const Name kRsUrl{"_rs_url"};
const Name kRsfUrl{"_rsf_url"};
const Name kRsEntry{"rs"};
const Name kUpEntry{"up"};
const Name kIoEntry{"io"};
const Name kRsfEntry{"rsf"};

Ref https_url(PyObject* host) { return check(PyUnicode_FromFormat("https://%S", host)); }

Ref init(Args& a) {
    enum { AccessKey, SecretKey, BucketArg, Region, Internal, DomainUrl, Timeout, HttpClient };
    PyObject* self = a.self();
    set_attr(self, attr::kAccessKey, a[AccessKey]);
    set_attr(self, attr::kSecretKey, a[SecretKey]);
    set_attr(self, attr::kBucket, a[BucketArg]);
    set_attr(self, attr::kRegion, a[Region]);
    set_attr(self, kInternal, a[Internal]);
    set_attr(self, attr::kDefaultTimeout, a[Timeout]);

    Ref entry = region_entry(a);
    Ref rs_host = check(PyObject_GetItem(entry.get(), kRsEntry));
    set_attr(self, kRsHost, rs_host.get());
    Ref up_host = check(PyObject_GetItem(entry.get(), kUpEntry));
    set_attr(self, kUpHost, up_host.get());
    Ref io_host = check(PyObject_GetItem(entry.get(), kIoEntry));
    set_attr(self, kIoHost, io_host.get());
    set_attr(self, kRsUrl, https_url(rs_host.get()).get());
    set_attr(self, kUpUrl, https_url(up_host.get()).get());

    const bool custom_domain = !a.is_none(DomainUrl) && PyUnicode_GET_LENGTH(a[DomainUrl]) > 0;
    set_attr(self, kCustomDomain, custom_domain ? Py_True : Py_False);
    if (custom_domain) {
        std::string_view domain = pyutil::utf8(a[DomainUrl]);
        std::string_view kept = corvault::core::strip_trailing_slashes(domain);
        Ref stripped = kept.size() == domain.size() ? Ref::borrow(a[DomainUrl]) : pyutil::to_str(kept);
        set_attr(self, attr::kDomainUrl, stripped.get());
    } else {
        set_attr(self, kCachedDomainUrl, Py_None);
        set_attr(self, attr::kDomainUrl, Py_None);
    }

    set_attr(self, attr::kClient, kit::http_client(a, HttpClient).get());

    // Listings are served by the region's listing host, not the management host. An entry
    // without one still makes a client; only `list` then refuses to guess a host.
    Ref rsf_host = get_or(entry.get(), kRsfEntry, Py_None);
    set_attr(self, kRsfUrl, rsf_host.get() == Py_None ? Py_None : https_url(rsf_host.get()).get());
    return Ref::borrow(Py_None);
}

}  // namespace

const pyutil::MethodSpec kInitSpec{
    "__init__",
    "Create a client for one bucket of a region (\"z0\", \"z1\", \"z2\", \"na0\" or \"as0\").\n\n"
    "The service hosts come from corvault.config.REGION_ENDPOINTS (an unknown region gets those\n"
    "of \"z0\"). `domain_url` is the bucket's custom download domain, with its scheme; without\n"
    "one the download domain is asked of the service on first use. `internal` is accepted and\n"
    "selects nothing."
    "\n\n" CORVAULT_CONSTRUCTOR_TIMEOUT_DOC,
    nullptr,
    init,
    {
        {"access_key", Kind::Str, "str"},
        {"secret_key", Kind::Str, "str"},
        {"bucket", Kind::Str, "str"},
        {"region", Kind::Str, "str", pyutil::text("z0")},
        {"internal", Kind::Bool, "bool", pyutil::boolean(false)},
        {"domain_url", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"timeout", Kind::Any, kTimeoutType, pyutil::none()},
        {"http_client", Kind::Any, "Optional[httpx.Client]", pyutil::none()},
    },
};

}  // namespace marvex
