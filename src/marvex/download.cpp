// The ranged download of an object into a local file, from its public URL, through the kit's
// loop: the size from the client's own stat request, each range a plain GET of the URL.
#include "kit/ranged_download.hpp"
#include "kit/send_request.hpp"
#include "marvex/marvex.hpp"
#include "pyutil/call.hpp"
#include "pyutil/response.hpp"

namespace marvex {
namespace {

const Name kFsize{"fsize"};
const Name kGetPathUrlMethod{"get_path_url"};

// The size is the "fsize" of the stat record, which names no ETag of the URL's answers; the ranges
// carry no token, so this serves objects that their public URL serves. Each range asks for the
// stored bytes (Accept-Encoding: identity).
class Download : public kit::RangedDownload {
public:
    Download(PyObject* self, PyObject* key, PyObject* timeout) : self_(self), key_(key), timeout_(timeout) {}

    kit::ObjectVersion object_version() override {
        // The caller's time-out, None included, so that head's own 10 seconds never apply here.
        Ref answer = pyutil::Call().arg(key_).kw(kw::kTimeout, timeout_).method(self_, op::kHead);
        if (pyutil::status_code(answer.get()) != 200) pyutil::raise_failure(kit::kSizeFailure, answer.get());
        Ref record = check(PyObject_CallMethodNoArgs(answer.get(), kJson));
        Ref zero = check(PyLong_FromLong(0));
        Ref fsize = get_or(record.get(), kFsize, zero.get());
        Ref size = check(PyNumber_Long(fsize.get()));
        const long long bytes = PyLong_AsLongLong(size.get());
        if (bytes == -1 && PyErr_Occurred()) throw pyutil::Error{};
        if (bytes == 0) pyutil::raise_message(kit::kEmptyObject);
        // Settled once the size is known, for every range alike.
        url_ = pyutil::Call().arg(key_).method(self_, kGetPathUrlMethod);
        request_timeout_ = request_timeout(self_, timeout_);
        return {bytes, std::nullopt};
    }

    // A GET of the URL, its body left unread for the loop to read as sent.
    Ref fetch(const kit::Part& part) override {
        Ref headers = kit::part_request_headers(part);
        Ref client = check(PyObject_GetAttr(self_, attr::kClient));
        return kit::get_unread(client.get(), url_text(url_.get()), headers.get(), request_timeout_.get());
    }

private:
    PyObject* self_;
    PyObject* key_;
    PyObject* timeout_;
    Ref url_, request_timeout_;
};

}  // namespace

static Ref multipart_download(Args& a) {
    enum { Key, LocalPath, PartSize, Callback, Timeout };
    const long long part_size = kit::part_size_value(a[PartSize]);
    Download download(a.self(), a[Key], a[Timeout]);
    return kit::download_to_file(download, a[LocalPath], part_size, a[Callback]);
}

const pyutil::MethodSpec kMultipartDownloadSpec{
    "multipart_download",
    "Download the object `key` into `local_path` in ranges of `part_size` bytes, one after another,\n"
    "from its public URL (get_path_url; no token is sent).\n\n"
    "`callback(part_index, total_parts, bytes_done, total_bytes)` is called after each part. The\n"
    "file is written beside the target and put in its place only when every part has arrived, so\n"
    "a failed download leaves no partial file. A part whose Content-Range names another size\n"
    "fails it. Every range asks for the stored bytes (Accept-Encoding: identity) and is written as\n"
    "it was sent, so an object stored with a Content-Encoding such as gzip is written encoded, as\n"
    "stored. Returns True; every failure raises.",
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
