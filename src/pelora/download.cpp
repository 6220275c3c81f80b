// Downloads into a local file, whole, streamed in chunks, or in ranged parts. Every failure after
// the arguments were accepted answers False; the target is replaced only by a complete object.
#include <cstdio>
#include <random>
#include <string>

#include "pyutil/call.hpp"
#include "pyutil/response.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

constexpr long long kStreamThreshold = 5LL * 1024 * 1024 * 1024;  // objects from this size are streamed
constexpr long long kDefaultChunkSize = 8LL * 1024 * 1024;

const Name kDirname{"dirname"};
const Name kMakedirs{"makedirs"};
const Name kExistOk{"exist_ok"};
const Name kIterBytes{"iter_bytes"};
const Name kEnter{"__enter__"};
const Name kExit{"__exit__"};
const Name kResponseHeaders{"headers"};
const Name kExclusiveBinary{"xb"};
const Name kClose{"close"};
const Name kWrite{"write"};
const Name kUnlink{"unlink"};
const Name kReplace{"replace"};

// PHASE-A GLUE: the kit's temporary-file target takes this class's place.
class TargetFile {
public:
    explicit TargetFile(PyObject* target) : target_(Ref::borrow(target)) {
        std::string_view path = pyutil::utf8(target);
        std::random_device random;
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%08x%08x.part", random(), random());
        const std::size_t name_start = path.rfind('/') == std::string_view::npos ? 0 : path.rfind('/') + 1;
        std::string part(path.substr(0, name_start));
        part.append(".").append(path.substr(name_start)).append(suffix);
        Ref part_text = pyutil::to_str(part);
        file_ = pyutil::Call().arg(part_text.get()).arg(kExclusiveBinary).call(g_open);
        path_ = std::move(part_text);
    }
    ~TargetFile() {
        if (!path_) return;
        pyutil::PendingError keep;
        if (file_) Ref closed = Ref::steal(PyObject_CallMethodNoArgs(file_.get(), kClose));
        Ref removed = Ref::steal(PyObject_CallMethodOneArg(g_os, kUnlink, path_.get()));
    }
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    void write(PyObject* bytes) { check(PyObject_CallMethodOneArg(file_.get(), kWrite, bytes)); }
    void commit() {
        check(PyObject_CallMethodNoArgs(file_.get(), kClose));
        file_ = Ref();
        Ref replaced = pyutil::Call().arg(path_.get()).arg(target_.get()).method(g_os, kReplace);
        path_ = Ref();
    }

private:
    Ref target_, path_, file_;
};

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

void make_parent_directory(PyObject* local_path) {
    Ref directory = pyutil::Call().arg(local_path).method(g_os_path, kDirname);
    if (PyUnicode_GET_LENGTH(directory.get()) == 0) return;
    Ref made = pyutil::Call().arg(directory.get()).kw(kExistOk, Py_True).method(g_os, kMakedirs);
}

// The object's size from the client's own head(): -1 unless it answers 200.
long long object_size(PyObject* self, PyObject* key) {
    Ref head = pyutil::Call().arg(key).method(self, kHeadMethod);
    if (pyutil::status_code(head.get()) != 200) return -1;
    Ref headers = check(PyObject_GetAttr(head.get(), kResponseHeaders));
    Ref zero = check(PyLong_FromLong(0));
    Ref length = pyutil::Call().arg(kContentLengthHeader).arg(zero.get()).method(headers.get(), kHttpGet);
    Ref number = check(PyNumber_Long(length.get()));
    const long long size = PyLong_AsLongLong(number.get());
    if (size == -1 && PyErr_Occurred()) throw pyutil::Error{};
    return size;
}

bool streamed(PyObject* self, PyObject* key, PyObject* local_path, long long chunk_size, PyObject* timeout) {
    Keep keep;
    Ref url = pyutil::to_str(object_url(pyutil::text_attr(self, kApiHost, keep), pyutil::utf8(key)));
    Ref authorization = get_authorization(self, key);
    Ref headers = text_dict({{&kAuthorizationHeader, authorization.get()}});
    Ref client = check(PyObject_GetAttr(self, kClient));
    Ref manager = pyutil::Call()
                      .arg(kGet)
                      .arg(url.get())
                      .kw(kHeaders, headers.get())
                      .kw(kTimeout, timeout)
                      .method(client.get(), kHttpStream);
    Ref response = check(PyObject_CallMethodNoArgs(manager.get(), kEnter));
    bool done = false;
    try {
        if (pyutil::status_code(response.get()) == 200) {
            TargetFile file(local_path);
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
    } catch (const pyutil::Error&) {
        pyutil::PendingError keep_error;
        Ref exited = Ref::steal(PyObject_CallMethod(manager.get(), "__exit__", "OOO", Py_None, Py_None, Py_None));
        throw;
    }
    Ref exited = check(PyObject_CallMethod(manager.get(), "__exit__", "OOO", Py_None, Py_None, Py_None));
    return done;
}

bool whole(PyObject* self, PyObject* key, PyObject* local_path) {
    Ref response = pyutil::Call().arg(key).method(self, kDownloadMethod);
    if (pyutil::status_code(response.get()) != 200) return false;
    Ref content = pyutil::response_content(response.get());
    TargetFile file(local_path);
    file.write(content.get());
    file.commit();
    return true;
}

}  // namespace

