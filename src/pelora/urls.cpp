// Object URLs: the plain URL under the download base, and the time-limited share URL that carries
// the query form of the signature.
#include <string>

#include "core/encoding.hpp"
#include "core/url.hpp"
#include "pyutil/call.hpp"
#include "pyutil/clock.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

// A URL handed to users keeps a key's "." and ".." segments as "%2E" and "%2E%2E": their HTTP
// clients would remove them and reach another object; the service reads them back as the key.
std::string handed_out(const std::string& url) { return corvault::core::escape_dot_segments(url); }

}  // namespace

std::string object_url(std::string_view base, std::string_view key) {
    std::string url(base);
    if (key.empty()) return url;
    // Encoded, so that a key holding "?", "#" or "%" names itself and not another object; the
    // signature still covers the key as given, which is what the service decodes it back to.
    url.push_back('/');
    corvault::core::percent_encode_append(url, key, "/");
    return url;
}

Ref get_path_url(Args& a) {
    enum { Key };
    Keep keep;
    const std::string_view base = pyutil::text_attr(a.self(), attr::kDomainUrl, keep);
    std::string url(base);
    url.push_back('/');
    corvault::core::percent_encode_append(url, a.str(Key), "/");
    return pyutil::to_str(handed_out(url));
}

const pyutil::MethodSpec kGetPathUrlSpec{
    "get_path_url",
    "The unsigned URL of the object `key` under `domain_url` (the key percent-encoded, \"/\" kept).",
    "str",
    get_path_url,
    {{"key", Kind::Str, "str"}},
};

Ref get_shared_url(Args& a) {
    enum { Key, ExpireTime };
    PyObject* self = a.self();
    Ref now = check(PyLong_FromLongLong(pyutil::unix_seconds()));
    Ref expires = check(PyNumber_Add(now.get(), a[ExpireTime]));
    Ref expires_text = check(PyObject_Str(expires.get()));
    Ref signature = pyutil::Call().arg(a[Key]).arg(expires_text.get()).method(self, kMakeAuthorizationOp);
    if (!PyUnicode_Check(signature.get())) {
        pyutil::raise_format(PyExc_TypeError, "_make_authorization() returned %.200s, not str",
                             Py_TYPE(signature.get())->tp_name);
    }

    Keep keep;
    const bool custom = truthy(check(PyObject_GetAttr(self, kCustomDomain)).get());
    std::string url(pyutil::text_attr(self, custom ? attr::kDomainUrl : kExternalUrl, keep));
    url.push_back('/');
    corvault::core::percent_encode_append(url, a.str(Key), "/");
    url = handed_out(url);
    url.append("?UCloudPublicKey=").append(pyutil::text_attr(self, kPublicKey, keep));
    url.append("&Signature=");
    corvault::core::percent_encode_append(url, pyutil::utf8(signature.get()));
    url.append("&Expires=").append(pyutil::utf8(expires_text.get()));
    return pyutil::to_str(url);
}

const pyutil::MethodSpec kGetSharedUrlSpec{
    "get_shared_url",
    "A GET URL of the object `key` that needs no credentials for `expire_time` seconds.\n\n"
    "Its base is the custom domain when there is one, else the bucket's public endpoint.",
    "str",
    get_shared_url,
    {
        {"key", Kind::Str, "str"},
        {"expire_time", Kind::Int, "int", pyutil::integer(1200)},
    },
};

}  // namespace pelora
