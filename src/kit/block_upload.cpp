#include "kit/block_upload.hpp"

#include <sys/stat.h>

#include <optional>

#include "core/transfer.hpp"
#include "kit/facilities.hpp"
#include "kit/local_file.hpp"
#include "pyutil/call.hpp"
#include "pyutil/names.hpp"
#include "pyutil/response.hpp"

namespace kit {
namespace {

using corvault::core::transfer::Part;
using corvault::core::transfer::Parts;
using pyutil::check;
using pyutil::Name;
namespace kw = pyutil::kw;
namespace method = pyutil::method;

const Name kUploadPartWithRetry{"_upload_part_with_retry"};
const Name kContentType{"content_type"};
const Name kRetries{"retries"};
const Name kStat{"stat"};
const Name kStMode{"st_mode"};
const Name kStSize{"st_size"};
const Name kReadBinary{"rb"};
const Name kJson{"json"};
const Name kUploadId{"upload_id"};
const Name kResult{"result"};

// The file of a file source, open for the length of the loop.
class OpenFile {
public:
    explicit OpenFile(PyObject* path) { file_ = pyutil::Call().arg(path).arg(kReadBinary).call(facilities.open); }
    ~OpenFile() {
        if (!file_) return;
        pyutil::PendingError keep;  // the failure being handled wins over a failing close
        Ref closed = Ref::steal(PyObject_CallMethodNoArgs(file_.get(), method::kClose));
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    Ref read(long long length) {
        Ref count = check(PyLong_FromLongLong(length));
        Ref part = check(PyObject_CallMethodOneArg(file_.get(), method::kRead, count.get()));
        if (!PyBytes_Check(part.get())) {
            pyutil::raise_format(PyExc_TypeError, "read() returned %.200s, not bytes", Py_TYPE(part.get())->tp_name);
        }
        return part;
    }
    void close() {
        Ref file = std::move(file_);
        check(PyObject_CallMethodNoArgs(file.get(), method::kClose));
    }

private:
    Ref file_;
};

Ref integer(long long value) { return check(PyLong_FromLongLong(value)); }

void report(PyObject* callback, const Part& part, const Parts& parts) {
    Ref index = integer(part.index);
    Ref count = integer(parts.count());
    Ref done = integer(part.done());
    Ref total = integer(parts.size());
    Ref ignored = pyutil::Call().arg(index.get()).arg(count.get()).arg(done.get()).arg(total.get()).call(callback);
}

}  // namespace

PartSource PartSource::file(PyObject* path) {
    Ref status = pyutil::Call().arg(path).method(facilities.os, kStat);
    Ref mode = check(PyObject_GetAttr(status.get(), kStMode));
    const long mode_bits = PyLong_AsLong(mode.get());
    if (mode_bits == -1 && PyErr_Occurred()) throw pyutil::Error{};
    // The file system reports 0 for a pipe or a socket, whatever will flow through it: its parts
    // would be none, and an empty object would take the key.
    if (!S_ISREG(mode_bits)) {
        pyutil::raise_format(PyExc_ValueError,
                             "%R is not a regular file: a pipe, socket or device has no size to "
                             "upload in parts",
                             path);
    }
    Ref size = check(PyObject_GetAttr(status.get(), kStSize));
    const long long bytes = PyLong_AsLongLong(size.get());
    if (bytes == -1 && PyErr_Occurred()) throw pyutil::Error{};
    return PartSource(path, nullptr, bytes);
}

PartSource PartSource::bytes(PyObject* data) { return PartSource(nullptr, data, PyBytes_GET_SIZE(data)); }

Ref upload_parts(const PartUpload& u, const PartSource& source, long long part_size) {
    const Parts parts(source.size(), part_size);
    const bool progress = check(PyObject_IsTrue(u.callback)) == 1;
    Ref answers = check(PyList_New(0));
    std::optional<OpenFile> file;
    if (source.path() != nullptr) file.emplace(source.path());

    for (long long i = 0; i < parts.count(); ++i) {
        const Part part = parts[i];
        Ref bytes;
        if (file) {
            bytes = file->read(part.length);
            if (PyBytes_GET_SIZE(bytes.get()) == 0) break;  // the file has become shorter
        } else if (part.length == parts.size()) {
            bytes = Ref::borrow(source.data());  // the one part is the whole of it, as data[0:n] is
        } else {
            bytes = check(PyBytes_FromStringAndSize(PyBytes_AS_STRING(source.data()) + part.offset, part.length));
        }
        Ref number = integer(u.first_number + part.index);
        Ref answer = pyutil::Call()
                         .arg(u.key)
                         .arg(u.upload_id)
                         .arg(number.get())
                         .arg(bytes.get())
                         .kw(kContentType, u.content_type)
                         .kw(kw::kHeaders, u.headers)
                         .kw(kRetries, u.retries)
                         .method(u.self, kUploadPartWithRetry);
        bytes = Ref();
        Ref value = u.read_answer(answer.get());
        check(PyList_Append(answers.get(), value.get()));
        release_body(answer.get());  // and with it the request that carried the part
        answer = Ref();
        if (progress) report(u.callback, part, parts);
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
