// The ranged download of an object into a local file, from its public URL.
#include "marvex/marvex.hpp"

namespace marvex {

static Ref multipart_download(Args&) {
    pyutil::raise(PyExc_NotImplementedError, "multipart_download waits for the kit's ranged download");
}

const pyutil::MethodSpec kMultipartDownloadSpec{
    "multipart_download",
    "Download the object `key` into `local_path` in ranges of `part_size` bytes, one after another.",
    "bool",
    multipart_download,
    {
        {"key", Kind::Str, "str"},
        {"local_path", Kind::Str, "str"},
        {"part_size", Kind::Int, "int", pyutil::integer(8388608)},
        {"callback", Kind::Any, kCallbackType, pyutil::none()},
        kTimeoutParam,
    },
};

}  // namespace marvex
