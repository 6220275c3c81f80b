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
    // Closes it now, when still open, raising OSError when close(2) fails; it is closed either way.
    void close();

private:
    int fd_ = -1;
};

// The descriptor's number as an int object (for os functions), and back: the descriptor an os
// function answered (looked up at each call, so perhaps replaced by one answering something
// else), raising TypeError for no int and OverflowError for a number outside int.
pyutil::Ref descriptor_number(const Descriptor& fd);
Descriptor adopted_descriptor(PyObject* number);

// A file object closed on every way out, over a descriptor of its own (io.open(fd, mode,
// closefd=False)) or opened by name. io.open is never let close the descriptor: it closes one it
// was given when it fails after taking it, and then its caller could not tell whether the number
// was still its own. The two are closed in one order, the file object first (it may still hold
// bytes to write), then the descriptor.
class OwnedFile {
public:
    OwnedFile() = default;
    OwnedFile(Descriptor fd, const char* mode);
    explicit OwnedFile(pyutil::Ref file) : file_(std::move(file)) {}
    OwnedFile(OwnedFile&& other) noexcept { *this = std::move(other); }
    OwnedFile& operator=(OwnedFile&& other) noexcept {  // what was held goes with `other`
        std::swap(file_, other.file_);
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~OwnedFile() { discard(); }

    PyObject* get() const { return file_.get(); }  // the file object
    const Descriptor& descriptor() const { return fd_; }
    explicit operator bool() const { return static_cast<bool>(file_); }
    // Closes both now, raising what closing raises; both are closed either way.
    void close();
    // Closes both, saying nothing of a failure: the failure being handled wins.
    void discard();

private:
    pyutil::Ref file_;
    Descriptor fd_;
};

}  // namespace kit
