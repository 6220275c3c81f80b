// The ranged download into a local file: the kit's loop, with the size from this client's own
// `head` and each range through its own `_request`.
#include "kit/head_and_request_download.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

Ref multipart_download(Args& a) {
    enum { Key, LocalPath, PartSize, Callback, Timeout };
    const long long part_size = kit::part_size_value(a[PartSize]);
    kit::HeadAndRequestDownload download(a.self(), a[Key], a[Timeout]);
    return kit::download_to_file(download, a[LocalPath], part_size, a[Callback]);
}

}  // namespace

const pyutil::MethodSpec kMultipartDownloadSpec{
    "multipart_download",
    "Download the object `key` into `local_path` in ranges of `part_size` bytes, one after another.\n\n"
    "`callback(part_index, total_parts, bytes_done, total_bytes)` is called after each part. The\n"
    "file is written beside the target and put in its place only when every part has arrived, so\n"
    "a failed download leaves no partial file. Returns True; every failure raises.",
    "bool",
    multipart_download,
    {
        {"key", Kind::Str, "str"},
        {"local_path", Kind::Str, "str"},
        {"part_size", Kind::Int, "int", pyutil::integer(8388608)},
        {"callback", Kind::Any, "Optional[Callable[[int, int, int, int], None]]", pyutil::none()},
        kTimeoutParam,
    },
};

}  // namespace kestry
