#include "kit/block_upload.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>

#include "core/transfer.hpp"
#include "kit/descriptor.hpp"
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
const Name kJson{"json"};
const Name kUploadId{"upload_id"};
const Name kResult{"result"};

[[noreturn]] void refuse_not_regular(PyObject* path) {
    // The file system reports 0 for a pipe or a socket, whatever will flow through it: its parts
    // would be none, and an empty object would take the key.
    pyutil::raise_format(PyExc_ValueError,
                         "%R is not a regular file: only a regular file has a size to upload in parts", path);
}

// A pause between tries of an open that a lease break holds up: short beside the holder's
// answer (a file server flushing its client's writes) and the kernel's own limit of that wait.
constexpr timespec kLeaseBreakPause{0, 10 * 1000 * 1000};

// open(2) of `name` for reading without waiting, retried when a signal interrupts it (after its
// handlers have run, as os.open does) and, after a pause, while another process's write lease on
// the file is being broken; -1 with errno set, or with the handlers' exception pending.
int open_without_waiting(const std::string& name) {
    // Without O_NONBLOCK, opening a FIFO for reading waits for a writer, for ever if none comes;
    // a regular file reads the same either way. With it, an open that would wait for a lease
    // holder (a file server's client has the file open) fails at once with EWOULDBLOCK, having
    // started the break: trying again, still without waiting, waits for the holder as a plain
    // open would, yet never for the writer of a FIFO put at the path meanwhile.
    for (;;) {
        PyThreadState* saved = PyEval_SaveThread();
        const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        const int error = errno;
        if (fd < 0 && error == EWOULDBLOCK) ::nanosleep(&kLeaseBreakPause, nullptr);  // a signal cuts it short
        PyEval_RestoreThread(saved);
        errno = error;
        if (fd >= 0 || (error != EINTR && error != EWOULDBLOCK) || PyErr_CheckSignals() != 0) return fd;
    }
}

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
    // Judged before it is opened: opening a FIFO releases a writer waiting for its reader, who then
    // loses what it writes once we close it, and opening a device runs its driver.
    if (!S_ISREG(stat_mode(path))) refuse_not_regular(path);
    Descriptor fd(open_without_waiting(pyutil::fs_bytes(path)));
    if (!fd) {
        if (PyErr_Occurred()) throw pyutil::Error{};
        if (errno == ENXIO) refuse_not_regular(path);  // replaced by a socket meanwhile
        raise_errno(errno, path);
    }
    // What was opened is what is read, whatever has been put at the path since it was judged.
    struct stat status;
    if (::fstat(fd.get(), &status) != 0) raise_errno(errno, path);
    if (!S_ISREG(status.st_mode)) refuse_not_regular(path);
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);  // reads of the file itself may wait
    return PartSource(OwnedFile(std::move(fd), "rb"), nullptr, static_cast<long long>(status.st_size));
}

PartSource PartSource::bytes(PyObject* data) { return PartSource(OwnedFile(), data, PyBytes_GET_SIZE(data)); }

Ref PartSource::part(const Part& part) {
    if (!file_) {
        if (part.length == size_) return Ref::borrow(data_);
        return check(PyBytes_FromStringAndSize(PyBytes_AS_STRING(data_) + part.offset, part.length));
    }
    Ref count = check(PyLong_FromLongLong(part.length));
    Ref bytes = check(PyObject_CallMethodOneArg(file_.get(), method::kRead, count.get()));
    if (!PyBytes_Check(bytes.get())) {
        pyutil::raise_format(PyExc_TypeError, "read() returned %.200s, not bytes", Py_TYPE(bytes.get())->tp_name);
    }
    return bytes;
}

Ref upload_parts(const PartUpload& u, PartSource& source, long long part_size) {
    const Parts parts(source.size(), part_size);
    const bool progress = check(PyObject_IsTrue(u.callback)) == 1;
    Ref answers = check(PyList_New(0));

    for (long long i = 0; i < parts.count(); ++i) {
        const Part part = parts[i];
        Ref bytes = source.part(part);
        if (PyBytes_GET_SIZE(bytes.get()) == 0) break;  // a file that has become shorter (no part is empty)
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
    source.close();
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
