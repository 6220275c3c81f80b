// DravikClient construction: the attributes, and the default endpoint of a region.
#include <string>

#include "core/url.hpp"
#include "kit/answers.hpp"
#include "pyutil/call.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

#include "dravik/shared.hpp"

namespace dravik {

const Name kInternal{"internal"};
const Name kGetAwsEndpointOp{"_get_aws_endpoint"};

// Non-empty text with its trailing "/" removed; NULL for None or the empty text.
Ref without_trailing_slashes(PyObject* value) {
    if (value == Py_None || PyUnicode_GET_LENGTH(value) == 0) return {};
    std::string_view text = pyutil::utf8(value);
    std::string_view kept = corvault::core::strip_trailing_slashes(text);
    return kept.size() == text.size() ? Ref::borrow(value) : pyutil::to_str(kept);
}

Ref init(Args& a) {
    enum {
        AccessKey,
        SecretKey,
        BucketArg,
        Region,
        Internal,
        Endpoint,
        DomainUrl,
        Timeout,
        HttpClient,
        SignatureVersion,
        AddressingStyle
    };
    PyObject* self = a.self();
    set_attr(self, attr::kAccessKey, a[AccessKey]);
    set_attr(self, attr::kSecretKey, a[SecretKey]);
    set_attr(self, attr::kBucket, a[BucketArg]);
    set_attr(self, attr::kRegion, a[Region]);
    set_attr(self, kInternal, a[Internal]);
    set_attr(self, attr::kDefaultTimeout, a[Timeout]);
    set_attr(self, kSignatureVersion, pyutil::lower(a[SignatureVersion]).get());
    set_attr(self, kAddressingStyle, pyutil::lower(a[AddressingStyle]).get());

    Ref endpoint = without_trailing_slashes(a[Endpoint]);
    if (!endpoint) endpoint = pyutil::Call().arg(a[Region]).arg(a[Internal]).method(self, kGetAwsEndpointOp);
    set_attr(self, attr::kEndpoint, endpoint.get());

    set_attr(self, kCustomDomain, a[DomainUrl] != Py_None ? Py_True : Py_False);
    Ref domain_url = without_trailing_slashes(a[DomainUrl]);
    if (!domain_url) domain_url = check(PyObject_GetAttr(self, attr::kEndpoint));
    set_attr(self, attr::kDomainUrl, domain_url.get());

    set_attr(self, attr::kClient, kit::http_client(a, HttpClient).get());
    return Ref::borrow(Py_None);
}

const pyutil::MethodSpec kInit{
    "__init__",
    "Create a client for one bucket.\n\n"
    "The endpoint defaults to the public S3 endpoint of `region`. `domain_url` serves only the\n"
    "object URLs handed to users; requests always go to the endpoint. `signature_version`\n"
    "\"dravik\" selects AWS Signature Version 2, any other value Version 4; `addressing_style`\n"
    "\"virtual\" puts the bucket into the host name, any other value into the path."
    "\n\n" CORVAULT_CONSTRUCTOR_TIMEOUT_DOC,
    "None",
    init,
    {
        {"access_key", Kind::Str, "str"},
        {"secret_key", Kind::Str, "str"},
        {"bucket", Kind::Str, "str"},
        {"region", Kind::Str, "str", pyutil::text("us-east-1")},
        {"internal", Kind::Bool, "bool", pyutil::boolean(false)},
        {"endpoint", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"domain_url", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"timeout", Kind::Any, kTimeoutType, pyutil::none()},
        {"http_client", Kind::Any, "Optional[httpx.Client]", pyutil::none()},
        {"signature_version", Kind::Str, "str", pyutil::text("v4")},
        {"addressing_style", Kind::Str, "str", pyutil::text("path")},
    },
};

Ref get_aws_endpoint(Args& a) {
    enum { Region, Internal };
    (void)Internal;  // accepted for callers' sake; the public endpoints do not depend on it
    std::string_view region = a.str(Region);
    if (region == "us-east-1") return pyutil::to_str("https://s3.amazonaws.com");
    return pyutil::to_str("https://s3." + std::string(region) + ".amazonaws.com");
}

const pyutil::MethodSpec kGetAwsEndpointSpec{
    "_get_aws_endpoint",
    "The public S3 endpoint of a region (https, no trailing \"/\").",
    "str",
    get_aws_endpoint,
    {
        {"region", Kind::Str, "str"},
        {"internal", Kind::Bool, "bool", pyutil::boolean(false)},
    },
};

}  // namespace dravik
