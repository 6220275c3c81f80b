#include "pyutil/path_target.hpp"

#include "core/url.hpp"

namespace pyutil {
namespace {

const Name kExtensions{"extensions"};
const Name kTarget{"target"};

}  // namespace

void keep_path_as_built(PyObject* keywords, std::string_view url) {
    if (!corvault::core::has_dot_segment(url)) return;
    PyObject* given = PyDict_GetItemWithError(keywords, kExtensions);
    if (given == nullptr && PyErr_Occurred()) throw Error{};
    Ref extensions = given == nullptr || given == Py_None ? check(PyDict_New())
                                                          : check(PyObject_CallOneArg(reinterpret_cast<PyObject*>(&PyDict_Type), given));
    const int named = check(PyDict_Contains(extensions.get(), kTarget));
    if (!named) {
        Ref target = to_str(corvault::core::request_target(url));
        check(PyDict_SetItem(extensions.get(), kTarget, target.get()));
    }
    check(PyDict_SetItem(keywords, kExtensions, extensions.get()));
}

}  // namespace pyutil
