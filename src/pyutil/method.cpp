#include "pyutil/method.hpp"

#include <structmember.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace pyutil {

struct MethodObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    const MethodSpec* spec;
    PyObject* module;  // the defining module: its namespace is read at call time
    PyObject* name;
    PyObject* qualname;
    PyObject* module_name;
    PyObject* doc;
    PyObject* names;        // tuple of interned parameter names, "self" first
    PyObject* defaults;     // tuple parallel to names; NULL entries are required parameters
    PyObject* annotations;  // dict, made on first read
    PyObject* signature;    // inspect.Signature, made on first read
    Py_ssize_t required;    // leading parameters without a default, self included
};

namespace {

// ---- argument binding, after CPython's own rules for a Python function ----------------------

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'"
std::string quoted_list(const std::vector<std::string_view>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
        out += '\'';
        out += names[i];
        out += '\'';
    }
    return out;
}

#if PY_VERSION_HEX >= 0x030D0000
// The interpreter's "Did you mean" choice for a misspelt keyword (3.13 and later), after
// levenshtein_distance() and the candidate loop of _Py_CalculateSuggestions() in CPython's
// Python/suggestions.c: a weighted Levenshtein distance where a case change costs half a move.
constexpr std::size_t kMoveCost = 2;
constexpr std::size_t kCaseCost = 1;
constexpr std::size_t kMaxStringSize = 40;

std::size_t substitution_cost(char a, char b) {
    if ((a & 31) != (b & 31)) return kMoveCost;
    if (a == b) return 0;
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + ('a' - 'A'));
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + ('a' - 'A'));
    return a == b ? kCaseCost : kMoveCost;
}

std::size_t levenshtein(std::string_view a, std::string_view b, std::size_t max_cost) {
    if (a == b) return 0;
    while (!a.empty() && !b.empty() && a.front() == b.front()) {
        a.remove_prefix(1);
        b.remove_prefix(1);
    }
    while (!a.empty() && !b.empty() && a.back() == b.back()) {
        a.remove_suffix(1);
        b.remove_suffix(1);
    }
    if (a.empty() || b.empty()) return (a.size() + b.size()) * kMoveCost;
    if (a.size() > kMaxStringSize || b.size() > kMaxStringSize) return max_cost + 1;
    if (b.size() < a.size()) std::swap(a, b);
    if ((b.size() - a.size()) * kMoveCost > max_cost) return max_cost + 1;
    std::size_t buffer[kMaxStringSize];
    for (std::size_t i = 0; i < a.size(); ++i) buffer[i] = (i + 1) * kMoveCost;
    std::size_t result = 0;
    for (std::size_t bi = 0; bi < b.size(); ++bi) {
        std::size_t distance = result = bi * kMoveCost;
        std::size_t minimum = SIZE_MAX;
        for (std::size_t ai = 0; ai < a.size(); ++ai) {
            std::size_t substitute = distance + substitution_cost(b[bi], a[ai]);
            distance = buffer[ai];
            std::size_t insert_delete = std::min(result, distance) + kMoveCost;
            result = std::min(insert_delete, substitute);
            buffer[ai] = result;
            minimum = std::min(minimum, result);
        }
        if (minimum > max_cost) return max_cost + 1;
    }
    return result;
}

PyObject* suggestion(PyObject* names, std::string_view wrong) {
    PyObject* best = nullptr;
    std::size_t best_distance = SIZE_MAX;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(names); ++i) {
        PyObject* item = PyTuple_GET_ITEM(names, i);
        std::string_view candidate = utf8(item);
        if (candidate == wrong) continue;
        std::size_t max_distance = (wrong.size() + candidate.size() + 3) * kMoveCost / 6;
        max_distance = std::min(max_distance, best_distance - 1);
        std::size_t distance = levenshtein(wrong, candidate, max_distance);
        if (distance > max_distance) continue;
        if (best == nullptr || distance < best_distance) {
            best = item;
            best_distance = distance;
        }
    }
    return best;
}
#endif

