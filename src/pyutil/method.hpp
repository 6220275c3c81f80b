// The method objects of the client classes: a small vectorcall type that binds like a Python
// function, carries its name, annotations and signature, and parses its arguments from one
// declarative table with the interpreter's own TypeError texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pyutil/ref.hpp"

namespace pyutil {

// What a declared parameter type admits. Str/Bytes/Dict/List take that exact type (no subclass),
// the Opt forms None too; NonEmptyStr takes a str as Str does and refuses "" with ValueError
// ("<name> must not be empty"), for a name whose empty form would address something else; Int
// (and OptInt, None too) takes any real number and converts it as int() does; Bool takes the
// truth value of anything; Any is not tested.
enum class Kind : std::uint8_t {
    Any,
    Str,
    OptStr,
    NonEmptyStr,
    Bytes,
    OptBytes,
    Dict,
    OptDict,
    List,
    OptList,
    Int,
    OptInt,
    Bool
};

// A default value, built once when the method object is made.
struct Default {
    enum class Tag : std::uint8_t { Required, None, Text, Integer, Real, Boolean };
    Tag tag = Tag::Required;
    const char* text = nullptr;
    long long integer = 0;
    double real = 0;
};
constexpr Default none() { return {Default::Tag::None}; }
constexpr Default text(const char* value) { return {Default::Tag::Text, value}; }
constexpr Default integer(long long value) { return {Default::Tag::Integer, nullptr, value}; }
constexpr Default real(double value) { return {Default::Tag::Real, nullptr, 0, value}; }
constexpr Default boolean(bool value) { return {Default::Tag::Boolean, nullptr, value ? 1 : 0}; }

struct Param {
    const char* name;
    Kind kind;
    const char* annotation;  // the declared type as the class shows it in __annotations__
    Default def = {};
};

class Args;
using Impl = Ref (*)(Args&);

// One method: `self` comes first implicitly; `params` follow in declaration order.
struct MethodSpec {
    const char* name;
    const char* doc;
    const char* returns;  // return annotation
    Impl impl;
    std::vector<Param> params;
    bool var_kwargs = false;  // accepts further keyword arguments
};

struct MethodObject;

// The bound arguments of one call, in declaration order (self excluded from the indices).
class Args {
public:
    static constexpr std::size_t kMax = 16;

    PyObject* self() const { return values_[0]; }
    PyObject* operator[](std::size_t i) const { return values_[i + 1]; }
    bool is_none(std::size_t i) const { return values_[i + 1] == Py_None; }
    bool flag(std::size_t i) const { return values_[i + 1] == Py_True; }
    std::string_view str(std::size_t i) const { return utf8(values_[i + 1]); }
    // The further keyword arguments, in the caller's order; NULL when there are none.
    PyObject* kwargs() const { return kwargs_.get(); }
    // A name of the defining module's namespace, read at call time (NameError when unbound).
    PyObject* global(const Name& name) const;

private:
    friend struct MethodCall;
    const MethodObject* method_ = nullptr;
    PyObject* values_[kMax + 1] = {};
    Ref converted_[kMax + 1];
    Ref kwargs_;
};

// A method object for `spec`, whose namespace for Args::global is `module`'s.
Ref make_method(const MethodSpec& spec, PyObject* module, const char* class_name);

// Whether `self.<name>` is the method made from `spec` itself, neither replaced in a subclass nor
// set on the instance: an operation may then run that step directly instead of calling it.
bool is_own_method(PyObject* self, PyObject* name, const MethodSpec& spec);

// Whether `self.<name>` is a method this library made under that name, whichever of its client
// classes made it, neither replaced in a subclass nor set on the instance: a call may then use
// keywords only this library's own methods take.
bool is_library_method(PyObject* self, PyObject* name);

}  // namespace pyutil
