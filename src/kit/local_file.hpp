// The local-file side of a download: the target's directories, the refusal of targets that no
// file can be written to, and a temporary file beside the target that takes its place only when
// complete. Paths are handled in the file-system encoding, so any name open() takes will do.
#pragma once

#include <string_view>

#include "kit/descriptor.hpp"
#include "pyutil/ref.hpp"

namespace kit {

// os.stat(path).st_mode, following symbolic links; os.stat's OSError (a ValueError for a NUL).
long stat_mode(PyObject* path);

// Raises the OSError of the errno value `error` for `path` (FileNotFoundError, PermissionError...),
// as os.open() would.
[[noreturn]] void raise_errno(int error, PyObject* path);

// The directory part of a path: up to its last "/", without trailing "/" unless only "/" remain
// ("a/b/out.bin" gives "a/b", "/out.bin" gives "/", "out.bin" gives nothing).
std::string_view directory_of(std::string_view path);

// Creates the directory part of `path` (a str) with its missing parents (none for a bare name).
void make_parent_directories(PyObject* path);

// Raises what opening `path` for writing would, found before anything is fetched rather than
// after the whole object has arrived: FileNotFoundError for an empty path, IsADirectoryError for
// a directory, PermissionError (EACCES) for a file this process may not write. Also refused, as
// no download could replace them: a file that is a mount point (OSError EBUSY), a file in a sticky
// directory when this process's user owns neither the file nor the directory and the process is
// not privileged (PermissionError EPERM, as the rename would fail), and a target in a directory
// this process may not write (PermissionError), even when the file itself is writable.
void refuse_unusable_target(PyObject* path);

// Where a download's bytes go. A regular file, or a path where nothing is yet, receives them in a
// file beside it that replaces it only when every part has arrived and is removed when the
// download fails, so that nothing partial is ever left. That file is readable by its owner alone
// until it takes the target's place with the target's permission bits but its set-user-ID and
// set-group-ID bits (for a new target, those a newly created file gets). A target that is a
// symbolic link is written through (the link stays a link); the temporary name stays within the
// file-name limit however long the target's name.
// A target that exists and is no regular file (a device, a FIFO) is never replaced: it is opened
// for writing and written into.
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
    void create_beside(PyObject* target);
    void discard();  // closes and removes the temporary file, whatever fails meanwhile

    pyutil::Ref target_, path_;  // target_: the file a symbolic link names, resolved;
                                 // path_: the temporary file, empty when writing in place
    OwnedFile file_;             // the temporary file over its own descriptor, or the target itself
    long mode_ = 0;              // the permission bits the complete file gets
};

// An httpx response and its stream refer to each other, so a response outlives its last reference
// until the cyclic collector runs, and with it its body: every part of a large download would pile
// up in memory. Handing the response an empty stream breaks the cycle; the body goes with the
// response as soon as the part is written.
void release_body(PyObject* response);

}  // namespace kit
