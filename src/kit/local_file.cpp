#include "kit/local_file.hpp"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "core/url.hpp"
#include "kit/facilities.hpp"
#include "pyutil/call.hpp"
#include "pyutil/names.hpp"
#include "pyutil/response.hpp"

namespace kit {
namespace {

using pyutil::check;
using pyutil::Name;
using pyutil::Ref;

const Name kWriteBinary{"wb"};
const Name kOpen{"open"};
const Name kUnlink{"unlink"};
const Name kReplace{"replace"};
const Name kMakedirs{"makedirs"};
const Name kExistOk{"exist_ok"};
const Name kStream{"stream"};
const Name kRealpath{"realpath"};
const Name kStat{"stat"};
const Name kStMode{"st_mode"};
const Name kFchmod{"fchmod"};

constexpr std::size_t kNameMax = 255;  // bytes in one file name (NAME_MAX)

// stat_mode(path), or none when nothing is there.
std::optional<long> existing_mode(PyObject* path) {
    try {
        return stat_mode(path);
    } catch (const pyutil::Error&) {
        if (!PyErr_ExceptionMatches(PyExc_FileNotFoundError)) throw;
        PyErr_Clear();
        return std::nullopt;
    }
}

// The umask, read without setting it: umask() can only be read by changing it, for every thread of
// the process at once. Linux states it in /proc/self/status.
long current_umask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) return static_cast<long>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
    }
    return 022;  // kernels before 4.7 do not state it; the usual value
}

// The directory a download into `path` creates its temporary file in: that of the file a symbolic
// link names, as TargetFile resolves it.
std::string directory_of_real_file(PyObject* path) {
    Ref real = pyutil::Call().arg(path).method(facilities.os_path, kRealpath);
    const std::string bytes = pyutil::fs_bytes(real.get());
    const std::string_view directory = directory_of(bytes);
    return directory.empty() ? "." : std::string(directory);
}

// Whether the file `path` names (`status`, links followed) is the root of a mount, as a file
// bind-mounted into a container is: nothing can be renamed over it (EBUSY). `parent` is its
// directory's status, NULL when that could not be had.
bool is_mount_point(const std::string& path, const struct stat& status, const struct stat* parent) {
    struct statx attributes;
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_INO, &attributes) == 0 &&
        (attributes.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
        return (attributes.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    }
    // Kernels before 5.8 do not tell; a mount of another file system still shows in the device
    // number, though a bind mount from the directory's own file system does not.
    return parent != nullptr && parent->st_dev != status.st_dev;
}

// Whether this process may replace any file in a sticky directory: CAP_FOWNER in its effective
// set, which root normally has (the kernel's own test). Where capget() fails, root alone.
bool may_replace_any_file() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, sets) != 0) return geteuid() == 0;
    return (sets[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
}

// Whether renaming a file over `status` (the target, links followed) in the directory `parent`
// is refused because the directory is sticky (a shared scratch folder, 01777): there the kernel
// lets a process replace a file only when the process's user owns the file or the directory, or
// the process is privileged. Whose the file is otherwise does not matter.
bool sticky_directory_forbids_replacing(const struct stat& status, const struct stat* parent) {
    if (parent == nullptr || (parent->st_mode & S_ISVTX) == 0) return false;
    const uid_t self = geteuid();
    if (status.st_uid == self || parent->st_uid == self) return false;
    return !may_replace_any_file();
}

}  // namespace

long stat_mode(PyObject* path) {
    Ref status = pyutil::Call().arg(path).method(facilities.os, kStat);
    Ref mode = check(PyObject_GetAttr(status.get(), kStMode));
    return pyutil::as_long(mode.get());
}

void raise_errno(int error, PyObject* path) {
    errno = error;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
    throw pyutil::Error{};
}

std::string_view directory_of(std::string_view path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    std::string_view head = path.substr(0, slash + 1);
    std::string_view trimmed = corvault::core::strip_trailing_slashes(head);
    return trimmed.empty() ? head : trimmed;
}

void make_parent_directories(PyObject* path) {
    const std::string bytes = pyutil::fs_bytes(path);
    std::string_view dir = directory_of(bytes);
    if (dir.empty()) return;
    Ref dir_text = pyutil::fs_str(dir);
    Ref made = pyutil::Call().arg(dir_text.get()).kw(kExistOk, Py_True).method(facilities.os, kMakedirs);
}

