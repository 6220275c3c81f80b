// PeloraFileClient construction: the endpoints of the bucket, the custom domain, and the HTTP
// client built from the shared configuration.
#include <string>

#include "core/url.hpp"
#include "kit/answers.hpp"
#include "pyutil/call.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

// The service's domain of bucket hosts; the internal network's hosts carry a prefix on the region.
constexpr std::string_view kDomainSuffix = ".ufileos.com";
constexpr std::string_view kInternalPrefix = "internal-";

Ref endpoint_url(std::string_view scheme, std::string_view bucket, std::string_view region, bool internal) {
    std::string url(scheme);
    url.append("://").append(bucket).append(".");
    if (internal) url.append(kInternalPrefix);
    url.append(region).append(kDomainSuffix);
    return pyutil::to_str(url);
}

}  // namespace

bool truthy(PyObject* value) { return value != nullptr && check(PyObject_IsTrue(value)) == 1; }

Ref init(Args& a) {
    enum { PublicKey, PrivateKey, BucketArg, Region, Internal, DomainUrl, Timeout, HttpClient, Scheme, Verify };
    PyObject* self = a.self();
    // Compared as code points: a scheme that is no UTF-8 text is a wrong scheme like any other.
    if (PyUnicode_CompareWithASCIIString(a[Scheme], "http") != 0 &&
        PyUnicode_CompareWithASCIIString(a[Scheme], "https") != 0) {
        Ref shown = check(PyObject_Repr(a[Scheme]));
        pyutil::raise_format(PyExc_ValueError, "%s%U", "scheme 只能为 'http' 或 'https'，当前: ", shown.get());
    }
    set_attr(self, kPublicKey, a[PublicKey]);
    set_attr(self, kPrivateKey, a[PrivateKey]);
    set_attr(self, attr::kBucket, a[BucketArg]);
    set_attr(self, attr::kRegion, a[Region]);
    set_attr(self, kInternal, a[Internal]);
    set_attr(self, attr::kDefaultTimeout, a[Timeout]);

    const std::string_view scheme = a.str(Scheme);
    const std::string_view bucket = a.str(BucketArg), region = a.str(Region);
    Ref external = endpoint_url(scheme, bucket, region, false);
    Ref intranet = endpoint_url(scheme, bucket, region, true);
    set_attr(self, kExternalUrl, external.get());
    set_attr(self, kIntranetUrl, intranet.get());
    PyObject* native = a.flag(Internal) ? intranet.get() : external.get();
    set_attr(self, kHost, native);
    set_attr(self, kApiHost, native);

    set_attr(self, kCustomDomain, a.is_none(DomainUrl) ? Py_False : Py_True);
    Ref domain_url = Ref::borrow(native);
    if (!a.is_none(DomainUrl) && PyUnicode_GET_LENGTH(a[DomainUrl]) > 0) {
        domain_url = pyutil::to_str(corvault::core::strip_trailing_slashes(a.str(DomainUrl)));
    }
    set_attr(self, attr::kDomainUrl, domain_url.get());

    // Uploads may go through the custom domain (a content-delivery front, say); every other
    // request keeps the bucket's own endpoint, which alone answers listings and ranged reads.
    PyObject* domain_upload = a.kwargs() ? PyDict_GetItemWithError(a.kwargs(), kIsDomainUpload) : nullptr;
    if (domain_upload == nullptr && PyErr_Occurred()) throw pyutil::Error{};
    if (truthy(domain_upload) && !a.flag(Internal)) set_attr(self, kHost, domain_url.get());

    Ref client = Ref::borrow(a[HttpClient]);
    if (a.is_none(HttpClient)) {
        // The setting is written into the shared mapping itself, so that every client built from
        // it later in the process gets the same verification.
        PyObject* config = a.global(kHttpClientConfig);
        Ref setting = kit::record({{&kVerify, a[Verify]}});
        Ref updated = pyutil::Call().arg(setting.get()).method(config, kUpdate);
        Ref client_type = check(PyObject_GetAttr(a.global(httpx::kModule), httpx::kClientType));
        Ref no_args = check(PyTuple_New(0));
        Ref keywords = PyDict_CheckExact(config) ? Ref::borrow(config) : check(PyDict_New());
        if (keywords.get() != config) check(PyDict_Merge(keywords.get(), config, 1));
        client = check(PyObject_Call(client_type.get(), no_args.get(), keywords.get()));
    }
    set_attr(self, attr::kClient, client.get());
    return Ref::borrow(Py_None);
}

const pyutil::MethodSpec kInit{
    "__init__",
    "Create a client for one bucket of the region `region`.\n\n"
    "Requests go to the bucket's public endpoint, or its internal-network one when `internal` is\n"
    "true, over `scheme` (\"http\" or \"https\"). `domain_url` is the base of the URLs handed to\n"
    "users; with the keyword `is_domain_upload` true (and `internal` false) uploads go there too.\n"
    "Without `http_client`, one is built from corvault.config.HTTP_CLIENT_CONFIG after `verify`\n"
    "(False by default) has been written into that shared mapping."
    "\n\n" CORVAULT_CONSTRUCTOR_TIMEOUT_DOC,
    "None",
    init,
    {
        {"public_key", Kind::Str, "str"},
        {"private_key", Kind::Str, "str"},
        {"bucket", Kind::Str, "str"},
        {"region", Kind::Str, "str", pyutil::text("cn-wlcb")},
        {"internal", Kind::Bool, "bool", pyutil::boolean(false)},
        {"domain_url", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"timeout", Kind::Any, kTimeoutType, pyutil::none()},
        {"http_client", Kind::Any, "Optional[httpx.Client]", pyutil::none()},
        {"scheme", Kind::Str, "str", pyutil::text("https")},
        {"verify", Kind::Bool, "bool", pyutil::boolean(false)},
    },
    true,
};

}  // namespace pelora
