#include "pyutil/request_keywords.hpp"

#include "core/url.hpp"
#include "pyutil/module.hpp"

namespace pyutil {
namespace {

const Name kExtensions{"extensions"};
const Name kTarget{"target"};
const Name kParams{"params"};
const Name kData{"data"};
const Name kContent{"content"};

}  // namespace

bool is_mapping(PyObject* value) {
    if (PyDict_Check(value)) return true;
    if (PyBytes_Check(value) || PyByteArray_Check(value) || PyUnicode_Check(value) || PyMemoryView_Check(value)) {
        return false;
    }
    Ref mapping = import_attr("collections.abc", "Mapping");
    return check(PyObject_IsInstance(value, mapping.get())) == 1;
}

void keep_path_as_built(PyObject* keywords, std::string_view url) {
    if (!corvault::core::has_dot_segment(url)) return;
    // httpx would write `params` into the URL's query, which the request line given here replaces.
    if (check(PyDict_Contains(keywords, kParams))) {
        raise(PyExc_ValueError, "a key with '.' or '..' path segments cannot be sent with params=; pass query_params");
    }
    PyObject* given = PyDict_GetItemWithError(keywords, kExtensions);
    if (given == nullptr && PyErr_Occurred()) throw Error{};
    Ref extensions = given == nullptr || given == Py_None
                         ? check(PyDict_New())
                         : check(PyObject_CallOneArg(reinterpret_cast<PyObject*>(&PyDict_Type), given));
    if (!check(PyDict_Contains(extensions.get(), kTarget))) {
        Ref target = to_str(corvault::core::request_target(url));
        check(PyDict_SetItem(extensions.get(), kTarget, target.get()));
    }
    check(PyDict_SetItem(keywords, kExtensions, extensions.get()));
}

void raw_body_as_content(PyObject* keywords) {
    PyObject* found = PyDict_GetItemWithError(keywords, kData);
    if (found == nullptr) {
        if (PyErr_Occurred()) throw Error{};
        return;
    }
    Ref data = Ref::borrow(found);
    if (data.get() == Py_None || check(PyDict_Contains(keywords, kContent)) || is_mapping(data.get())) return;
    // Rebuilt in order, so the body keeps its place among the caller's keywords.
    Ref entries = check(PyDict_Items(keywords));
    PyDict_Clear(keywords);
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(entries.get()); ++i) {
        PyObject* entry = PyList_GET_ITEM(entries.get(), i);
        PyObject* name = PyTuple_GET_ITEM(entry, 0);
        const bool body = PyUnicode_Check(name) && PyUnicode_Compare(name, kData) == 0;
        check(PyDict_SetItem(keywords, body ? kContent.get() : name, PyTuple_GET_ITEM(entry, 1)));
    }
}

}  // namespace pyutil
