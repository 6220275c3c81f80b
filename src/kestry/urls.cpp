// The URLs handed to users: the unsigned object URL and the Version 1 share URL, a GET that
// anyone may send until it expires.
#include <string>

#include "core/oss_url.hpp"
#include "core/sigv2.hpp"
#include "pyutil/clock.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

Ref get_path_url(Args& a) {
    enum { Key };
    Keep keep;
    return pyutil::to_str(core::oss::object_url(pyutil::text_attr(a.self(), attr::kDomainUrl, keep), a.str(Key)));
}

}  // namespace

const pyutil::MethodSpec kGetPathUrlSpec{
    "get_path_url",
    "The unsigned URL of the object `key`, on the custom domain when there is one.",
    "str",
    get_path_url,
    {
        {"key", Kind::Str, "str"},
    },
};

namespace {

Ref get_shared_url(Args& a) {
    enum { Key, ExpireTime };
    PyObject* self = a.self();
    Keep keep;
    Ref now = check(PyLong_FromLongLong(pyutil::unix_seconds()));
    Ref expires_number = check(PyNumber_Add(now.get(), a[ExpireTime]));
    const std::string_view expires = keep.text(check(PyObject_Str(expires_number.get())));

    core::sigv2::Request request;
    request.method = "GET";
    request.date = expires;
    request.resource = core::sigv2::canonical_resource(
        core::sigv2::resource_path(core::sigv2::kOss, pyutil::text_attr(self, attr::kBucket, keep), a.str(Key)), {});
    const std::string signature =
        core::sigv2::signature(pyutil::text_attr(self, kAccessKeySecret, keep), core::sigv2::string_to_sign(request));

    // Without a custom domain the URL is on the public endpoint, also for an internal-network
    // client: whoever receives a share URL is outside that network.
    const Name& base = pyutil::attr_truth(self, kCustomDomain) ? attr::kDomainUrl : kExternalUrl;
    return pyutil::to_str(core::oss::share_url(pyutil::text_attr(self, base, keep), a.str(Key),
                                               pyutil::text_attr(self, kAccessKeyId, keep), expires, signature));
}

}  // namespace

const pyutil::MethodSpec kGetSharedUrlSpec{
    "get_shared_url",
    "A signed GET URL of the object `key`, valid for `expire_time` seconds (OSS Version 1).",
    "str",
    get_shared_url,
    {
        {"key", Kind::Str, "str"},
        {"expire_time", Kind::Int, "int", pyutil::integer(1200)},
    },
};

}  // namespace kestry
