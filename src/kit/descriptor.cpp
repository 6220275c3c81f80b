#include "kit/descriptor.hpp"

#include <unistd.h>

#include <climits>

#include "kit/facilities.hpp"
#include "pyutil/call.hpp"

namespace kit {
namespace {

const pyutil::Name kClosefd{"closefd"};

}  // namespace

Descriptor::~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
}

void Descriptor::close() {
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

pyutil::Ref file_object(const Descriptor& fd, const char* mode) {
    pyutil::Ref number = descriptor_number(fd);
    pyutil::Ref mode_text = pyutil::check(PyUnicode_FromString(mode));
    return pyutil::Call().arg(number.get()).arg(mode_text.get()).kw(kClosefd, Py_False).call(facilities.open);
}

}  // namespace kit
