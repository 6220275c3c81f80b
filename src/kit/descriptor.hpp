// An open file descriptor with exactly one owner. A descriptor's number is handed to the next
// open() of any thread as soon as it is closed, so closing it twice may close another thread's
// file: whoever holds the number must know whether it is still theirs to close.
#pragma once

#include <utility>

#include "pyutil/ref.hpp"

namespace kit {

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor();  // closes it, when still open, saying nothing of a failure

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes it now, raising OSError when close(2) fails; it is closed either way.
    void close();

private:
    int fd_ = -1;
};

// The descriptor's number as an int object (for os functions), and back: the descriptor an os
// function answered (looked up at each call, so perhaps replaced by one answering something
// else), raising TypeError for no int and OverflowError for a number outside int.
pyutil::Ref descriptor_number(const Descriptor& fd);
Descriptor adopted_descriptor(PyObject* number);

// A file object of io.open(fd, mode) that never closes `fd`: io.open closes a descriptor it was
// given when it fails after taking it, and then its caller cannot tell whether the number is still
// its own. `fd` stays with its owner, to be closed after the file object.
pyutil::Ref file_object(const Descriptor& fd, const char* mode);

}  // namespace kit
