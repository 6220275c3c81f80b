#include "kit/object_listing.hpp"

#include <string_view>

#include "kit/answers.hpp"

namespace kit {
namespace {

using pyutil::check;
using pyutil::Name;
using pyutil::Ref;

const Name kKeyField{"key"};
const Name kSizeField{"size"};
const Name kLastModifiedField{"last_modified"};
const Name kEtagField{"etag"};
const Name kObjectsField{"objects"};
const Name kIsTruncatedField{"is_truncated"};
const Name kNextMarkerField{"next_marker"};

enum { KeyField, SizeField, LastModifiedField, EtagField };  // the schema's field order

}  // namespace

Ref object_listing(const corvault::core::listing::Listing& listing) {
    Ref empty = pyutil::to_str("");
    Ref zero = check(PyLong_FromLong(0));
    // Sized once: a page holds up to a thousand entries, and appending would grow the list a
    // dozen times. Slots not yet filled are NULL, which the list's release skips.
    Ref objects = check(PyList_New(static_cast<Py_ssize_t>(listing.size())));
    for (std::size_t i = 0; i < listing.size(); ++i) {
        Ref key = text_value(listing.field(i, KeyField), empty.get());
        // Size is read as int() reads text: a sign and surrounding blanks are accepted, and an
        // element without text fails as int(None) does.
        const corvault::core::xml::Text& size_text = listing.field(i, SizeField);
        Ref size = size_text.missing() ? zero
                   : size_text.empty() ? check(PyNumber_Long(Py_None))
                                       : check(PyLong_FromUnicodeObject(pyutil::to_str(size_text.value).get(), 10));
        Ref modified = text_value(listing.field(i, LastModifiedField), empty.get());
        std::string_view tag = listing.field(i, EtagField).value;
        while (!tag.empty() && tag.front() == '"') tag.remove_prefix(1);
        while (!tag.empty() && tag.back() == '"') tag.remove_suffix(1);
        Ref etag = pyutil::to_str(tag);
        Ref entry = record({{&kKeyField, key.get()},
                            {&kSizeField, size.get()},
                            {&kLastModifiedField, modified.get()},
                            {&kEtagField, etag.get()}});
        PyList_SET_ITEM(objects.get(), static_cast<Py_ssize_t>(i), entry.release());
    }
    const bool truncated = listing.continues();
    Ref result = record({{&kObjectsField, objects.get()}, {&kIsTruncatedField, truncated ? Py_True : Py_False}});
    if (truncated) {
        Ref marker = text_value(listing.next_marker(), empty.get());
        check(PyDict_SetItem(result.get(), kNextMarkerField, marker.get()));
    }
    return result;
}

}  // namespace kit