[[noreturn]] void unexpected_keyword(const MethodObject* m, PyObject* keyword) {
#if PY_VERSION_HEX >= 0x030D0000
    if (PyObject* hint = suggestion(m->names, utf8(keyword))) {
        raise_format(PyExc_TypeError, "%U() got an unexpected keyword argument '%S'. Did you mean '%S'?", m->qualname,
                     keyword, hint);
    }
#endif
    raise_format(PyExc_TypeError, "%U() got an unexpected keyword argument '%S'", m->qualname, keyword);
}

[[noreturn]] void too_many_positional(const MethodObject* m, Py_ssize_t given) {
    Py_ssize_t total = PyTuple_GET_SIZE(m->names);
    std::string sig;
    bool plural;
    if (m->required < total) {
        sig = "from " + std::to_string(m->required) + " to " + std::to_string(total);
        plural = true;
    } else {
        sig = std::to_string(total);
        plural = total != 1;
    }
    raise_format(PyExc_TypeError, "%U() takes %s positional argument%s but %zd %s given", m->qualname, sig.c_str(),
                 plural ? "s" : "", given, given == 1 ? "was" : "were");
}

[[noreturn]] void missing_positional(const MethodObject* m, PyObject* const* values) {
    std::vector<std::string_view> missing;
    for (Py_ssize_t i = 0; i < m->required; ++i) {
        if (values[i] == nullptr) missing.push_back(utf8(PyTuple_GET_ITEM(m->names, i)));
    }
    std::string list = quoted_list(missing);
    raise_format(PyExc_TypeError, "%U() missing %zd required positional argument%s: %s", m->qualname,
                 static_cast<Py_ssize_t>(missing.size()), missing.size() == 1 ? "" : "s", list.c_str());
}

const char* expected_name(Kind kind) {
    switch (kind) {
        // clang-format off: one case a line, as a table
        case Kind::Str:
        case Kind::OptStr:
        case Kind::NonEmptyStr: return "str";
        case Kind::Bytes:
        case Kind::OptBytes: return "bytes";
        case Kind::Dict:
        case Kind::OptDict: return "dict";
        case Kind::List:
        case Kind::OptList: return "list";
        case Kind::Int:
        case Kind::OptInt: return "int";
        default:
            return "object";
            // clang-format on
    }
}

[[noreturn]] void wrong_type(const char* name, Kind kind, PyObject* value) {
    raise_format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", name,
                 expected_name(kind), Py_TYPE(value)->tp_name);
}

[[noreturn]] void empty_value(const char* name) { raise_format(PyExc_ValueError, "%.200s must not be empty", name); }

}  // namespace

// Binds one call's arguments into an Args, then tests and converts them by their declared kinds.
struct MethodCall {
    static void bind(const MethodObject* m, Args& a, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        a.method_ = m;
        const Py_ssize_t total = PyTuple_GET_SIZE(m->names);
        PyObject** values = a.values_;
        const Py_ssize_t npos = std::min(nargs, total);
        for (Py_ssize_t i = 0; i < npos; ++i) values[i] = args[i];

        const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
            PyObject* value = args[nargs + k];
            if (!PyUnicode_Check(keyword)) {
                raise_format(PyExc_TypeError, "%U() keywords must be strings", m->qualname);
            }
            Py_ssize_t index = -1;
            for (Py_ssize_t i = 0; i < total; ++i) {
                if (PyTuple_GET_ITEM(m->names, i) == keyword) {
                    index = i;
                    break;
                }
            }
            if (index < 0) {
                for (Py_ssize_t i = 0; i < total; ++i) {
                    int eq = check(PyObject_RichCompareBool(PyTuple_GET_ITEM(m->names, i), keyword, Py_EQ));
                    if (eq) {
                        index = i;
                        break;
                    }
                }
            }
            if (index < 0) {
                if (!m->spec->var_kwargs) unexpected_keyword(m, keyword);
                if (!a.kwargs_) a.kwargs_ = check(PyDict_New());
                check(PyDict_SetItem(a.kwargs_.get(), keyword, value));
                continue;
            }
            if (values[index] != nullptr) {
                raise_format(PyExc_TypeError, "%U() got multiple values for argument '%S'", m->qualname, keyword);
            }
            values[index] = value;
        }
        if (nargs > total) too_many_positional(m, nargs);
        for (Py_ssize_t i = nargs; i < m->required; ++i) {
            if (values[i] == nullptr) missing_positional(m, values);
        }
        for (Py_ssize_t i = m->required; i < total; ++i) {
            if (values[i] == nullptr) values[i] = PyTuple_GET_ITEM(m->defaults, i);
        }

