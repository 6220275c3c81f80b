#include "kit/object_listing.hpp"

#include <string_view>
#include <utility>

#include "kit/answers.hpp"
#include "kit/facilities.hpp"
#include "kit/object_calls.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/names.hpp"
#include "pyutil/response.hpp"

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
    Ref marker = truncated ? text_value(listing.next_marker(), empty.get()) : Ref{};
    return listing_page(objects.get(), truncated, marker.get());
}

Ref list_through_request(PyObject* self, const corvault::core::listing::Schema& schema, PyObject* query_params,
                         PyObject* headers, PyObject* timeout) {
    Ref sent_headers = pyutil::copy_headers(headers);
    Ref empty_key = pyutil::to_str("");
    Ref response = call_object_request(self, pyutil::verb::kGet, empty_key.get(), query_params, nullptr,
                                       sent_headers.get(), timeout);
    if (Ref refused = refused_listing(response.get())) return refused;
    Ref text = pyutil::response_text(response.get());
    const corvault::core::listing::Listing listing =
        read_xml_answer([&] { return corvault::core::listing::read(schema, pyutil::utf8(text.get())); });
    // A mistyped endpoint's web page would otherwise read as an empty, finished bucket.
    if (!listing.is_listing()) return refused_page(response.get());
    return object_listing(listing);
}

Ref listing_page(PyObject* objects, bool truncated, PyObject* next_marker) {
    Ref result = record({{&kObjectsField, objects}, {&kIsTruncatedField, truncated ? Py_True : Py_False}});
    if (truncated) check(PyDict_SetItem(result.get(), kNextMarkerField, next_marker));
    return result;
}

Ref refused_page(PyObject* response) {
    Ref no_objects = check(PyList_New(0));
    Ref page = listing_page(no_objects.get(), false, nullptr);
    Ref code = check(PyLong_FromLong(pyutil::status_code(response)));
    Ref text = pyutil::response_text(response);
    return check(PyObject_CallFunctionObjArgs(facilities.refused_page, page.get(), code.get(), text.get(), nullptr));
}

Ref refused_listing(PyObject* response) {
    const long status = pyutil::status_code(response);
    return status >= 200 && status < 300 ? Ref{} : refused_page(response);
}

Ref entries_of(PyObject* items, const std::function<Ref(PyObject*)>& entry) {
    Ref objects = check(PyList_New(0));
    Ref iterator = check(PyObject_GetIter(items));
    while (PyObject* raw = PyIter_Next(iterator.get())) {
        Ref item = Ref::steal(raw);
        Ref record = entry(item.get());
        check(PyList_Append(objects.get(), record.get()));
    }
    if (PyErr_Occurred()) throw pyutil::Error{};
    return objects;
}

}  // namespace kit
