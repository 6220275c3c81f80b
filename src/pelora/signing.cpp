// The service's request signature: HMAC-SHA1 over the verb, the Content-MD5, Content-Type and
// date (or expiry) slots, the x-ucloud headers and the bucket-and-key resource, in Base64.
#include <algorithm>
#include <string>
#include <vector>

#include "core/digest.hpp"
#include "core/encoding.hpp"
#include "core/sigv2.hpp"
#include "pyutil/call.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/text.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

// Headers whose lower-cased name begins with this are signed (a plain prefix test, as the
// service's own signers make it).
constexpr std::string_view kVendorPrefix = "x-ucloud";
constexpr std::string_view kSchemeWord = "UCloud ";

using HeaderLines = std::vector<std::pair<std::string, std::string>>;

// The vendor headers of a dict as (lower-cased name, str(value)) pairs sorted by name; of names
// equal after lower-casing, the one later in the dict wins.
HeaderLines vendor_headers(PyObject* headers) {
    HeaderLines lines;
    if (headers == nullptr || headers == Py_None) return lines;
    Py_ssize_t pos = 0;
    PyObject *name, *value;
    while (PyDict_Next(headers, &pos, &name, &value)) {
        std::string lowered = pyutil::lower_utf8(name);
        if (lowered.compare(0, kVendorPrefix.size(), kVendorPrefix) != 0) continue;
        Ref text = check(PyObject_Str(value));
        lines.emplace_back(std::move(lowered), std::string(pyutil::utf8(text.get())));
    }
    std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // Equal names are adjacent and in dict order: keep the last of each run.
    HeaderLines kept;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i + 1 < lines.size() && lines[i + 1].first == lines[i].first) continue;
        kept.push_back(std::move(lines[i]));
    }
    return kept;
}

std::string header_block(const HeaderLines& lines) {
    std::string block;
    for (const auto& [name, value] : lines) block.append(name).append(":").append(value).append("\n");
    return block;
}

std::string resource(PyObject* self, std::string_view key, Keep& keep) {
    std::string out = "/";
    out.append(pyutil::text_attr(self, kBucket, keep)).append("/").append(key);
    return out;
}

std::string signature(PyObject* self, std::string_view string_to_sign, Keep& keep) {
    return corvault::core::base64(corvault::core::hmac_sha1(pyutil::text_attr(self, kPrivateKey, keep), string_to_sign));
}

}  // namespace

Ref key_sort(Args& a) {
    enum { Params };
    Ref items = check(PyDict_Items(a[Params]));
    check(PyList_Sort(items.get()));
    Ref sorted = check(PyDict_New());
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
        PyObject* pair = PyList_GET_ITEM(items.get(), i);
        check(PyDict_SetItem(sorted.get(), PyTuple_GET_ITEM(pair, 0), PyTuple_GET_ITEM(pair, 1)));
    }
    return sorted;
}

const pyutil::MethodSpec kKeySortSpec{
    "_key_sort",
    "A new dict with the entries of `params` in ascending order of their keys.",
    "Dict",
    key_sort,
    {{"params", Kind::Dict, "Dict"}},
};

Ref canonicalized_resource(Args& a) {
    enum { Key };
    Keep keep;
    return pyutil::to_str(resource(a.self(), a.str(Key), keep));
}

const pyutil::MethodSpec kCanonicalizedResourceSpec{
    "_canonicalized_resource",
    "\"/\" + bucket + \"/\" + key, the key as given (not encoded).",
    "str",
    canonicalized_resource,
    {{"key", Kind::Str, "str"}},
};

Ref canonicalized_headers(Args& a) {
    enum { Headers };
    return pyutil::to_str(header_block(vendor_headers(a[Headers])));
}

const pyutil::MethodSpec kCanonicalizedHeadersSpec{
    "_canonicalized_pelora_headers",
    "The signed block of the x-ucloud headers: \"name:value\\n\" per header, names lower-cased and\n"
    "sorted; of names equal but for case, the later one's value.",
    "str",
    canonicalized_headers,
    {{"headers", Kind::Dict, "Dict[str, str]"}},
};

