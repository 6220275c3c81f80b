// ZorbeckClient construction: a DravikClient with the region's endpoint, Version 4, virtual hosts.
#include <string>

#include "kit/answers.hpp"
#include "pyutil/call.hpp"

#include "zorbeck/shared.hpp"

namespace zorbeck {

const Name kInitMethod{"__init__"};
// The keywords of DravikClient.__init__ and the values this client fixes.
const Name kAccessKey{"access_key"};
const Name kSecretKey{"secret_key"};
const Name kBucket{"bucket"};
const Name kRegion{"region"};
const Name kEndpoint{"endpoint"};
const Name kDomainUrl{"domain_url"};
const Name kHttpClient{"http_client"};
const Name kSignatureVersion{"signature_version"};
const Name kAddressingStyle{"addressing_style"};
const Name kV4{"v4"};
const Name kVirtual{"virtual"};

Ref init(Args& a) {
    enum { SecretId, SecretKey, BucketArg, Region, DomainUrl, Timeout, HttpClient };
    PyObject* self = a.self();
    Ref endpoint = pyutil::to_str("https://cos." + std::string(a.str(Region)) + ".myqcloud.com");
    Ref parent =
        check(PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(&PySuper_Type), g_class, self, nullptr));
    Ref parent_init = check(PyObject_GetAttr(parent.get(), kInitMethod));
    pyutil::Call()
        .kw(kAccessKey, a[SecretId])
        .kw(kSecretKey, a[SecretKey])
        .kw(kBucket, a[BucketArg])
        .kw(kRegion, a[Region])
        .kw(kEndpoint, endpoint.get())
        .kw(kDomainUrl, a[DomainUrl])
        .kw(pyutil::kw::kTimeout, a[Timeout])
        .kw(kHttpClient, a[HttpClient])
        .kw(kSignatureVersion, kV4)
        .kw(kAddressingStyle, kVirtual)
        .call(parent_init.get());
    return Ref::borrow(Py_None);
}

const pyutil::MethodSpec kInit{
    "__init__",
    "Create a client for one bucket (its name ends in the application id) in `region`.\n\n"
    "Requests go to the region's endpoint, signed with Signature Version 4, in virtual-host\n"
    "style; `domain_url` serves only the object URLs handed to users."
    "\n\n" CORVAULT_CONSTRUCTOR_TIMEOUT_DOC,
    "None",
    init,
    {
        {"secret_id", Kind::Str, "str"},
        {"secret_key", Kind::Str, "str"},
        {"bucket", Kind::Str, "str"},
        {"region", Kind::Str, "str", pyutil::text("ap-guangzhou")},
        {"domain_url", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"timeout", Kind::Any, "Optional[Union[float, tuple]]", pyutil::none()},
        {"http_client", Kind::Any, "Optional[httpx.Client]", pyutil::none()},
    },
};

}  // namespace zorbeck
