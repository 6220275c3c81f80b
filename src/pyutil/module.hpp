// Module set-up: imports, names bound in the module namespace, and client classes created as
// ordinary Python classes through their base's metaclass.
#pragma once

#include <initializer_list>
#include <vector>

#include "pyutil/method.hpp"

namespace pyutil {

Ref import_module(const char* name);
Ref import_attr(const char* module, const char* attr);
// `name` imported from the package that holds `module` ("corvault.base" for corvault.dravik).
Ref import_sibling(PyObject* module, const char* name);
// `from <module> import <name>`: a missing name is an ImportError, as in a Python module.
Ref import_from(PyObject* module, const char* name);
void bind(PyObject* module, const char* name, PyObject* value);
// `import <name>` in the module's namespace, for each name in order.
void bind_modules(PyObject* module, std::initializer_list<const char*> names);
// `from <source> import <name>` (an absolute module) in the module's namespace, for each name.
void bind_attrs(PyObject* module, const char* source, std::initializer_list<const char*> names);
// `from .<sibling> import <name>` in the module's namespace; the value bound.
Ref bind_sibling(PyObject* module, const char* sibling, const char* name);

// A class attribute: a method object, or a read-only property over one (`spec.params` empty).
struct Member {
    const MethodSpec* spec;
    bool property = false;
};

// Calls the metaclass of `base` as a class statement would: __prepare__, then the namespace
// with __module__, __qualname__, __doc__ and the members in order.
Ref make_class(PyObject* module, const char* name, const char* doc, PyObject* base, const std::vector<Member>& members);

// Runs a module body, turning any failure into the pending Python exception.
int run_module_body(PyObject* module, void (*body)(PyObject*));

}  // namespace pyutil

// Multi-phase initialisation of an extension module whose body is `exec_body(PyObject*)`.
// clang-format off: the slots laid out as the C API documents them
#if PY_VERSION_HEX >= 0x030C0000
#define CORVAULT_MODULE_SLOT_INTERPRETERS {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#else
#define CORVAULT_MODULE_SLOT_INTERPRETERS
#endif

#define CORVAULT_MODULE(name, doc, exec_body)                                                       \
    static int name##_exec(PyObject* module) { return pyutil::run_module_body(module, exec_body); } \
    static PyModuleDef_Slot name##_slots[] = {{Py_mod_exec, reinterpret_cast<void*>(name##_exec)},  \
                                              CORVAULT_MODULE_SLOT_INTERPRETERS{0, nullptr}};       \
    static PyModuleDef name##_def = {PyModuleDef_HEAD_INIT, #name,   doc,     0,      nullptr,      \
                                     name##_slots,          nullptr, nullptr, nullptr};             \
    PyMODINIT_FUNC PyInit_##name(void) { return PyModuleDef_Init(&name##_def); }
// clang-format on
