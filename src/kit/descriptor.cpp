#include "kit/descriptor.hpp"

#include <unistd.h>

#include <climits>

#include "kit/facilities.hpp"
#include "pyutil/call.hpp"
#include "pyutil/names.hpp"

namespace kit {
namespace {

const pyutil::Name kClosefd{"closefd"};

}  // namespace

Descriptor::~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
}

void Descriptor::close() {
    if (fd_ < 0) return;
    // Linux releases the number even when close() fails (EINTR included): never retried.
    if (::close(std::exchange(fd_, -1)) != 0) {
        PyErr_SetFromErrno(PyExc_OSError);
        throw pyutil::Error{};
    }
}

pyutil::Ref descriptor_number(const Descriptor& fd) { return pyutil::check(PyLong_FromLong(fd.get())); }

Descriptor adopted_descriptor(PyObject* number) {
    const long value = pyutil::as_long(number);
    if (value < INT_MIN || value > INT_MAX)
        pyutil::raise(PyExc_OverflowError, "Python int too large to convert to C int");
    return Descriptor(static_cast<int>(value));
}

OwnedFile::OwnedFile(Descriptor fd, const char* mode) : fd_(std::move(fd)) {
    pyutil::Ref number = descriptor_number(fd_);
    pyutil::Ref mode_text = pyutil::check(PyUnicode_FromString(mode));
    file_ = pyutil::Call().arg(number.get()).arg(mode_text.get()).kw(kClosefd, Py_False).call(facilities.open);
}

void OwnedFile::close() {
    pyutil::Ref file = std::move(file_);
    Descriptor fd = std::move(fd_);  // closed by its destructor when closing the file object fails
    if (file) pyutil::check(PyObject_CallMethodNoArgs(file.get(), pyutil::method::kClose));
    fd.close();
}

void OwnedFile::discard() {
    if (file_) {
        pyutil::PendingError keep;
        pyutil::Ref closed = pyutil::Ref::steal(PyObject_CallMethodNoArgs(file_.get(), pyutil::method::kClose));
        file_ = pyutil::Ref();
    }
    fd_ = Descriptor();
}

}  // namespace kit
