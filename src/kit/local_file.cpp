#include "kit/local_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

const Name kExclusiveBinary{"xb"};
const Name kUnlink{"unlink"};
const Name kReplace{"replace"};
const Name kMakedirs{"makedirs"};
const Name kExistOk{"exist_ok"};
const Name kIsdir{"isdir"};
const Name kStream{"stream"};
const Name kRealpath{"realpath"};
const Name kStat{"stat"};
const Name kStMode{"st_mode"};
const Name kChmod{"chmod"};

constexpr std::size_t kNameMax = 255;  // bytes in one file name (NAME_MAX)

}  // namespace

std::string_view directory_of(std::string_view path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    std::string_view head = path.substr(0, slash + 1);
    std::string_view trimmed = corvault::core::strip_trailing_slashes(head);
    return trimmed.empty() ? head : trimmed;
}

void make_parent_directories(std::string_view path) {
    std::string_view dir = directory_of(path);
    if (dir.empty()) return;
    Ref dir_text = pyutil::to_str(dir);
    Ref made = pyutil::Call().arg(dir_text.get()).kw(kExistOk, Py_True).method(facilities.os, kMakedirs);
}

void refuse_directory_target(PyObject* path) {
    Ref is_dir = pyutil::Call().arg(path).method(facilities.os_path, kIsdir);
    if (!check(PyObject_IsTrue(is_dir.get()))) return;
    errno = EISDIR;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
    throw pyutil::Error{};
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
    // A symbolic link is written through: the file it names is replaced and the link stays.
    target_ = pyutil::Call().arg(target).method(facilities.os_path, kRealpath);
    const std::string_view target_text = pyutil::utf8(target_.get());
    const std::size_t slash = target_text.rfind('/');
    const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
    std::string path(target_text.substr(0, name_start));
    path.append(temporary_name(target_text.substr(name_start)));
    Ref path_text = pyutil::to_str(path);
    file_ = pyutil::Call().arg(path_text.get()).arg(kExclusiveBinary).call(facilities.open);
    path_ = std::move(path_text);  // only a file this object created is ever removed
}

TargetFile::~TargetFile() {
    if (!path_) return;
    pyutil::PendingError keep;  // the failure that brought us here wins over clean-up failures
    if (file_) Ref closed = Ref::steal(PyObject_CallMethodNoArgs(file_.get(), pyutil::method::kClose));
    Ref removed = Ref::steal(PyObject_CallMethodOneArg(facilities.os, kUnlink, path_.get()));
}

void TargetFile::write(PyObject* bytes) {
    check(PyObject_CallMethodOneArg(file_.get(), pyutil::method::kWrite, bytes));
}

void TargetFile::commit() {
    check(PyObject_CallMethodNoArgs(file_.get(), pyutil::method::kClose));
    file_ = Ref();
    keep_permissions();
    Ref replaced = pyutil::Call().arg(path_.get()).arg(target_.get()).method(facilities.os, kReplace);
    path_ = Ref();
}

// An existing target keeps its permission bits; a new one gets those of a newly created file.
void TargetFile::keep_permissions() {
    PyObject* status = PyObject_CallMethodOneArg(facilities.os, kStat, target_.get());
    if (status == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_FileNotFoundError)) throw pyutil::Error{};
        PyErr_Clear();
        return;
    }
    Ref stat_result = Ref::steal(status);
    Ref mode = check(PyObject_GetAttr(stat_result.get(), kStMode));
    const long value = PyLong_AsLong(mode.get());
    if (value == -1 && PyErr_Occurred()) throw pyutil::Error{};
    Ref bits = check(PyLong_FromLong(value & 07777));  // permissions with set-id and sticky bits
    Ref changed = pyutil::Call().arg(path_.get()).arg(bits.get()).method(facilities.os, kChmod);
}

void release_body(PyObject* response) {
    if (facilities.byte_stream == nullptr || !pyutil::optional_attr(response, kStream)) return;
    Ref empty = pyutil::to_bytes("");
    Ref stream = check(PyObject_CallOneArg(facilities.byte_stream, empty.get()));
    if (PyObject_SetAttr(response, kStream, stream.get()) < 0) PyErr_Clear();  // not an httpx response
}

}  // namespace kit
