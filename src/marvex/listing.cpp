// One page of the bucket's listing, read from the region's listing host into the shared record.
#include "core/encoding.hpp"
#include "kit/object_listing.hpp"
#include "marvex/marvex.hpp"
#include "pyutil/call.hpp"

namespace marvex {
namespace {

const Name kRsfUrl{"_rsf_url"};
const Name kItems{"items"};
const Name kMarker{"marker"};

constexpr long kMostItems = 1000;  // the largest page the service serves

// A field of an object entry, the answer item's member it copies, and whether a missing member
// counts as the empty text (else as 0).
struct EntryField {
    Name field;
    Name member;
    bool text;
};
const EntryField kEntryFields[] = {
    {Name{"key"}, Name{"key"}, true},
    {Name{"size"}, Name{"fsize"}, false},
    {Name{"put_time"}, Name{"putTime"}, true},
    {Name{"hash"}, Name{"hash"}, true},
    {Name{"mime_type"}, Name{"mimeType"}, true},
};

void append_pair(std::string& query, const char* name, std::string_view value) {
    if (!query.empty()) query += '&';
    query += name;
    query += '=';
    corvault::core::form_encode_append(query, value);
}

Ref object_entry(PyObject* item, PyObject* empty_text, PyObject* zero) {
    Ref entry = check(PyDict_New());
    for (const EntryField& f : kEntryFields) {
        Ref value = get_or(item, f.member, f.text ? empty_text : zero);
        check(PyDict_SetItem(entry.get(), f.field, value.get()));
    }
    return entry;
}

}  // namespace

static Ref list_objects(Args& a) {
    enum { Prefix, Marker, Limit, Headers, Timeout };
    PyObject* self = a.self();
    Keep keep;
    int overflow = 0;
    const long long wanted = PyLong_AsLongLongAndOverflow(a[Limit], &overflow);
    if (wanted == -1 && PyErr_Occurred()) throw pyutil::Error{};
    const bool capped = overflow > 0 || (overflow == 0 && wanted > kMostItems);
    Ref limit = capped ? check(PyLong_FromLong(kMostItems)) : Ref::borrow(a[Limit]);
    std::string query;
    append_pair(query, "bucket", pyutil::text_attr(self, attr::kBucket, keep));
    append_pair(query, "limit", keep.text(check(PyObject_Str(limit.get()))));
    if (!a.str(Prefix).empty()) append_pair(query, "prefix", a.str(Prefix));
    if (!a.str(Marker).empty()) append_pair(query, "marker", a.str(Marker));
    Ref path = pyutil::to_str("/list?" + query);

    Ref base = check(PyObject_GetAttr(self, kRsfUrl));
    if (base.get() == Py_None) {
        Ref region = check(PyObject_GetAttr(self, attr::kRegion));
        pyutil::raise_format(PyExc_ValueError, "the endpoints of region %R name no listing host (\"rsf\")",
                             region.get());
    }
    Ref response = send_management_request(self, base.get(), verb::kGet, path.get(), Py_None, a[Timeout]);

    if (Ref refused = kit::refused_listing(response.get())) return refused;
    Ref answer = check(PyObject_CallMethodNoArgs(response.get(), kJson));
    Ref empty_list = check(PyList_New(0));
    Ref empty_text = pyutil::to_str("");
    Ref zero = check(PyLong_FromLong(0));
    Ref items = get_or(answer.get(), kItems, empty_list.get());
    Ref objects =
        kit::entries_of(items.get(), [&](PyObject* item) { return object_entry(item, empty_text.get(), zero.get()); });
    Ref marker = get_or(answer.get(), kMarker, empty_text.get());
    const bool truncated = check(PyObject_IsTrue(marker.get())) == 1;
    return kit::listing_page(objects.get(), truncated, marker.get());
}

const pyutil::MethodSpec kListSpec{
    "list",
    "One page of the objects whose keys begin with `prefix` (at most `limit`, 1000 at most).\n\n"
    "Returns {'objects': [{'key', 'size', 'put_time', 'hash', 'mime_type'}, ...],\n"
    "'is_truncated': bool} and, when the listing continues, 'next_marker' to pass as `marker`."
    "\n\n" CORVAULT_JSON_LISTING_FAILURES_DOC,
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

}  // namespace marvex
