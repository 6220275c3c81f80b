// Downloads into a local file, whole, streamed in chunks, or in ranged parts, through the kit's
// temporary file and ranged loop. Every failure after the arguments were accepted answers False,
// and the target is replaced only by a complete object.
#include <optional>
#include <string>
#include <utility>

#include "kit/answers.hpp"
#include "kit/local_file.hpp"
#include "kit/ranged_download.hpp"
#include "kit/send_request.hpp"
#include "pyutil/call.hpp"
#include "pyutil/response.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

constexpr long long kStreamThreshold = 5LL * 1024 * 1024 * 1024;  // objects from this size are streamed
constexpr long long kDefaultChunkSize = 8LL * 1024 * 1024;

const Name kIterBytes{"iter_bytes"};
const Name kEnter{"__enter__"};
const Name kExit{"__exit__"};

// Runs `body`; an exception derived from Exception becomes the answer False.
template <class Body>
Ref false_on_failure(Body&& body) {
    try {
        return Ref::borrow(body() ? Py_True : Py_False);
    } catch (const pyutil::Error&) {
        if (!PyErr_ExceptionMatches(PyExc_Exception)) throw;
        PyErr_Clear();
        return Ref::borrow(Py_False);
    }
}

// A size argument below 1 cannot cut an object into pieces.
bool below_one(PyObject* size) {
    Ref one = check(PyLong_FromLong(1));
    return check(PyObject_RichCompareBool(size, one.get(), Py_LT)) == 1;
}

// The object's size and ETag from the client's own head(), which prints its URL and keeps its 10
// seconds; none unless it answers 200. `headers`, when given, are head's headers.
std::optional<kit::ObjectVersion> head_object(PyObject* self, PyObject* key, PyObject* headers = nullptr) {
    pyutil::Call call;
    call.arg(key);
    if (headers != nullptr) call.kw(kw::kHeaders, headers);
    Ref head = call.method(self, op::kHead);
    if (pyutil::status_code(head.get()) != 200) return std::nullopt;
    return kit::version_from_head(head.get());
}

// The streamed GET, always to the bucket's own endpoint, with the Authorization header only.
// The response is closed on every way out.
bool streamed(PyObject* self, PyObject* key, PyObject* local_path, long long chunk_size, PyObject* timeout) {
    Keep keep;
    const std::string url = object_url(pyutil::text_attr(self, kApiHost, keep), pyutil::utf8(key));
    Ref authorization = get_authorization(self, key);
    Ref headers = kit::record({{&header::kAuthorization, authorization.get()}});
    Ref keywords = kit::as_built_keywords(url, headers.get(), timeout);
    Ref client = check(PyObject_GetAttr(self, attr::kClient));
    Ref url_text = pyutil::to_str(url);
    Ref manager =
        pyutil::Call().arg(verb::kGet).arg(url_text.get()).kwargs(keywords.get()).method(client.get(), kClientStream);
    Ref response = check(PyObject_CallMethodNoArgs(manager.get(), kEnter));
    auto close = [&] {
        return Ref::steal(PyObject_CallMethodObjArgs(manager.get(), kExit, Py_None, Py_None, Py_None, nullptr));
    };
    try {
        bool done = false;
        if (pyutil::status_code(response.get()) == 200) {
            kit::TargetFile file(local_path);
            Ref size = check(PyLong_FromLongLong(chunk_size));
            Ref chunks = check(PyObject_CallMethodOneArg(response.get(), kIterBytes, size.get()));
            Ref iterator = check(PyObject_GetIter(chunks.get()));
            while (PyObject* raw = PyIter_Next(iterator.get())) {
                Ref chunk = Ref::steal(raw);
                if (PyObject_Length(chunk.get()) > 0) file.write(chunk.get());
            }
            if (PyErr_Occurred()) throw pyutil::Error{};
            file.commit();
            done = true;
        }
        check(close().release());
        return done;
    } catch (const pyutil::Error&) {
        pyutil::PendingError keep_error;
        Ref closed = close();
        throw;
    }
}

bool whole(PyObject* self, PyObject* key, PyObject* local_path) {
    Ref response = pyutil::Call().arg(key).method(self, kDownloadOp);
    if (pyutil::status_code(response.get()) != 200) return false;
    Ref content = pyutil::response_content(response.get());
    kit::TargetFile file(local_path);
    file.write(content.get());
    file.commit();
    return true;
}

