// Readers of the client's state that several operations share.
#include "core/encoding.hpp"
#include "core/url.hpp"
#include "kit/send_request.hpp"
#include "marvex/marvex.hpp"
#include "pyutil/call.hpp"

namespace marvex {

namespace {
const Name kZ0{"z0"};
}  // namespace

corvault::core::kodo::Credentials credentials(PyObject* self, Keep& keep) {
    return {pyutil::text_attr(self, attr::kAccessKey, keep), pyutil::text_attr(self, attr::kSecretKey, keep)};
}

Ref region_entry(const Args& a) {
    PyObject* endpoints = a.global(kRegionEndpoints);
    // The "z0" entry is looked up every time, so a table without it fails for every region.
    Ref fallback = check(PyObject_GetItem(endpoints, kZ0));
    Ref region = check(PyObject_GetAttr(a.self(), attr::kRegion));
    return pyutil::Call().arg(region.get()).arg(fallback.get()).method(endpoints, method::kGet);
}

void append_quoted_key(std::string& out, std::string_view key) { corvault::core::percent_encode_append(out, key, "/"); }

Ref get_or(PyObject* mapping, PyObject* name, PyObject* fallback) {
    if (PyDict_CheckExact(mapping)) {
        PyObject* value = PyDict_GetItemWithError(mapping, name);
        if (value != nullptr) return Ref::borrow(value);
        if (PyErr_Occurred()) throw pyutil::Error{};
        return Ref::borrow(fallback);
    }
    return pyutil::Call().arg(name).arg(fallback).method(mapping, method::kGet);
}

std::string_view json_text(PyObject* text, Ref& holder) {
    holder = check(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
    return {PyBytes_AS_STRING(holder.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(holder.get()))};
}

std::string_view url_text(PyObject* value) {
    if (!PyUnicode_Check(value)) {
        pyutil::raise_format(PyExc_TypeError, "can only concatenate str (not \"%.200s\") to str",
                             Py_TYPE(value)->tp_name);
    }
    return pyutil::utf8(value);
}

Ref get_as_built(PyObject* self, PyObject* url, PyObject* headers, PyObject* timeout) {
    Ref keywords = kit::as_built_keywords(url_text(url), headers, timeout);
    Ref client = check(PyObject_GetAttr(self, attr::kClient));
    return pyutil::Call().arg(url).kwargs(keywords.get()).method(client.get(), httpx::kGet);
}

}  // namespace marvex
