// Operations over many objects: bucket statistics, batch delete, delete by prefix.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/digest.hpp"
#include "core/encoding.hpp"
#include "core/s3_answers.hpp"
#include "core/xml_writer.hpp"
#include "kit/answers.hpp"
#include "kit/facilities.hpp"
#include "pyutil/call.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

#include "dravik/shared.hpp"

namespace dravik {

// Operations called through the object, and their keywords.
const Name kIterObjectsOp{"iter_objects"};
const Name kListOp{"list"};
const Name kDeleteObjectsOp{"delete_objects"};
const Name kPrefixKeyword{"prefix"};
const Name kLimitKeyword{"limit"};
const Name kDeleteParam{"delete"};
// Fields of the result records.
const Name kObjectCountField{"object_count"};
const Name kTotalSizeField{"total_size"};
const Name kDeletedField{"deleted"};
const Name kErrorsField{"errors"};
const Name kCodeField{"code"};
const Name kMessageField{"message"};

Ref get_bucket_stats(Args& a) {
    Ref count = check(PyLong_FromLong(0));
    Ref total = check(PyLong_FromLong(0));
    Ref one = check(PyLong_FromLong(1));
    Ref zero = check(PyLong_FromLong(0));
    Ref entries = pyutil::Call().method(a.self(), kIterObjectsOp);
    Ref iterator = check(PyObject_GetIter(entries.get()));
    while (PyObject* raw = PyIter_Next(iterator.get())) {
        Ref entry = Ref::steal(raw);
        count = check(PyNumber_Add(count.get(), one.get()));
        Ref size = pyutil::Call().arg(kSizeField).arg(zero.get()).method(entry.get(), method::kGet);
        total = check(PyNumber_Add(total.get(), size.get()));
    }
    if (PyErr_Occurred()) throw pyutil::Error{};
    return kit::record({{&kObjectCountField, count.get()}, {&kTotalSizeField, total.get()}});
}

const pyutil::MethodSpec kGetBucketStatsSpec{
    "get_bucket_stats",
    "Object count and total size of the bucket: {'object_count', 'total_size'} (walks every object).",
    "Dict",
    get_bucket_stats,
    {},
};

constexpr Py_ssize_t kDeleteBatch = 1000;  // the most keys the service takes in one request

Ref delete_objects(Args& a) {
    enum { Keys, Timeout };
    PyObject* self = a.self();
    Ref keys = check(PyList_GetSlice(a[Keys], 0, PyList_GET_SIZE(a[Keys])));  // unaffected by changes meanwhile
    // Every key is checked before the first batch goes out, so that a bad key late in the list
    // never leaves the earlier batches deleted and the rest not.
    std::vector<std::string_view> texts;
    texts.reserve(static_cast<std::size_t>(PyList_GET_SIZE(keys.get())));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i) {
        PyObject* key = PyList_GET_ITEM(keys.get(), i);
        if (!PyUnicode_Check(key)) {
            pyutil::raise_format(PyExc_TypeError, "keys must be str, not %.200s", Py_TYPE(key)->tp_name);
        }
        texts.push_back(pyutil::utf8(key));
    }
    Ref deleted = check(PyList_New(0));
    Ref errors = check(PyList_New(0));
    Ref empty = pyutil::to_str("");
    Ref query = kit::record({{&kDeleteParam, empty.get()}});
    for (Py_ssize_t start = 0; start < PyList_GET_SIZE(keys.get()); start += kDeleteBatch) {
        const Py_ssize_t stop = std::min(start + kDeleteBatch, PyList_GET_SIZE(keys.get()));
        const std::vector<std::string_view> batch(texts.begin() + start, texts.begin() + stop);
        const std::string body = core::s3::delete_objects_body(batch);
        Ref data = pyutil::to_bytes(body);
        Ref md5 = pyutil::to_str(core::base64(core::md5(body)));
        Ref headers = kit::record({{&header::kContentType, kApplicationXml}, {&header::kContentMd5, md5.get()}});
        Ref response = pyutil::Call()
                           .arg(verb::kPost)
                           .arg(empty.get())
                           .kw(kw::kQueryParams, query.get())
                           .kw(kw::kData, data.get())
                           .kw(kw::kHeaders, headers.get())
                           .kw(kw::kTimeout, a[Timeout])
                           .method(self, kBucketRequestOp);
        if (pyutil::status_code(response.get()) != 200) pyutil::raise_failure("批量删除失败: ", response.get());

        Ref text = pyutil::response_text(response.get());
        const core::s3::DeleteResult result =
            kit::read_xml_answer([&] { return core::s3::parse_delete_result(pyutil::utf8(text.get())); });
        if (result.refused) pyutil::raise_failure("批量删除失败: ", response.get());
        for (const core::xml::Text& key : result.deleted) {
            if (key.state != core::xml::Text::State::Value) continue;
            Ref value = pyutil::to_str(key.value);
            check(PyList_Append(deleted.get(), value.get()));
        }
        for (const core::s3::DeleteError& error : result.errors) {
            Ref key = kit::text_value(error.key, empty.get());
            Ref code = kit::text_value(error.code, empty.get());
            Ref message = kit::text_value(error.message, empty.get());
            Ref record =
                kit::record({{&kKeyField, key.get()}, {&kCodeField, code.get()}, {&kMessageField, message.get()}});
            check(PyList_Append(errors.get(), record.get()));
        }
    }
    return kit::record({{&kDeletedField, deleted.get()}, {&kErrorsField, errors.get()}});
}

