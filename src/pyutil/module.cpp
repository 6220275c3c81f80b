#include "pyutil/module.hpp"

#include <new>
#include <stdexcept>
#include <string>

namespace pyutil {
namespace {
const Name kModuleKey{"__module__"};
const Name kQualnameKey{"__qualname__"};
const Name kDocKey{"__doc__"};
}  // namespace

Ref import_module(const char* name) { return check(PyImport_ImportModule(name)); }

Ref import_attr(const char* module, const char* attr) {
    Ref m = import_module(module);
    return check(PyObject_GetAttrString(m.get(), attr));
}

Ref import_sibling(PyObject* module, const char* name) {
    std::string full = PyModule_GetName(module) ? PyModule_GetName(module) : "";
    if (full.empty()) throw Error{};
    std::size_t dot = full.rfind('.');
    if (dot == std::string::npos) raise(PyExc_ImportError, "attempted relative import with no known parent package");
    full = full.substr(0, dot + 1) + name;
    return import_module(full.c_str());
}

Ref import_from(PyObject* module, const char* name) {
    PyObject* value = PyObject_GetAttrString(module, name);
    if (value != nullptr) return Ref::steal(value);
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw Error{};
    PyErr_Clear();
    Ref module_name = check(PyObject_GetAttrString(module, "__name__"));
    PyObject* file = PyObject_GetAttrString(module, "__file__");
    if (file == nullptr) PyErr_Clear();
    Ref file_ref = Ref::steal(file);
    if (file != nullptr) {
        raise_format(PyExc_ImportError, "cannot import name '%s' from '%U' (%S)", name, module_name.get(), file);
    }
    raise_format(PyExc_ImportError, "cannot import name '%s' from '%U' (unknown location)", name, module_name.get());
}

void bind(PyObject* module, const char* name, PyObject* value) { check(PyModule_AddObjectRef(module, name, value)); }

void bind_modules(PyObject* module, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        Ref imported = import_module(name);
        bind(module, name, imported.get());
    }
}

void bind_attrs(PyObject* module, const char* source, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        Ref value = import_attr(source, name);
        bind(module, name, value.get());
    }
}

Ref bind_sibling(PyObject* module, const char* sibling, const char* name) {
    Ref source = import_sibling(module, sibling);
    Ref value = import_from(source.get(), name);
    bind(module, name, value.get());
    return value;
}

Ref make_class(PyObject* module, const char* name, const char* doc, PyObject* base,
               const std::vector<Member>& members) {
    PyObject* metaclass = reinterpret_cast<PyObject*>(Py_TYPE(base));
    Ref bases = check(PyTuple_Pack(1, base));
    Ref class_name = check(PyUnicode_FromString(name));
    Ref ns;
    if (PyObject_HasAttrString(metaclass, "__prepare__")) {
        ns = check(PyObject_CallMethod(metaclass, "__prepare__", "OO", class_name.get(), bases.get()));
    } else {
        ns = check(PyDict_New());
    }
    Ref module_name = check(PyModule_GetNameObject(module));
    check(PyObject_SetItem(ns.get(), kModuleKey, module_name.get()));
    check(PyObject_SetItem(ns.get(), kQualnameKey, class_name.get()));
    Ref doc_text = check(PyUnicode_FromString(doc));
    check(PyObject_SetItem(ns.get(), kDocKey, doc_text.get()));
    for (const Member& member : members) {
        Ref method = make_method(*member.spec, module, name);
        Ref key = check(PyUnicode_InternFromString(member.spec->name));
        if (member.property) {
            method = check(PyObject_CallOneArg(reinterpret_cast<PyObject*>(&PyProperty_Type), method.get()));
        }
        check(PyObject_SetItem(ns.get(), key.get(), method.get()));
    }
    return check(PyObject_CallFunctionObjArgs(metaclass, class_name.get(), bases.get(), ns.get(), nullptr));
}

int run_module_body(PyObject* module, void (*body)(PyObject*)) {
    try {
        body(module);
        return 0;
    } catch (const Error&) {
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_ImportError, e.what());
    }
    return -1;
}

}  // namespace pyutil