Ref download(Args& a) {
    enum { Key, LocalPath, ChunkSize, Timeout };
    PyObject* self = a.self();
    return false_on_failure([&] {
        if (!a.is_none(ChunkSize) && below_one(a[ChunkSize])) return false;
        make_parent_directory(a[LocalPath]);
        const long long size = object_size(self, a[Key]);
        if (size < 0) return false;
        Ref timeout = request_timeout(self, a[Timeout]);
        if (a.is_none(ChunkSize) && size < kStreamThreshold) return whole(self, a[Key], a[LocalPath]);
        long long chunk_size = kDefaultChunkSize;
        if (!a.is_none(ChunkSize)) {
            int overflow = 0;
            chunk_size = PyLong_AsLongLongAndOverflow(a[ChunkSize], &overflow);
            if (overflow > 0) chunk_size = kStreamThreshold;  // any chunk larger than memory allows
            if (chunk_size == -1 && PyErr_Occurred()) throw pyutil::Error{};
        }
        return streamed(self, a[Key], a[LocalPath], chunk_size, timeout.get());
    });
}

const pyutil::MethodSpec kDownloadSpec{
    "download",
    "Write the object `key` into the local file `local_path`; returns whether it was written whole.\n\n"
    "Objects of 5 GiB and more, and every call with `chunk_size`, are streamed in chunks of that\n"
    "many bytes (8 MiB by default); smaller ones are fetched whole. The file is replaced only by a\n"
    "complete object.",
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
    PyObject* self = a.self();
    return false_on_failure([&] {
        if (below_one(a[PartSize])) return false;
        make_parent_directory(a[LocalPath]);
        const long long file_size = object_size(self, a[Key]);
        if (file_size <= 0) return false;
        int overflow = 0;
        long long part_size = PyLong_AsLongLongAndOverflow(a[PartSize], &overflow);
        if (overflow > 0 || part_size > file_size) part_size = file_size;
        const long long total_parts = file_size / part_size + (file_size % part_size != 0 ? 1 : 0);
        Keep keep;
        Ref url = pyutil::to_str(object_url(pyutil::text_attr(self, kApiHost, keep), a.str(Key)));
        Ref timeout = request_timeout(self, a[Timeout]);
        Ref client = check(PyObject_GetAttr(self, kClient));
        const bool report = truthy(a[Callback]);
        TargetFile file(a[LocalPath]);
        for (long long part = 0; part < total_parts; ++part) {
            const long long start = part * part_size;
            const long long end = std::min(start + part_size, file_size) - 1;
            Ref authorization = get_authorization(self, a[Key]);
            Ref range = pyutil::to_str("bytes=" + std::to_string(start) + "-" + std::to_string(end));
            Ref headers = text_dict({{&kAuthorizationHeader, authorization.get()}, {&kRangeHeader, range.get()}});
            Ref response = pyutil::Call()
                               .arg(url.get())
                               .kw(kHeaders, headers.get())
                               .kw(kTimeout, timeout.get())
                               .method(client.get(), kHttpGet);
            const long status = pyutil::status_code(response.get());
            if (status != 200 && status != 206) return false;
            Ref body = pyutil::response_content(response.get());
            if (PyBytes_GET_SIZE(body.get()) != end - start + 1) return false;
            file.write(body.get());
            if (report) {
                Ref index = check(PyLong_FromLongLong(part));
                Ref count = check(PyLong_FromLongLong(total_parts));
                Ref done = check(PyLong_FromLongLong(end + 1));
                Ref total = check(PyLong_FromLongLong(file_size));
                Ref ignored =
                    pyutil::Call().arg(index.get()).arg(count.get()).arg(done.get()).arg(total.get()).call(a[Callback]);
            }
        }
        file.commit();
        return true;
    });
}

const pyutil::MethodSpec kMultipartDownloadSpec{
    "multipart_download",
    "Write the object `key` into `local_path` in ranges of `part_size` bytes, one request each,\n"
    "calling `callback(index, total_parts, bytes_done, total_bytes)` after each. Returns whether\n"
    "the object was written whole; the file is replaced only by a complete object.",
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