const pyutil::MethodSpec kDeleteObjectsSpec{
    "delete_objects",
    "Delete `keys` in batches of 1000: {'deleted': [keys], 'errors': [{'key', 'code', 'message'}]}.",
    "Dict",
    delete_objects,
    {{"keys", Kind::List, "List[str]"}, kTimeoutParam},
};

namespace {

// A walk that stops before the listing is empty: the keys left were neither deleted nor
// reported, and returning the count would call the prefix cleared.
[[noreturn]] void raise_unfinished(PyObject* count) {
    pyutil::raise_format(PyExc_Exception, "%s%S%s", "按前缀删除未完成: 已删除 ", count, " 个对象, 其余对象未能删除");
}

// The keys of one listing page, every one checked to begin with `prefix`: a service that lists
// other keys must not get them deleted.
Ref keys_under_prefix(PyObject* listing, PyObject* prefix) {
    Ref empty_list = check(PyList_New(0));
    Ref objects = pyutil::Call().arg(kObjectsField).arg(empty_list.get()).method(listing, method::kGet);
    Ref keys = check(PyList_New(0));
    Ref iterator = check(PyObject_GetIter(objects.get()));
    while (PyObject* raw = PyIter_Next(iterator.get())) {
        Ref entry = Ref::steal(raw);
        Ref key = check(PyObject_GetItem(entry.get(), kKeyField));
        const Py_ssize_t inside =
            PyUnicode_Check(key.get()) ? PyUnicode_Tailmatch(key.get(), prefix, 0, PY_SSIZE_T_MAX, -1) : 0;
        if (inside < 0) throw pyutil::Error{};
        if (inside == 0) {
            pyutil::raise_format(PyExc_Exception, "%s%R%s%R%s", "按前缀删除失败: 列出的键 ", key.get(), " 不以前缀 ",
                                 prefix, " 开头");
        }
        check(PyList_Append(keys.get(), key.get()));
    }
    if (PyErr_Occurred()) throw pyutil::Error{};
    return keys;
}

}  // namespace

Ref delete_by_prefix(Args& a) {
    enum { Prefix, Timeout };
    PyObject* self = a.self();
    Ref count = check(PyLong_FromLong(0));
    Ref batch_size = check(PyLong_FromSsize_t(kDeleteBatch));
    Ref previous;
    for (;;) {
        Ref listing = pyutil::Call()
                          .kw(kPrefixKeyword, a[Prefix])
                          .kw(kLimitKeyword, batch_size.get())
                          .kw(kw::kTimeout, a[Timeout])
                          .method(self, kListOp);
        // A refused listing is no empty bucket.
        pyutil::Call().arg(listing.get()).call(kit::facilities.raise_if_refused);
        Ref keys = keys_under_prefix(listing.get(), a[Prefix]);
        if (PyList_GET_SIZE(keys.get()) == 0) break;
        // Keys listed again after their delete was reported: asking for them again could go on
        // for ever.
        if (previous && check(PyObject_RichCompareBool(previous.get(), keys.get(), Py_EQ)))
            raise_unfinished(count.get());
        Ref result = pyutil::Call().arg(keys.get()).kw(kw::kTimeout, a[Timeout]).method(self, kDeleteObjectsOp);
        Ref no_keys = check(PyList_New(0));
        Ref deleted = pyutil::Call().arg(kDeletedField).arg(no_keys.get()).method(result.get(), method::kGet);
        const Py_ssize_t n = PyObject_Length(deleted.get());
        if (n < 0) throw pyutil::Error{};
        Ref n_number = check(PyLong_FromSsize_t(n));
        count = check(PyNumber_Add(count.get(), n_number.get()));
        Ref truncated = pyutil::Call().arg(kIsTruncatedField).method(listing.get(), method::kGet);
        // The last page: keys the service kept are in its errors, and are not counted.
        if (!check(PyObject_IsTrue(truncated.get()))) break;
        // More pages wait behind this one, and the next pass would list the same keys again.
        if (n == 0) raise_unfinished(count.get());
        previous = keys;
    }
    return count;
}

const pyutil::MethodSpec kDeleteByPrefixSpec{
    "delete_by_prefix",
    "Delete every object whose key begins with `prefix`; returns how many were reported deleted.",
    "int",
    delete_by_prefix,
    {{"prefix", Kind::Str, "str"}, kTimeoutParam},
};

}  // namespace dravik