Ref sign(Args& a) {
    enum { StringToSign };
    Keep keep;
    return pyutil::to_str(signature(a.self(), a.str(StringToSign), keep));
}

const pyutil::MethodSpec kSignSpec{
    "_sign",
    "Base64 of the HMAC-SHA1 of `string_to_sign` under the private key.",
    "str",
    sign,
    {{"string_to_sign", Kind::Str, "str"}},
};

Ref make_authorization(Args& a) {
    enum { Key, Expires, Method, ContentMd5, ContentType, Headers };
    PyObject* self = a.self();
    Keep keep;
    corvault::core::sigv2::Signing request;
    request.method = a.str(Method);
    request.content_md5 = a.str(ContentMd5);
    request.content_type = a.str(ContentType);
    request.date = a.str(Expires);
    request.amz_headers = header_block(vendor_headers(a[Headers]));
    request.resource = resource(self, a.str(Key), keep);
    return pyutil::to_str(signature(self, corvault::core::sigv2::string_to_sign(request), keep));
}

const pyutil::MethodSpec kMakeAuthorizationSpec{
    "_make_authorization",
    "The signature of a request on `key`: `expires` fills the date slot (the expiry time of a\n"
    "share URL, or the request's Date), and the x-ucloud entries of `headers` are signed.",
    "str",
    make_authorization,
    {
        {"key", Kind::Str, "str"},
        {"expires", Kind::Str, "str"},
        {"method", Kind::Str, "str", pyutil::text("GET")},
        {"content_md5", Kind::Str, "str", pyutil::text("")},
        {"content_type", Kind::Str, "str", pyutil::text("")},
        {"headers", Kind::OptDict, kHeadersType, pyutil::none()},
    },
};

Ref build_auth_header(Args& a) {
    enum { Key, Method, ContentMd5, ContentType, Headers };
    PyObject* self = a.self();
    // The date slot carries the Date the request sends: the service signs it when it is there.
    Ref date = a.is_none(Headers) ? pyutil::to_str("") : header_text_any_case(a[Headers], "date");
    Ref signature = pyutil::Call()
                        .arg(a[Key])
                        .arg(date.get())
                        .kw(kMethodKeyword, a[Method])
                        .kw(kContentMd5Keyword, a[ContentMd5])
                        .kw(kContentTypeKeyword, a[ContentType])
                        .kw(kHeaders, a[Headers])
                        .method(self, kMakeAuthorizationMethod);
    return authorization_value(self, signature.get());
}

const pyutil::MethodSpec kBuildAuthHeaderSpec{
    "_build_auth_header",
    "The Authorization value of a request on `key`: \"UCloud <public_key>:<signature>\", with the\n"
    "Date entry of `headers` (any letter case) in the date slot.",
    "str",
    build_auth_header,
    {
        {"key", Kind::Str, "str"},
        {"method", Kind::Str, "str"},
        {"content_md5", Kind::Str, "str", pyutil::text("")},
        {"content_type", Kind::Str, "str", pyutil::text("")},
        {"headers", Kind::OptDict, kHeadersType, pyutil::none()},
    },
};

Ref authorization_value(PyObject* self, PyObject* signature) {
    if (!PyUnicode_Check(signature)) {
        pyutil::raise_format(PyExc_TypeError, "_make_authorization() returned %.200s, not str", Py_TYPE(signature)->tp_name);
    }
    Keep keep;
    std::string value(kSchemeWord);
    value.append(pyutil::text_attr(self, kPublicKey, keep)).append(":").append(pyutil::utf8(signature));
    return pyutil::to_str(value);
}

Ref header_text_any_case(PyObject* headers, std::string_view lowered) {
    Ref value = pyutil::find_lower(headers, lowered);
    if (!value) return pyutil::to_str("");
    return PyUnicode_CheckExact(value.get()) ? value : check(PyObject_Str(value.get()));
}

}  // namespace pelora
