// The service's request signature: HMAC-SHA1 over the verb, the Content-MD5, Content-Type and
// date (or expiry) slots, the x-ucloud headers and the bucket-and-key resource, in Base64.
#include <string>
#include <vector>

#include "core/sigv2.hpp"
#include "pyutil/call.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/text.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

namespace sigv2 = corvault::core::sigv2;

const Name kKeySortOp{"_key_sort"};

// The block in the order that a replaced _key_sort gives to the entries, the later of two names
// equal but for case having won.
std::string ordered_by_replacement(PyObject* self, const std::vector<sigv2::VendorHeader>& vendor, Keep& keep) {
    Ref picked = check(PyDict_New());
    for (const auto& [name, value] : vendor) {
        Ref name_text = pyutil::to_str(name), value_text = pyutil::to_str(value);
        check(PyDict_SetItem(picked.get(), name_text.get(), value_text.get()));
    }
    Ref ordered = pyutil::Call().arg(picked.get()).method(self, kKeySortOp);
    Ref items = check(PyMapping_Items(ordered.get()));
    std::string out;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
        Ref name = check(PySequence_GetItem(PyList_GET_ITEM(items.get(), i), 0));
        Ref value = check(PySequence_GetItem(PyList_GET_ITEM(items.get(), i), 1));
        out.append(keep.text(check(PyObject_Str(name.get())))).append(":");
        out.append(keep.text(check(PyObject_Str(value.get())))).append("\n");
    }
    return out;
}

// The x-ucloud entries of a dict, lower-cased, values as text, in the dict's order: the preset
// writes them sorted, one line per name.
std::string vendor_block(PyObject* self, PyObject* headers, Keep& keep) {
    std::vector<sigv2::VendorHeader> vendor;
    if (headers != nullptr && headers != Py_None) {
        Py_ssize_t pos = 0;
        PyObject *name, *value;
        while (PyDict_Next(headers, &pos, &name, &value)) {
            Ref lowered = pyutil::lower(name);
            if (!PyUnicode_Check(lowered.get())) {
                pyutil::raise_format(PyExc_TypeError, "lower() returned %.200s, not str",
                                     Py_TYPE(lowered.get())->tp_name);
            }
            std::string_view low = keep.text(std::move(lowered));
            if (!sigv2::is_vendor_header(sigv2::kUFile, low)) continue;
            vendor.emplace_back(low, keep.text(pyutil::str_of_value(name, value)));
        }
    }
    if (!pyutil::is_own_method(self, kKeySortOp, kKeySortSpec)) return ordered_by_replacement(self, vendor, keep);
    return sigv2::canonical_vendor_headers(sigv2::kUFile, std::move(vendor));
}

std::string resource(PyObject* self, std::string_view key, Keep& keep) {
    return sigv2::resource_path(sigv2::kUFile, pyutil::text_attr(self, attr::kBucket, keep), key);
}

std::string signature(PyObject* self, std::string_view string_to_sign, Keep& keep) {
    return sigv2::signature(pyutil::text_attr(self, kPrivateKey, keep), string_to_sign);
}

const Name kCanonicalizedResourceOp{"_canonicalized_resource"};
const Name kCanonicalizedHeadersOp{"_canonicalized_pelora_headers"};
const Name kSignOp{"_sign"};

// What a replaced signing step returned, which must be text to be joined into the string to sign.
std::string step_text(Ref value, const char* step, Keep& keep) {
    if (!PyUnicode_Check(value.get())) {
        pyutil::raise_format(PyExc_TypeError, "%s() returned %.200s, not str", step, Py_TYPE(value.get())->tp_name);
    }
    return std::string(keep.text(std::move(value)));
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
    Keep keep;
    return pyutil::to_str(vendor_block(a.self(), a[Headers], keep));
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
    // Each step through the object when a subclass or the instance has replaced it; run here
    // directly otherwise, which saves three calls on every request.
    std::string block, path;
    if (pyutil::is_own_method(self, kCanonicalizedHeadersOp, kCanonicalizedHeadersSpec)) {
        block = vendor_block(a.self(), a[Headers], keep);
    } else {
        Ref headers =
            a.is_none(Headers) || PyDict_GET_SIZE(a[Headers]) == 0 ? check(PyDict_New()) : Ref::borrow(a[Headers]);
        block = step_text(pyutil::Call().arg(headers.get()).method(self, kCanonicalizedHeadersOp),
                          "_canonicalized_pelora_headers", keep);
    }
    if (pyutil::is_own_method(self, kCanonicalizedResourceOp, kCanonicalizedResourceSpec)) {
        path = resource(self, a.str(Key), keep);
    } else {
        path = step_text(pyutil::Call().arg(a[Key]).method(self, kCanonicalizedResourceOp), "_canonicalized_resource",
                         keep);
    }
    const sigv2::Request request{a.str(Method),  a.str(ContentMd5), a.str(ContentType),
                                 a.str(Expires), std::move(block),  std::move(path)};
    std::string text = sigv2::string_to_sign(request);
    if (pyutil::is_own_method(self, kSignOp, kSignSpec)) return pyutil::to_str(signature(self, text, keep));
    Ref string_to_sign = pyutil::to_str(text);
    return pyutil::Call().arg(string_to_sign.get()).method(self, kSignOp);
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
    // The request's values by keyword, so that a replacement taking them by name is served.
    Ref signature = pyutil::Call()
                        .arg(a[Key])
                        .arg(date.get())
                        .kw(kMethodKeyword, a[Method])
                        .kw(kContentMd5Keyword, a[ContentMd5])
                        .kw(kContentTypeKeyword, a[ContentType])
                        .kw(kw::kHeaders, a[Headers])
                        .method(self, kMakeAuthorizationOp);
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
        pyutil::raise_format(PyExc_TypeError, "_make_authorization() returned %.200s, not str",
                             Py_TYPE(signature)->tp_name);
    }
    Keep keep;
    std::string value(sigv2::kUFile.authorization_word);
    value.append(" ").append(pyutil::text_attr(self, kPublicKey, keep)).append(":").append(pyutil::utf8(signature));
    return pyutil::to_str(value);
}

Ref header_text_any_case(PyObject* headers, std::string_view lowered) {
    Ref name;
    Ref value = pyutil::find_lower(headers, lowered, &name);
    if (!value) return pyutil::to_str("");
    return pyutil::str_of_value(name.get(), value.get());
}

}  // namespace pelora
