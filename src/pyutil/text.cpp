#include "pyutil/text.hpp"

#include <string>

namespace pyutil {
namespace {

const Name kLower{"lower"};
const Name kStrip{"strip"};

// Python's str.isspace() for ASCII: blank, \t \n \v \f \r and the separators \x1c-\x1f.
bool ascii_space(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0d) || (c >= 0x1c && c <= 0x1f); }

}  // namespace

bool is_ascii_str(PyObject* value) { return PyUnicode_Check(value) && PyUnicode_IS_ASCII(value); }

Ref lower(PyObject* value) {
    if (!is_ascii_str(value)) return check(PyObject_CallMethodNoArgs(value, kLower));
    std::string_view text = utf8(value);
    bool has_upper = false;
    for (char c : text) has_upper = has_upper || (c >= 'A' && c <= 'Z');
    if (!has_upper) return Ref::borrow(value);
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return to_str(out);
}

std::string lower_utf8(PyObject* value) {
    if (is_ascii_str(value)) {
        std::string out(utf8(value));
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    }
    Ref low = lower(value);
    if (!PyUnicode_Check(low.get())) {
        raise_format(PyExc_TypeError, "lower() returned %.200s, not str", Py_TYPE(low.get())->tp_name);
    }
    return std::string(utf8(low.get()));
}

Ref strip(PyObject* value) {
    if (!is_ascii_str(value)) return check(PyObject_CallMethodNoArgs(value, kStrip));
    std::string_view text = utf8(value);
    std::size_t begin = 0, end = text.size();
    while (begin < end && ascii_space(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && ascii_space(static_cast<unsigned char>(text[end - 1]))) --end;
    if (begin == 0 && end == text.size()) return Ref::borrow(value);
    return to_str(text.substr(begin, end - begin));
}

}  // namespace pyutil
