// One page of the bucket's object listing: a ListObjects request (continued by marker) read into
// plain records.
#include "core/listing.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

const Name kPrefixParam{"prefix"};
const Name kMarkerParam{"marker"};
const Name kMaxKeysParam{"max-keys"};
const Name kKeyField{"key"};
const Name kSizeField{"size"};
const Name kLastModifiedField{"last_modified"};
const Name kEtagField{"etag"};
const Name kObjectsField{"objects"};
const Name kIsTruncatedField{"is_truncated"};
const Name kNextMarkerField{"next_marker"};

// An element text as a record value: `missing` for no element, None for one without text.
Ref text_value(const core::xml::Text& text, PyObject* missing) {
    if (text.missing()) return Ref::borrow(missing);
    if (text.empty()) return Ref::borrow(Py_None);
    return pyutil::to_str(text.value);
}

// Runs an XML reader, turning a document that is not well-formed into the ParseError of
// xml.etree.ElementTree, which a caller parsing the answer in Python would see.
template <class Read>
auto read_answer(Read&& read) -> decltype(read()) {
    try {
        return read();
    } catch (const core::xml::ParseError& e) {
        Ref error = check(PyObject_CallFunction(g_parse_error_type, "s", e.what()));
        Ref code = check(PyLong_FromLong(e.code()));
        Ref position = check(Py_BuildValue("(ii)", e.line(), e.column()));
        check(PyObject_SetAttrString(error.get(), "code", code.get()));
        check(PyObject_SetAttrString(error.get(), "position", position.get()));
        PyErr_SetObject(g_parse_error_type, error.get());
        throw pyutil::Error{};
    }
}

Ref list_objects(Args& a) {
    enum { Prefix, Marker, Limit, Headers, Timeout };
    Ref limit_text = check(PyObject_Str(a[Limit]));
    Ref params = text_dict({{&kPrefixParam, a[Prefix]}, {&kMarkerParam, a[Marker]}, {&kMaxKeysParam, limit_text.get()}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    Ref empty_key = pyutil::to_str("");
    Ref response = object_request(a.self(), kGet, empty_key.get(), params.get(), nullptr, headers.get(), a[Timeout]);

    Ref text = pyutil::response_text(response.get());
    const core::listing::Listing listing =
        read_answer([&] { return core::listing::read(core::listing::kOssListObjects, pyutil::utf8(text.get())); });
    enum { Key, Size, LastModified, ETag };  // the schema's field order
    Ref empty = pyutil::to_str("");
    Ref zero = check(PyLong_FromLong(0));
    Ref objects = check(PyList_New(0));
    for (std::size_t i = 0; i < listing.size(); ++i) {
        Ref key = text_value(listing.field(i, Key), empty.get());
        // Size is read as int() reads text: a sign and surrounding blanks are accepted, and an
        // element without text fails as int(None) does.
        const core::xml::Text& size_text = listing.field(i, Size);
        Ref size = size_text.missing() ? zero
                   : size_text.empty() ? check(PyNumber_Long(Py_None))
                                       : check(PyLong_FromUnicodeObject(pyutil::to_str(size_text.value).get(), 10));
        Ref modified = text_value(listing.field(i, LastModified), empty.get());
        std::string_view tag = listing.field(i, ETag).value;
        while (!tag.empty() && tag.front() == '"') tag.remove_prefix(1);
        while (!tag.empty() && tag.back() == '"') tag.remove_suffix(1);
        Ref etag = pyutil::to_str(tag);
        Ref record = text_dict({{&kKeyField, key.get()}, {&kSizeField, size.get()},
                                {&kLastModifiedField, modified.get()}, {&kEtagField, etag.get()}});
        check(PyList_Append(objects.get(), record.get()));
    }
    const bool truncated = listing.continues();
    Ref result = text_dict({{&kObjectsField, objects.get()}, {&kIsTruncatedField, truncated ? Py_True : Py_False}});
    if (truncated) {
        Ref marker = text_value(listing.next_marker(), empty.get());
        check(PyDict_SetItem(result.get(), kNextMarkerField, marker.get()));
    }
    return result;
}

}  // namespace

const pyutil::MethodSpec kListSpec{
    "list",
    "One page of the objects whose keys begin with `prefix`, after the key `marker`.\n\n"
    "Returns {'objects': [{'key', 'size', 'last_modified', 'etag'}, ...], 'is_truncated': bool}\n"
    "and, when the listing continues, 'next_marker' to pass as `marker` for the next page.",
    "Dict",
    list_objects,
    {
        {"prefix", Kind::Str, "str", pyutil::text("")},
        {"marker", Kind::Str, "str", pyutil::text("")},
        {"limit", Kind::Int, "int", pyutil::integer(20)},
        kHeadersParam,
        kTimeoutParam,
    },
};

}  // namespace kestry
