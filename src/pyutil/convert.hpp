// Turning a client's attributes and its callers' mappings into the plain text the core works on.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pyutil/ref.hpp"

namespace pyutil {

// Keeps alive the objects whose UTF-8 text views handed to the core point into.
class Keep {
public:
    std::string_view text(Ref str) {
        std::string_view view = utf8(str.get());
        if (count_ < kInline) {
            inline_[count_++] = std::move(str);
        } else {
            more_.push_back(std::move(str));
        }
        return view;
    }

private:
    static constexpr std::size_t kInline = 12;  // enough for one request without allocating
    Ref inline_[kInline];
    std::size_t count_ = 0;
    std::vector<Ref> more_;
};

// An attribute of the client that must be text (TypeError naming it otherwise).
std::string_view text_attr(PyObject* self, PyObject* name, Keep& keep);
// The TypeError of text_attr, for an attribute value already read.
[[noreturn]] void raise_attr_not_text(PyObject* name, PyObject* value);
// Whether an attribute is the text `value` (an attribute of another type never is).
bool attr_is(PyObject* self, PyObject* name, std::string_view value);
bool attr_truth(PyObject* self, PyObject* name);
// setattr(self, name, value).
void set_attr(PyObject* self, PyObject* name, PyObject* value);

// A copy of a caller's dict (or None as it is) to read instead of the original. Reading calls
// caller code (__bool__, __str__, lower() and strip() of entries, properties of the client), and
// that code may change or clear the original meanwhile, freeing the very entries being read;
// the copy's entries, and views into them, live as long as the copy whatever it does.
Ref snapshot(PyObject* dict_or_none);

using BytePairs = std::vector<std::pair<std::string_view, std::string_view>>;

// The entries of a query mapping (a dict, or None for none) as raw bytes: text as UTF-8, bytes
// and bytearray as they are, which is what URL quoting accepts; names of both kinds cannot be
// ordered together. With `text_names_only`, any non-text name is refused the same way.
BytePairs query_pairs(PyObject* mapping, bool text_names_only = false);

}  // namespace pyutil
