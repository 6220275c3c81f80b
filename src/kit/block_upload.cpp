#include "kit/block_upload.hpp"

#include <limits>
#include <optional>

#include "pyutil/call.hpp"
#include "pyutil/response.hpp"

namespace kit {
namespace {

using pyutil::check;
using pyutil::Name;

const Name kUploadPartWithRetry{"_upload_part_with_retry"};
const Name kContentType{"content_type"};
const Name kHeaders{"headers"};
const Name kRetries{"retries"};
const Name kGetsize{"getsize"};
const Name kRead{"read"};
const Name kClose{"close"};
const Name kReadBinary{"rb"};
const Name kJson{"json"};
const Name kUploadId{"upload_id"};
const Name kResult{"result"};
const Name kStream{"stream"};
const Name kByteStream{"ByteStream"};

PyObject* cached_attr(PyObject*& slot, const char* module, const char* name) {
    if (slot == nullptr) {
        Ref mod = check(PyImport_ImportModule(module));
        slot = check(PyObject_GetAttrString(mod.get(), name)).release();
    }
    return slot;
}

// The file of a file source, open for the length of the loop.
class OpenFile {
public:
    explicit OpenFile(PyObject* path) {
        static PyObject* open = nullptr;
        file_ = pyutil::Call().arg(path).arg(kReadBinary).call(cached_attr(open, "io", "open"));
    }
    ~OpenFile() {
        if (!file_) return;
        pyutil::PendingError keep;  // the failure being handled wins over a failing close
        Ref closed = Ref::steal(PyObject_CallMethodNoArgs(file_.get(), kClose));
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    Ref read(long long length) {
        Ref count = check(PyLong_FromLongLong(length));
        return check(PyObject_CallMethodOneArg(file_.get(), kRead, count.get()));
    }
    void close() {
        Ref file = std::move(file_);
        check(PyObject_CallMethodNoArgs(file.get(), kClose));
    }

private:
    Ref file_;
};

// An httpx response and its stream refer to each other, so a dropped response lives on until the
// cyclic collector runs, and with it the request and the part it carried. Giving it an empty
// stream breaks the cycle: the part is freed as soon as the answer has been read.
void release_answer(PyObject* response) {
    static PyObject* byte_stream = nullptr;
    if (!pyutil::optional_attr(response, kStream)) return;  // not an httpx response: nothing to break
    Ref empty = pyutil::to_bytes("");
    Ref stream = check(PyObject_CallOneArg(cached_attr(byte_stream, "httpx", "ByteStream"), empty.get()));
    if (PyObject_SetAttr(response, kStream, stream.get()) < 0) PyErr_Clear();
}

Ref integer(long long value) { return check(PyLong_FromLongLong(value)); }

}  // namespace

PartSource PartSource::file(PyObject* path) {
    static PyObject* getsize = nullptr;
    Ref size = pyutil::Call().arg(path).call(cached_attr(getsize, "os.path", "getsize"));
    const long long bytes = PyLong_AsLongLong(size.get());
    if (bytes == -1 && PyErr_Occurred()) throw pyutil::Error{};
    return PartSource(path, nullptr, bytes);
}

PartSource PartSource::bytes(PyObject* data) { return PartSource(nullptr, data, PyBytes_GET_SIZE(data)); }

Ref upload_parts(const PartUpload& u, const PartSource& source, long long part_size) {
    const long long total_size = source.size();
    const long long total_parts = total_size / part_size + (total_size % part_size != 0 ? 1 : 0);
    const bool report = check(PyObject_IsTrue(u.callback)) == 1;
    Ref answers = check(PyList_New(0));
    std::optional<OpenFile> file;
    if (source.path() != nullptr) file.emplace(source.path());

    for (long long index = 0; index < total_parts; ++index) {
        const long long start = index * part_size;
        const long long length = total_size - start < part_size ? total_size - start : part_size;
        Ref part;
        if (file) {
            part = file->read(length);
            if (!PyBytes_Check(part.get())) {
                pyutil::raise_format(PyExc_TypeError, "read() returned %.200s, not bytes", Py_TYPE(part.get())->tp_name);
            }
            if (PyBytes_GET_SIZE(part.get()) == 0) break;  // the file has become shorter
        } else if (length == total_size) {
            part = Ref::borrow(source.data());  // the one part is the whole of it, as data[0:n] is
        } else {
            part = check(PyBytes_FromStringAndSize(PyBytes_AS_STRING(source.data()) + start, length));
        }
        Ref number = integer(u.first_number + index);
        Ref answer = pyutil::Call()
                         .arg(u.key)
                         .arg(u.upload_id)
                         .arg(number.get())
                         .arg(part.get())
                         .kw(kContentType, u.content_type)
                         .kw(kHeaders, u.headers)
                         .kw(kRetries, u.retries)
                         .method(u.self, kUploadPartWithRetry);
        part = Ref();
        Ref value = u.read_answer(answer.get());
        check(PyList_Append(answers.get(), value.get()));
        release_answer(answer.get());
        answer = Ref();
        if (report) {
            Ref done_index = integer(index);
            Ref count = integer(total_parts);
            Ref done = integer(total_size - start <= part_size ? total_size : start + part_size);
            Ref total = integer(total_size);
            Ref ignored =
                pyutil::Call().arg(done_index.get()).arg(count.get()).arg(done.get()).arg(total.get()).call(u.callback);
        }
    }
    if (file) file->close();
    return answers;
}

Ref finished_upload(PyObject* answer, PyObject* upload_id, PyObject* parts_field, PyObject* parts) {
    if (pyutil::status_code(answer) != 200) pyutil::raise_failure("完成分片失败: ", answer);
    Ref record = check(PyDict_New());
    check(PyDict_SetItem(record.get(), kUploadId, upload_id));
    check(PyDict_SetItem(record.get(), parts_field, parts));
    Ref result = check(PyObject_CallMethodNoArgs(answer, kJson));
    check(PyDict_SetItem(record.get(), kResult, result.get()));
    return record;
}

}  // namespace kit