        const std::vector<Param>& params = m->spec->params;
        for (std::size_t i = 0; i < params.size(); ++i) {
            PyObject*& value = values[i + 1];
            const Param& p = params[i];
            switch (p.kind) {
                case Kind::Any: break;
                // clang-format off: one case a line, as a table
                case Kind::OptStr:
                    if (value == Py_None) break;
                    [[fallthrough]];
                case Kind::Str:
                    if (!PyUnicode_CheckExact(value)) wrong_type(p.name, p.kind, value);
                    break;
                case Kind::NonEmptyStr:
                    if (!PyUnicode_CheckExact(value)) wrong_type(p.name, p.kind, value);
                    if (PyUnicode_GET_LENGTH(value) == 0) empty_value(p.name);
                    break;
                case Kind::OptBytes:
                    if (value == Py_None) break;
                    [[fallthrough]];
                case Kind::Bytes:
                    if (!PyBytes_CheckExact(value)) wrong_type(p.name, p.kind, value);
                    break;
                case Kind::OptDict:
                    if (value == Py_None) break;
                    [[fallthrough]];
                case Kind::Dict:
                    if (!PyDict_CheckExact(value)) wrong_type(p.name, p.kind, value);
                    break;
                case Kind::OptList:
                    if (value == Py_None) break;
                    [[fallthrough]];
                case Kind::List:
                    if (!PyList_CheckExact(value)) wrong_type(p.name, p.kind, value);
                    break;
                case Kind::Bool: value = check(PyObject_IsTrue(value)) ? Py_True : Py_False; break;
                // clang-format on
                case Kind::OptInt:
                    if (value == Py_None) break;
                    [[fallthrough]];
                case Kind::Int:
                    if (PyLong_CheckExact(value)) break;
                    // Any real number, converted as int() does: bool to 0/1, fractions cut toward 0.
                    if (!PyNumber_Check(value) || PyComplex_Check(value)) wrong_type(p.name, p.kind, value);
                    a.converted_[i + 1] = check(PyNumber_Long(value));
                    value = a.converted_[i + 1].get();
                    break;
            }
        }
    }
};

namespace {

PyObject* method_vectorcall(PyObject* callable, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    auto* m = reinterpret_cast<MethodObject*>(callable);
    try {
        Args a;
        MethodCall::bind(m, a, args, PyVectorcall_NARGS(nargsf), kwnames);
        Ref result = m->spec->impl(a);
        if (!result && !PyErr_Occurred()) {
            PyErr_Format(PyExc_SystemError, "%U() returned NULL without an exception", m->qualname);
        }
        return result.release();
    } catch (const Error&) {
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::invalid_argument& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "unknown C++ exception");
    }
    return nullptr;
}

// ---- the type ---------------------------------------------------------------------------------

PyObject* method_descr_get(PyObject* self, PyObject* obj, PyObject*) {
    if (obj == nullptr || obj == Py_None) return Py_NewRef(self);
    return PyMethod_New(self, obj);
}

int method_traverse(PyObject* self, visitproc visit, void* arg) {
    auto* m = reinterpret_cast<MethodObject*>(self);
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(m->module);
    Py_VISIT(m->defaults);
    Py_VISIT(m->annotations);
    Py_VISIT(m->signature);
    return 0;
}