void refuse_unusable_target(PyObject* path) {
    if (PyUnicode_GET_LENGTH(path) == 0) raise_errno(ENOENT, path);
    const std::string bytes = pyutil::fs_bytes(path);
    const std::string directory = directory_of_real_file(path);
    struct stat status;
    if (::stat(bytes.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) raise_errno(EISDIR, path);
        // Replacing it would need no write permission on it, only on its directory, and would hand
        // it to this process's owner. Checked with the effective ids, as open() checks them.
        if (faccessat(AT_FDCWD, bytes.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) raise_errno(errno, path);
        if (!S_ISREG(status.st_mode)) return;  // written into in place, not replaced
        struct stat directory_status;
        const struct stat* parent = ::stat(directory.c_str(), &directory_status) == 0 ? &directory_status : nullptr;
        // Writing into it instead would leave it half-written when the download fails.
        if (is_mount_point(bytes, status, parent)) raise_errno(EBUSY, path);
        if (sticky_directory_forbids_replacing(status, parent)) raise_errno(EPERM, path);
    } else if (errno != ENOENT) {
        raise_errno(errno, path);
    }
    // The temporary file is created there, whether or not the target itself may be written.
    if (faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) != 0) raise_errno(errno, path);
}

// The temporary file's name for a target's file name: ".<name>.<16 hex>.part", the name cut (at a
// character boundary) so that the whole stays within the file-name limit.
std::string temporary_name(std::string_view name) {
    std::random_device random;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x.part", random(), random());
    const std::size_t room = kNameMax - 1 - std::char_traits<char>::length(suffix);
    std::size_t keep = std::min(name.size(), room);
    while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    return "." + std::string(name.substr(0, keep)) + suffix;
}

TargetFile::TargetFile(PyObject* target) {
    const std::optional<long> mode = existing_mode(target);
    if (mode && !S_ISREG(*mode)) {
        // Replacing a device or a FIFO would put a plain file in its place (as root, even
        // /dev/null's); what is written to one cannot be taken back anyway.
        file_ = OwnedFile(pyutil::Call().arg(target).arg(kWriteBinary).call(facilities.open));
        return;
    }
    // Writing would clear the set-id bits of the file; new content must not run with the ids the
    // old content was trusted with.
    mode_ = mode ? *mode & 07777 & ~(S_ISUID | S_ISGID) : 0666 & ~current_umask();
    create_beside(target);
}

void TargetFile::create_beside(PyObject* target) {
    // A symbolic link is written through: the file it names is replaced and the link stays.
    target_ = pyutil::Call().arg(target).method(facilities.os_path, kRealpath);
    const std::string target_bytes = pyutil::fs_bytes(target_.get());
    const std::size_t slash = target_bytes.rfind('/');
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    std::string path = target_bytes.substr(0, name_start);
    path.append(temporary_name(std::string_view(target_bytes).substr(name_start)));
    Ref path_text = pyutil::fs_str(path);
    Ref flags = check(PyLong_FromLong(O_WRONLY | O_CREAT | O_EXCL));  // os.open adds O_CLOEXEC itself
    Ref owner_only = check(PyLong_FromLong(0600));
    Ref fd = pyutil::Call().arg(path_text.get()).arg(flags.get()).arg(owner_only.get()).method(facilities.os, kOpen);
    path_ = std::move(path_text);  // only a file this object created is ever removed
    try {
        file_ = OwnedFile(adopted_descriptor(fd.get()), "wb");
    } catch (...) {
        discard();  // a constructor that throws gets no destructor
        throw;
    }
}

TargetFile::~TargetFile() { discard(); }

void TargetFile::discard() {
    if (!file_ && !path_) return;
    pyutil::PendingError keep;  // the failure that brought us here wins over clean-up failures
    file_.discard();
    if (path_) Ref removed = Ref::steal(PyObject_CallMethodOneArg(facilities.os, kUnlink, path_.get()));
    path_ = Ref();
}

void TargetFile::write(PyObject* bytes) {
    check(PyObject_CallMethodOneArg(file_.get(), pyutil::method::kWrite, bytes));
}

void TargetFile::commit() {
    if (path_) {
        // On the open file: by name, the bits would go to whatever has been put in its place.
        Ref fd = descriptor_number(file_.descriptor());
        Ref bits = check(PyLong_FromLong(mode_));
        Ref changed = pyutil::Call().arg(fd.get()).arg(bits.get()).method(facilities.os, kFchmod);
    }
    file_.close();
    if (!path_) return;  // written in place
    Ref replaced = pyutil::Call().arg(path_.get()).arg(target_.get()).method(facilities.os, kReplace);
    path_ = Ref();
}

void release_body(PyObject* response) {
    if (facilities.byte_stream == nullptr || !pyutil::optional_attr(response, kStream)) return;
    Ref empty = pyutil::to_bytes("");
    Ref stream = check(PyObject_CallOneArg(facilities.byte_stream, empty.get()));
    if (PyObject_SetAttr(response, kStream, stream.get()) < 0) PyErr_Clear();  // not an httpx response
}

}  // namespace kit
