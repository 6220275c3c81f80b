// The local-file side of a download: the target's directories, the refusal of a directory as the
// target, and a temporary file beside the target that takes its place only when complete.
#pragma once

#include <string_view>

#include "pyutil/ref.hpp"

namespace kit {

// The directory part of a path: up to its last "/", without trailing "/" unless only "/" remain
// ("a/b/out.bin" gives "a/b", "/out.bin" gives "/", "out.bin" gives nothing).
std::string_view directory_of(std::string_view path);

// Creates the directory part of `path` with its missing parents (none for a bare file name).
void make_parent_directories(std::string_view path);

// Raises IsADirectoryError when `path` names a directory: found before anything is fetched
// rather than after the whole object has arrived.
void refuse_directory_target(PyObject* path);

// A file beside the target that receives the parts and replaces the target only when every part
// has arrived; removed when the download fails, so that nothing partial is ever left. A target
// that is a symbolic link is written through (the link stays a link); an existing target keeps
// its permission bits; the temporary name stays within the file-name limit however long the
// target's name.
class TargetFile {
public:
    explicit TargetFile(PyObject* target);
    ~TargetFile();
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    void write(PyObject* bytes);
    // Puts the complete file in the target's place.
    void commit();

private:
    void keep_permissions();

    pyutil::Ref target_, path_, file_;  // target_: the file a symbolic link names, resolved
};

// An httpx response and its stream refer to each other, so a response outlives its last reference
// until the cyclic collector runs, and with it its body: every part of a large download would pile
// up in memory. Handing the response an empty stream breaks the cycle; the body goes with the
// response as soon as the part is written.
void release_body(PyObject* response);

}  // namespace kit