int method_clear(PyObject* self) {
    auto* m = reinterpret_cast<MethodObject*>(self);
    Py_CLEAR(m->module);
    Py_CLEAR(m->defaults);
    Py_CLEAR(m->annotations);
    Py_CLEAR(m->signature);
    return 0;
}

void method_dealloc(PyObject* self) {
    auto* m = reinterpret_cast<MethodObject*>(self);
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    method_clear(self);
    Py_CLEAR(m->name);
    Py_CLEAR(m->qualname);
    Py_CLEAR(m->module_name);
    Py_CLEAR(m->doc);
    Py_CLEAR(m->names);
    PyObject_GC_Del(self);
    Py_DECREF(type);
}

PyObject* method_repr(PyObject* self) {
    auto* m = reinterpret_cast<MethodObject*>(self);
    return PyUnicode_FromFormat("<function %U at %p>", m->qualname, self);
}

PyObject* get_annotations(PyObject* self, void*) {
    auto* m = reinterpret_cast<MethodObject*>(self);
    if (m->annotations == nullptr) {
        Ref dict = Ref::steal(PyDict_New());
        if (!dict) return nullptr;
        const auto& params = m->spec->params;
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (params[i].annotation == nullptr) continue;
            Ref text = Ref::steal(PyUnicode_FromString(params[i].annotation));
            if (!text || PyDict_SetItem(dict.get(), PyTuple_GET_ITEM(m->names, i + 1), text.get()) < 0) return nullptr;
        }
        if (m->spec->returns != nullptr) {
            Ref text = Ref::steal(PyUnicode_FromString(m->spec->returns));
            if (!text || PyDict_SetItemString(dict.get(), "return", text.get()) < 0) return nullptr;
        }
        m->annotations = dict.release();
    }
    return Py_NewRef(m->annotations);
}

Ref build_signature(MethodObject* m) {
    Ref inspect = check(PyImport_ImportModule("inspect"));
    Ref parameter = check(PyObject_GetAttrString(inspect.get(), "Parameter"));
    Ref positional = check(PyObject_GetAttrString(parameter.get(), "POSITIONAL_OR_KEYWORD"));
    Ref annotations = check(get_annotations(reinterpret_cast<PyObject*>(m), nullptr));
    Ref list = check(PyList_New(0));
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(m->names); ++i) {
        PyObject* name = PyTuple_GET_ITEM(m->names, i);
        Ref kw = check(PyDict_New());
        if (i >= m->required) check(PyDict_SetItemString(kw.get(), "default", PyTuple_GET_ITEM(m->defaults, i)));
        if (PyObject* ann = PyDict_GetItemWithError(annotations.get(), name)) {
            check(PyDict_SetItemString(kw.get(), "annotation", ann));
        } else if (PyErr_Occurred()) {
            throw Error{};
        }
        Ref args = check(PyTuple_Pack(2, name, positional.get()));
        Ref p = check(PyObject_Call(parameter.get(), args.get(), kw.get()));
        check(PyList_Append(list.get(), p.get()));
    }
    if (m->spec->var_kwargs) {
        Ref var_keyword = check(PyObject_GetAttrString(parameter.get(), "VAR_KEYWORD"));
        Ref p = check(PyObject_CallFunction(parameter.get(), "sO", "kwargs", var_keyword.get()));
        check(PyList_Append(list.get(), p.get()));
    }
    Ref signature_type = check(PyObject_GetAttrString(inspect.get(), "Signature"));
    Ref kw = check(PyDict_New());
    if (PyObject* ret = PyDict_GetItemString(annotations.get(), "return")) {
        check(PyDict_SetItemString(kw.get(), "return_annotation", ret));
    }
    Ref args = check(PyTuple_Pack(1, list.get()));
    return check(PyObject_Call(signature_type.get(), args.get(), kw.get()));
}

