#include "kit/local_file.hpp"

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

TargetFile::TargetFile(PyObject* target) : target_(Ref::borrow(target)) {
    const std::string_view target_text = pyutil::utf8(target);
    std::random_device random;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x.part", random(), random());
    const std::size_t slash = target_text.rfind('/');
    const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
    std::string path(target_text.substr(0, name_start));
    path.append(".").append(target_text.substr(name_start)).append(suffix);
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
