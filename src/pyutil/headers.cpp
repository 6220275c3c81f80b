#include "pyutil/headers.hpp"

#include "pyutil/text.hpp"

namespace pyutil {

bool has_key(PyObject* headers, PyObject* name) { return check(PySequence_Contains(headers, name)) == 1; }

Ref find_lower(PyObject* headers, std::string_view lowered, Ref* found_name) {
    Ref keys = check(PyObject_GetIter(headers));
    while (PyObject* raw = PyIter_Next(keys.get())) {
        Ref key = Ref::steal(raw);
        // An ASCII key keeps its length when lower-cased: most keys are ruled out without a copy.
        if (is_ascii_str(key.get()) && PyUnicode_GET_LENGTH(key.get()) != static_cast<Py_ssize_t>(lowered.size())) {
            continue;
        }
        if (lower_utf8(key.get()) != lowered) continue;
        Ref value = check(PyObject_GetItem(headers, key.get()));
        if (found_name != nullptr) *found_name = std::move(key);
        return value;
    }
    if (PyErr_Occurred()) throw Error{};
    return {};
}

void set_item(PyObject* headers, PyObject* name, PyObject* value) { check(PyObject_SetItem(headers, name, value)); }

Ref copy_headers(PyObject* headers) {
    if (headers != nullptr && PyDict_Check(headers) && PyDict_GET_SIZE(headers) > 0) {
        return check(PyDict_Copy(headers));
    }
    return check(PyDict_New());
}

std::string_view lowered_name(PyObject* name, Keep& keep) {
    Ref low = lower(name);
    if (!PyUnicode_Check(low.get())) {
        raise_format(PyExc_TypeError, "lower() returned %.200s, not str", Py_TYPE(low.get())->tp_name);
    }
    return keep.text(std::move(low));
}

std::string_view signed_value(PyObject* value, Keep& keep) {
    if (PyUnicode_Check(value)) return keep.text(Ref::borrow(value));
    Ref stripped = strip(value);
    if (!PyUnicode_Check(stripped.get())) {
        raise_format(PyExc_TypeError, "strip() returned %.200s, not str", Py_TYPE(stripped.get())->tp_name);
    }
    return keep.text(std::move(stripped));
}

void raise_not_text(PyObject* name, PyObject* value) {
    raise_format(PyExc_TypeError, "header '%S' must be str, not %.200s", name, Py_TYPE(value)->tp_name);
}

Ref str_of_value(PyObject* name, PyObject* value) {
    if (PyUnicode_CheckExact(value)) return Ref::borrow(value);
    if (PyBytes_Check(value) || PyByteArray_Check(value)) raise_not_text(name, value);
    return check(PyObject_Str(value));
}

SpelledHeader::SpelledHeader(std::string_view lowered, std::array<std::string_view, 2> preferred, Values values)
    : lowered_(lowered), preferred_(preferred), values_(values) {}

void SpelledHeader::offer(PyObject* name, std::string_view lowered, PyObject* value) {
    if (lowered != lowered_ || !check(PyObject_IsTrue(value))) return;
    if (values_ == Values::TextOnly && !PyUnicode_Check(value)) raise_not_text(name, value);
    const std::string_view spelled = PyUnicode_Check(name) ? utf8(name) : std::string_view();
    std::size_t rank = 0;
    while (rank < preferred_.size() && (preferred_[rank].empty() || spelled != preferred_[rank])) ++rank;
    if (found_[rank] == nullptr) found_[rank] = value;
}

PyObject* SpelledHeader::value() const {
    for (PyObject* candidate : found_) {
        if (candidate != nullptr) return candidate;
    }
    return nullptr;
}

std::string_view SpelledHeader::text(Keep& keep) const {
    PyObject* chosen = value();
    return chosen != nullptr ? keep.text(Ref::borrow(chosen)) : std::string_view();
}

}  // namespace pyutil