// The ranged download's hooks: the size from head(), each range a signed GET of its own to the
// bucket's endpoint, both asking for the stored bytes (Accept-Encoding: identity), failures
// answered with False.
class Ranges : public kit::RangedDownload {
public:
    Ranges(PyObject* self, PyObject* key, PyObject* timeout) : self_(self), key_(key) {
        Keep keep;
        url_ = object_url(pyutil::text_attr(self, kApiHost, keep), pyutil::utf8(key));
        timeout_ = request_timeout(self, timeout);
        client_ = check(PyObject_GetAttr(self, attr::kClient));
    }

    kit::ObjectVersion object_version() override {
        Ref headers = kit::size_request_headers();
        std::optional<kit::ObjectVersion> found = head_object(self_, key_, headers.get());
        if (!found) pyutil::raise_message("获取文件信息失败");
        if (found->size == 0) pyutil::raise_message(kit::kEmptyObject);
        return std::move(*found);
    }

    Ref fetch(const kit::Part& part) override {
        Ref authorization = get_authorization(self_, key_);
        Ref headers = kit::record({{&header::kAuthorization, authorization.get()}});
        Ref part_headers = kit::part_request_headers(part);
        check(PyDict_Update(headers.get(), part_headers.get()));
        return kit::get_unread(client_.get(), url_, headers.get(), timeout_.get());
    }

    bool reports_failure_as_false() const override { return true; }

private:
    PyObject* self_;
    PyObject* key_;
    std::string url_;
    Ref timeout_, client_;
};

}  // namespace

Ref download(Args& a) {
    enum { Key, LocalPath, ChunkSize, Timeout };
    PyObject* self = a.self();
    return false_on_failure([&] {
        if (!a.is_none(ChunkSize) && below_one(a[ChunkSize])) return false;
        kit::make_parent_directories(a[LocalPath]);
        const std::optional<kit::ObjectVersion> found = head_object(self, a[Key]);
        if (!found) return false;
        const long long size = found->size;
        kit::refuse_unusable_target(a[LocalPath]);
        if (a.is_none(ChunkSize) && size < kStreamThreshold) return whole(self, a[Key], a[LocalPath]);
        const long long chunk_size = a.is_none(ChunkSize) ? kDefaultChunkSize : kit::part_size_value(a[ChunkSize]);
        Ref timeout = request_timeout(self, a[Timeout]);
        return streamed(self, a[Key], a[LocalPath], chunk_size, timeout.get());
    });
}

const pyutil::MethodSpec kDownloadSpec{
    "download",
    "Write the object `key` into the local file `local_path`; returns whether it was written whole.\n\n"
    "Objects of 5 GiB and more, and every call with `chunk_size`, are streamed in chunks of that\n"
    "many bytes (8 MiB by default); smaller ones are fetched whole. The file is replaced only by a\n"
    "complete object. `timeout` (else the client's default_timeout) applies to the streamed GET\n"
    "only: the size request waits 10 s, and the whole GET the client's default_timeout, else the\n"
    "HTTP client's own time-out.",
    "bool",
    download,
    {
        {"key", Kind::Str, "str"},
        {"local_path", Kind::Str, "str"},
        {"chunk_size", Kind::OptInt, "Optional[int]", pyutil::none()},
        kTimeoutParam,
    },
};

Ref multipart_download(Args& a) {
    enum { Key, LocalPath, PartSize, Callback, Timeout };
    return false_on_failure([&] {
        if (below_one(a[PartSize])) return false;
        Ranges ranges(a.self(), a[Key], a[Timeout]);
        const long long part_size = kit::part_size_value(a[PartSize]);
        return kit::download_to_file(ranges, a[LocalPath], part_size, a[Callback]).get() == Py_True;
    });
}

const pyutil::MethodSpec kMultipartDownloadSpec{
    "multipart_download",
    "Write the object `key` into `local_path` in ranges of `part_size` bytes, one request each,\n"
    "calling `callback(index, total_parts, bytes_done, total_bytes)` after each. Returns whether\n"
    "the object was written whole; the file is replaced only by a complete object, and a part of\n"
    "another version of it (its Content-Range total or ETag not those of head) answers False.\n"
    "head and every range ask for the stored bytes (Accept-Encoding: identity), and each range is\n"
    "written as it was sent, so an object stored with a Content-Encoding such as gzip is written\n"
    "encoded, as stored. The size request waits 10 s, whatever `timeout`.",
    "bool",
    multipart_download,
    {
        {"key", Kind::Str, "str"},
        {"local_path", Kind::Str, "str"},
        {"part_size", Kind::Int, "int", pyutil::integer(8388608)},
        {"callback", Kind::Any, kCallbackType, pyutil::none()},
        kTimeoutParam,
    },
};

}  // namespace pelora
