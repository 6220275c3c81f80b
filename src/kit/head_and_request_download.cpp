#include "kit/head_and_request_download.hpp"

#include "kit/answers.hpp"
#include "kit/object_calls.hpp"
#include "pyutil/call.hpp"
#include "pyutil/names.hpp"
#include "pyutil/response.hpp"

namespace kit {

ObjectVersion HeadAndRequestDownload::object_version() {
    pyutil::Ref headers = size_request_headers();
    pyutil::Ref answer = pyutil::Call()
                             .arg(key_)
                             .kw(pyutil::kw::kHeaders, headers.get())
                             .kw(pyutil::kw::kTimeout, timeout_)
                             .method(self_, pyutil::op::kHead);
    if (pyutil::status_code(answer.get()) != 200) pyutil::raise_failure(kSizeFailure, answer.get());
    ObjectVersion found = version_from_head(answer.get());
    if (found.size == 0) pyutil::raise_message(kEmptyObject);
    return found;
}

pyutil::Ref HeadAndRequestDownload::fetch(const Part& part) {
    pyutil::Ref headers = part_request_headers(part);
    pyutil::Call call;
    call.arg(pyutil::verb::kGet).arg(key_).kw(pyutil::kw::kHeaders, headers.get()).kw(pyutil::kw::kTimeout, timeout_);
    // The library's own `_request` sends it streamed where the HTTP client can (kit::send_request).
    if (own_request_) call.kw(pyutil::kw::kStream, Py_True);
    return call.method(self_, pyutil::op::kRequest);
}

namespace {

pyutil::Ref multipart_download(pyutil::Args& a) {
    enum { Key, LocalPath, PartSize, Callback, Timeout };
    const long long part_size = part_size_value(a[PartSize]);
    HeadAndRequestDownload download(a.self(), a[Key], a[Timeout]);
    return download_to_file(download, a[LocalPath], part_size, a[Callback]);
}

}  // namespace

const pyutil::MethodSpec kMultipartDownloadSpec{
    "multipart_download",
    "Download the object `key` into `local_path` in ranges of `part_size` bytes, one after another.\n\n"
    "`callback(part_index, total_parts, bytes_done, total_bytes)` is called after each part. The\n"
    "file is written beside the target and put in its place only when every part has arrived, so\n"
    "a failed download leaves no partial file. A part of another version of the object (its\n"
    "Content-Range total or ETag not those of the size request) fails it. Every request asks for\n"
    "the stored bytes (Accept-Encoding: identity) and each part is written as it was sent, so an\n"
    "object stored with a Content-Encoding such as gzip is written encoded, as stored. Returns\n"
    "True; every failure raises.",
    "bool",
    multipart_download,
    {
        {"key", pyutil::Kind::NonEmptyStr, "str"},
        {"local_path", pyutil::Kind::Str, "str"},
        {"part_size", pyutil::Kind::Int, "int", pyutil::integer(8388608)},
        {"callback", pyutil::Kind::Any, kCallbackType, pyutil::none()},
        kTimeoutParam,
    },
};

}  // namespace kit
