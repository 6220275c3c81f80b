// corvault.zorbeck: ZorbeckClient, a DravikClient preset for Tencent Cloud Object Storage:
// the regional endpoint from the region code, Signature Version 4 and virtual-host addressing.
#include <string>

#include "pyutil/call.hpp"
#include "pyutil/module.hpp"

namespace {

using pyutil::Args;
using pyutil::check;
using pyutil::Kind;
using pyutil::Name;
using pyutil::Ref;

const Name kInitMethod{"__init__"};
const Name kAccessKey{"access_key"};
const Name kSecretKey{"secret_key"};
const Name kBucket{"bucket"};
const Name kRegion{"region"};
const Name kEndpoint{"endpoint"};
const Name kDomainUrl{"domain_url"};
const Name kTimeout{"timeout"};
const Name kHttpClient{"http_client"};
const Name kSignatureVersion{"signature_version"};
const Name kAddressingStyle{"addressing_style"};
const Name kV4{"v4"};
const Name kVirtual{"virtual"};
const Name kHyphen{"-"};
const Name kRsplit{"rsplit"};

PyObject* g_class = nullptr;  // ZorbeckClient, for super() in the constructor

Ref init(Args& a) {
    enum { SecretId, SecretKey, BucketArg, Region, DomainUrl, Timeout, HttpClient };
    PyObject* self = a.self();
    Ref endpoint = pyutil::to_str("https://cos." + std::string(a.str(Region)) + ".myqcloud.com");
    Ref parent = check(PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(&PySuper_Type), g_class, self, nullptr));
    Ref parent_init = check(PyObject_GetAttr(parent.get(), kInitMethod));
    pyutil::Call()
        .kw(kAccessKey, a[SecretId])
        .kw(kSecretKey, a[SecretKey])
        .kw(kBucket, a[BucketArg])
        .kw(kRegion, a[Region])
        .kw(kEndpoint, endpoint.get())
        .kw(kDomainUrl, a[DomainUrl])
        .kw(kTimeout, a[Timeout])
        .kw(kHttpClient, a[HttpClient])
        .kw(kSignatureVersion, kV4)
        .kw(kAddressingStyle, kVirtual)
        .call(parent_init.get());
    return Ref::borrow(Py_None);
}

// The value of a text attribute, refusing anything but text or None as a str result would.
Ref text_property(PyObject* self, const Name& name) {
    Ref value = check(PyObject_GetAttr(self, name));
    if (value.get() != Py_None && !PyUnicode_Check(value.get())) {
        pyutil::raise_format(PyExc_TypeError, "Expected str, got %.200s", Py_TYPE(value.get())->tp_name);
    }
    return value;
}

Ref secret_id(Args& a) { return text_property(a.self(), kAccessKey); }
Ref cos_bucket(Args& a) { return text_property(a.self(), kBucket); }

Ref appid(Args& a) {
    // Bucket names end in "-" and the application id; only the last hyphen counts.
    Ref bucket = check(PyObject_GetAttr(a.self(), kBucket));
    Ref one = check(PyLong_FromLong(1));
    Ref parts = pyutil::Call().arg(kHyphen).arg(one.get()).method(bucket.get(), kRsplit);
    if (PyList_Check(parts.get()) && PyList_GET_SIZE(parts.get()) == 2) {
        return Ref::borrow(PyList_GET_ITEM(parts.get(), 1));
    }
    return pyutil::to_str("");
}

const pyutil::MethodSpec kInit{
    "__init__",
    "Create a client for one bucket (its name ends in the application id) in `region`.\n\n"
    "Requests go to the region's endpoint, signed with Signature Version 4, in virtual-host\n"
    "style; `domain_url` serves only the object URLs handed to users.",
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

const pyutil::MethodSpec kSecretId{"secret_id", "The key id of the credential.", "str", secret_id, {}};
const pyutil::MethodSpec kCosBucket{"cos_bucket", "The full bucket name, application id included.", "str",
                                    cos_bucket, {}};
const pyutil::MethodSpec kAppid{"appid", "The application id: the bucket name after its last hyphen.", "str",
                                appid, {}};

const std::vector<pyutil::Member> kMembers = {
    {&kInit},
    {&kSecretId, true},
    {&kCosBucket, true},
    {&kAppid, true},
};

constexpr const char* kClassDoc =
    "Client of Tencent Cloud Object Storage through its S3-compatible interface.\n\n"
    "Every operation of DravikClient is available; requests go to https://<bucket>.cos.<region>.\n"
    "myqcloud.com, signed with AWS Signature Version 4.";

void exec_zorbeck(PyObject* module) {
    Ref typing = pyutil::import_module("typing");
    Ref optional = pyutil::import_from(typing.get(), "Optional");
    Ref union_type = pyutil::import_from(typing.get(), "Union");
    Ref httpx = pyutil::import_module("httpx");
    Ref dravik = pyutil::import_sibling(module, "dravik");
    Ref base = pyutil::import_from(dravik.get(), "DravikClient");
    pyutil::bind(module, "Optional", optional.get());
    pyutil::bind(module, "Union", union_type.get());
    pyutil::bind(module, "httpx", httpx.get());
    pyutil::bind(module, "DravikClient", base.get());
    Ref cls = pyutil::make_class(module, "ZorbeckClient", kClassDoc, base.get(), kMembers);
    Py_XSETREF(g_class, Py_NewRef(cls.get()));
    pyutil::bind(module, "ZorbeckClient", cls.get());
}

}  // namespace

CORVAULT_MODULE(zorbeck, "Client of Tencent Cloud Object Storage.", exec_zorbeck)
