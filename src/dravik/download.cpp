// The ranged download of an object into a local file.
#include "core/transfer.hpp"
#include "kit/answers.hpp"
#include "kit/ranged_download.hpp"
#include "pyutil/call.hpp"
#include "pyutil/response.hpp"

#include "dravik/shared.hpp"

namespace dravik {

// The ranged download of this client: the size from its own `head`, each range through its own
// `_request`, both with the caller's time-out (None included, so head's 10 seconds never apply).
class Download : public kit::RangedDownload {
public:
    Download(PyObject* self, PyObject* key, PyObject* timeout) : self_(self), key_(key), timeout_(timeout) {}

    long long object_size() override {
        Ref answer = pyutil::Call().arg(key_).kw(kw::kTimeout, timeout_).method(self_, op::kHead);
        if (pyutil::status_code(answer.get()) != 200) pyutil::raise_failure(kit::kSizeFailure, answer.get());
        const long long size = kit::content_length(answer.get());
        if (size == 0) pyutil::raise_message(kit::kEmptyObject);
        return size;
    }

    Ref fetch(const kit::Part& part) override {
        Ref range = pyutil::to_str(corvault::core::transfer::range_header(part));
        Ref headers = kit::record({{&header::kRange, range.get()}});
        return call_object_request(self_, verb::kGet, key_, nullptr, nullptr, headers.get(), timeout_);
    }

private:
    PyObject* self_;
    PyObject* key_;
    PyObject* timeout_;
};

Ref multipart_download(Args& a) {
    enum { Key, LocalPath, PartSize, Callback, Timeout };
    const long long part_size = kit::part_size_value(a[PartSize]);
    Download download(a.self(), a[Key], a[Timeout]);
    return kit::download_to_file(download, a[LocalPath], part_size, a[Callback]);
}

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

}  // namespace dravik
