// The ranged download of an object into a local file.
#include <cerrno>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "core/url.hpp"
#include "pyutil/call.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

#include "dravik/shared.hpp"

namespace dravik {

// The directory part of a path: up to its last "/", without trailing "/" unless only "/" remain.
std::string_view directory_of(std::string_view path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    std::string_view head = path.substr(0, slash + 1);
    std::string_view trimmed = core::strip_trailing_slashes(head);
    return trimmed.empty() ? head : trimmed;
}

// A file beside the target that receives the parts and replaces the target only when every
// part has arrived; removed when the download fails, so that nothing partial is ever left.
// An httpx response and its stream refer to each other, so a response outlives its last reference
// until the cyclic collector runs, and with it its body: every part of a large download would pile
// up in memory. Handing the response an empty stream breaks the cycle; the body goes with the
// response as soon as the part is written.
void release_body(PyObject* response, PyObject* httpx) {
    Ref empty_stream_type = pyutil::optional_attr(httpx, kByteStream);
    if (!empty_stream_type || !pyutil::optional_attr(response, kStream)) return;
    Ref empty = pyutil::to_bytes("");
    Ref stream = check(PyObject_CallOneArg(empty_stream_type.get(), empty.get()));
    if (PyObject_SetAttr(response, kStream, stream.get()) < 0) PyErr_Clear();  // not an httpx response
}

class PartFile {
public:
    explicit PartFile(std::string_view target) : target_(pyutil::to_str(target)) {
        std::random_device random;
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%08x%08x.part", random(), random());
        const std::size_t name_start = target.rfind('/') == std::string_view::npos ? 0 : target.rfind('/') + 1;
        std::string path(target.substr(0, name_start));
        path.append(".").append(target.substr(name_start)).append(suffix);
        Ref path_text = pyutil::to_str(path);
        file_ = pyutil::Call().arg(path_text.get()).arg(kExclusiveBinary).call(g_open);
        path_ = std::move(path_text);  // only a file this object created is ever removed
    }
    ~PartFile() {
        if (!path_) return;
        pyutil::PendingError keep;  // the failure that brought us here wins over clean-up failures
        if (file_) Ref closed = Ref::steal(PyObject_CallMethodNoArgs(file_.get(), kClose));
        Ref removed = Ref::steal(PyObject_CallMethodOneArg(g_os, kUnlink, path_.get()));
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

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

Ref multipart_download(Args& a) {
    enum { Key, LocalPath, PartSize, Callback, Timeout };
    PyObject* self = a.self();
    int overflow = 0;
    long long part_size = PyLong_AsLongLongAndOverflow(a[PartSize], &overflow);
    if (part_size == -1 && PyErr_Occurred()) throw pyutil::Error{};
    if (overflow > 0) part_size = std::numeric_limits<long long>::max();
    if (overflow < 0 || part_size < 1) {
        pyutil::raise_format(PyExc_ValueError, "part_size must be at least 1, not %S", a[PartSize]);
    }

    const std::string_view local_path = a.str(LocalPath);
    if (std::string_view dir = directory_of(local_path); !dir.empty()) {
        Ref dir_text = pyutil::to_str(dir);
        Ref made = pyutil::Call().arg(dir_text.get()).kw(kExistOk, Py_True).method(g_os, kMakedirs);
    }

    Ref head_response = pyutil::Call().arg(a[Key]).kw(kTimeout, a[Timeout]).method(self, kHeadMethod);
    if (pyutil::status_code(head_response.get()) != 200) pyutil::raise_failure("获取文件信息失败: ", head_response.get());
    Ref response_headers = check(PyObject_GetAttr(head_response.get(), kHeaders));
    Ref zero = check(PyLong_FromLong(0));
    Ref length = pyutil::Call().arg(kContentLengthHeader).arg(zero.get()).method(response_headers.get(), kGetMethod);
    Ref size_number = PyLong_Check(length.get()) ? length : check(PyNumber_Long(length.get()));
    const long long file_size = PyLong_AsLongLong(size_number.get());
    if (file_size == -1 && PyErr_Occurred()) throw pyutil::Error{};
    if (file_size == 0) pyutil::raise_message("文件大小为 0");
    const long long total_parts = file_size / part_size + (file_size % part_size != 0 ? 1 : 0);

    Ref is_dir = pyutil::Call().arg(a[LocalPath]).method(g_os_path, kIsdir);
    if (check(PyObject_IsTrue(is_dir.get()))) {
        // Found now rather than after the whole object has been fetched.
        errno = EISDIR;
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, a[LocalPath]);
        throw pyutil::Error{};
    }
    PartFile file(local_path);
    const bool report = check(PyObject_IsTrue(a[Callback])) == 1;
    for (long long part = 0; part < total_parts; ++part) {
        const long long start = part * part_size;
        const long long end = file_size - 1 - start < part_size - 1 ? file_size - 1 : start + part_size - 1;
        Ref range = pyutil::to_str("bytes=" + std::to_string(start) + "-" + std::to_string(end));
        Ref headers = text_dict({{&kRangeHeader, range.get()}});
        Ref response = object_request(self, kGet, a[Key], nullptr, nullptr, headers.get(), a[Timeout]);
        const long status = pyutil::status_code(response.get());
        if (status != 200 && status != 206) {
            const std::string prefix = "下载分片 " + std::to_string(part + 1) + " 失败: ";
            pyutil::raise_failure(prefix.c_str(), response.get());
        }
        Ref body = pyutil::response_content(response.get());
        const long long expected = end - start + 1;
        if (PyBytes_GET_SIZE(body.get()) != expected) {
            // A server that ignores Range answers with the whole object: refuse it rather than
            // assemble a file of the wrong size.
            const std::string message = "下载分片 " + std::to_string(part + 1) + " 失败: " + std::to_string(status) +
                                        " 应收到 " + std::to_string(expected) + " 字节, 实际收到 " +
                                        std::to_string(PyBytes_GET_SIZE(body.get())) + " 字节";
            pyutil::raise_message(message.c_str());
        }
        file.write(body.get());
        release_body(response.get(), a.global(kHttpx));
        if (report) {
            Ref index = check(PyLong_FromLongLong(part));
            Ref count = check(PyLong_FromLongLong(total_parts));
            Ref done = check(PyLong_FromLongLong(part + 1 == total_parts ? file_size : (part + 1) * part_size));
            Ref total = check(PyLong_FromLongLong(file_size));
            Ref ignored = pyutil::Call().arg(index.get()).arg(count.get()).arg(done.get()).arg(total.get()).call(a[Callback]);
        }
    }
    file.commit();
    return Ref::borrow(Py_True);
}

const pyutil::MethodSpec kMultipartDownloadSpec{
    "multipart_download",
    "Download the object `key` into `local_path` in ranges of `part_size` bytes, one after another.\n\n"
    "`callback(part_index, total_parts, bytes_done, total_bytes)` is called after each part. The\n"
    "file is written beside the target and put in its place only when every part has arrived, so\n"
    "a failed download leaves no partial file. Returns True; every failure raises.",
    "bool",
    multipart_download,
    {
        {"key", Kind::Str, "str"},
        {"local_path", Kind::Str, "str"},
        {"part_size", Kind::Int, "int", pyutil::integer(8388608)},
        {"callback", Kind::Any, "Optional[Callable[[int, int, int, int], None]]", pyutil::none()},
        kTimeoutParam,
    },
};

}  // namespace dravik