PyObject* get_signature(PyObject* self, void*) {
    auto* m = reinterpret_cast<MethodObject*>(self);
    if (m->signature == nullptr) {
        try {
            m->signature = build_signature(m).release();
        } catch (const Error&) {
            return nullptr;
        }
    }
    return Py_NewRef(m->signature);
}

PyObject* get_defaults(PyObject* self, void*) {
    auto* m = reinterpret_cast<MethodObject*>(self);
    Py_ssize_t total = PyTuple_GET_SIZE(m->defaults);
    if (m->required == total) Py_RETURN_NONE;
    return PyTuple_GetSlice(m->defaults, m->required, total);
}

PyMemberDef method_members[] = {
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(MethodObject, vectorcall), READONLY, nullptr},
    {"__name__", T_OBJECT, offsetof(MethodObject, name), READONLY, nullptr},
    {"__qualname__", T_OBJECT, offsetof(MethodObject, qualname), READONLY, nullptr},
    {"__module__", T_OBJECT, offsetof(MethodObject, module_name), READONLY, nullptr},
    {"__doc__", T_OBJECT, offsetof(MethodObject, doc), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyGetSetDef method_getset[] = {
    {"__annotations__", get_annotations, nullptr, nullptr, nullptr},
    {"__signature__", get_signature, nullptr, nullptr, nullptr},
    {"__defaults__", get_defaults, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot method_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(method_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(method_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(method_clear)},
    {Py_tp_repr, reinterpret_cast<void*>(method_repr)},
    {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
    {Py_tp_descr_get, reinterpret_cast<void*>(method_descr_get)},
    {Py_tp_members, method_members},
    {Py_tp_getset, method_getset},
    {0, nullptr},
};

PyType_Spec method_spec = {
    "corvault.function",
    sizeof(MethodObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_METHOD_DESCRIPTOR |
        Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    method_slots,
};

PyTypeObject* method_type() {
    static PyTypeObject* type = nullptr;
    if (type == nullptr) {
        type = reinterpret_cast<PyTypeObject*>(check(PyType_FromSpec(&method_spec)).release());
    }
    return type;
}

Ref default_value(const Default& d) {
    switch (d.tag) {
        case Default::Tag::Required: return {};
        case Default::Tag::None: return Ref::borrow(Py_None);
        case Default::Tag::Text: return check(PyUnicode_FromString(d.text));
        case Default::Tag::Integer: return check(PyLong_FromLongLong(d.integer));
        case Default::Tag::Real: return check(PyFloat_FromDouble(d.real));
        case Default::Tag::Boolean: return Ref::borrow(d.integer ? Py_True : Py_False);
    }
    return {};
}

}  // namespace

PyObject* Args::global(const Name& name) const {
    PyObject* dict = PyModule_GetDict(method_->module);
    PyObject* value = PyDict_GetItemWithError(dict, name);
    if (value == nullptr) {
        if (!PyErr_Occurred()) raise_format(PyExc_NameError, "name '%s' is not defined", name.c_str());
        throw Error{};
    }
    return value;
}

Ref make_method(const MethodSpec& spec, PyObject* module, const char* class_name) {
    const std::size_t total = spec.params.size() + 1;
    if (total > Args::kMax) throw std::logic_error("too many parameters");
    PyTypeObject* type = method_type();
    auto* m = PyObject_GC_New(MethodObject, type);
    if (m == nullptr) throw Error{};
    // Zero every field before anything can fail, so that dealloc sees a valid object.
    m->vectorcall = method_vectorcall;
    m->spec = &spec;
    m->module = m->name = m->qualname = m->module_name = m->doc = nullptr;
    m->names = m->defaults = m->annotations = m->signature = nullptr;
    m->required = 0;
    Py_INCREF(type);  // instances of a heap type own a reference to it
    Ref self = Ref::steal(reinterpret_cast<PyObject*>(m));

    m->module = Py_NewRef(module);
    m->name = check(PyUnicode_InternFromString(spec.name)).release();
    m->qualname = check(PyUnicode_FromFormat("%s.%s", class_name, spec.name)).release();
    m->module_name = check(PyModule_GetNameObject(module)).release();
    m->doc = spec.doc ? check(PyUnicode_FromString(spec.doc)).release() : Py_NewRef(Py_None);
    m->names = check(PyTuple_New(static_cast<Py_ssize_t>(total))).release();
    m->defaults = check(PyTuple_New(static_cast<Py_ssize_t>(total))).release();
    PyTuple_SET_ITEM(m->names, 0, check(PyUnicode_InternFromString("self")).release());
    PyTuple_SET_ITEM(m->defaults, 0, Py_NewRef(Py_None));
    bool seen_default = false;
    m->required = 1;
    for (std::size_t i = 0; i < spec.params.size(); ++i) {
        const Param& p = spec.params[i];
        PyTuple_SET_ITEM(m->names, i + 1, check(PyUnicode_InternFromString(p.name)).release());
        Ref def = default_value(p.def);
        if (def) {
            seen_default = true;
        } else {
            if (seen_default) throw std::logic_error("a required parameter follows a default");
            ++m->required;
        }
        PyTuple_SET_ITEM(m->defaults, i + 1, def ? def.release() : Py_NewRef(Py_None));
    }
    PyObject_GC_Track(reinterpret_cast<PyObject*>(m));
    return self;
}

namespace {

const Name kGetattribute{"__getattribute__"};

// Whether `self.<name>` is looked up on instances of `type` as on a plain object: the instance's
// dict, then the class. A class that adds __getattr__ gets a lookup function of its own, but
// __getattr__ runs only after that usual lookup has failed; only a __getattribute__ of its own
// replaces it.
bool looks_up_as_object_does(PyTypeObject* type) {
    if (type->tp_getattro == PyObject_GenericGetAttr) return true;
    return _PyType_Lookup(type, kGetattribute) == _PyType_Lookup(&PyBaseObject_Type, kGetattribute);
}

// The method object that `self.<name>` finds in its class, when it is one of ours and nothing in
// the instance shadows it; empty otherwise.
Ref unshadowed_method(PyObject* self, PyObject* name) {
    // The class and the method are held, not borrowed: the instance's dict is looked into below,
    // and that can run Python code (a key's __eq__, a collection) that gives the instance another
    // class or takes the method out of its class, and frees either.
    Ref type = Ref::borrow(reinterpret_cast<PyObject*>(Py_TYPE(self)));
    PyTypeObject* held = reinterpret_cast<PyTypeObject*>(type.get());
    if (!looks_up_as_object_does(held)) return {};
    Ref found = Ref::borrow(_PyType_Lookup(held, name));
    if (!found || Py_TYPE(found.get()) != method_type()) return {};
    Ref dict = check(PyObject_GenericGetDict(self, nullptr));
    if (check(PyDict_Contains(dict.get(), name)) != 0) return {};
    // The same code may have put another attribute in its place, or another class in the class's
    // place, and `self.<name>` now finds what that holds. The class is compared last: looking the
    // name up again can run Python code too (on a miss of the type cache, a class-dict key of the
    // same hash is compared with it), and none may run between that comparison and the answer.
    if (_PyType_Lookup(held, name) != found.get() || Py_TYPE(self) != held) return {};
    return found;
}

}  // namespace

bool is_own_method(PyObject* self, PyObject* name, const MethodSpec& spec) {
    Ref found = unshadowed_method(self, name);
    return found && reinterpret_cast<const MethodObject*>(found.get())->spec == &spec;
}

bool is_library_method(PyObject* self, PyObject* name) {
    Ref found = unshadowed_method(self, name);
    return found && utf8(name) == reinterpret_cast<const MethodObject*>(found.get())->spec->name;
}

}  // namespace pyutil
