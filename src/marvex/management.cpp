// Management requests: the request primitive and the single-object operations stat, delete,
// copy and move. Each answer comes back as the response, whatever its status.
#include "marvex/marvex.hpp"
#include "pyutil/call.hpp"

namespace marvex {
namespace {

const Name kRsUrl{"_rs_url"};
const Name kFormContentType{"application/x-www-form-urlencoded"};

}  // namespace

// Sends one management request below `base_url`, signed over `path` and `body`.
Ref send_management_request(PyObject* self, PyObject* base_url, PyObject* method, PyObject* path, PyObject* body,
                            PyObject* timeout) {
    Ref url = check(PyUnicode_Concat(base_url, path));
    Ref token = pyutil::Call().arg(path).arg(body).method(self, kManagementTokenMethod);
    Ref headers = check(PyDict_New());
    check(PyDict_SetItem(headers.get(), header::kAuthorization, token.get()));
    check(PyDict_SetItem(headers.get(), header::kContentType, kFormContentType));
    Ref req_timeout = request_timeout(self, timeout);
    Ref client = check(PyObject_GetAttr(self, attr::kClient));
    // The method is compared as written: only "GET" and "POST" take the short calls.
    const std::string_view verb = pyutil::utf8(method);
    if (verb == "GET") {
        return pyutil::Call()
            .arg(url.get())
            .kw(kw::kHeaders, headers.get())
            .kw(kw::kTimeout, req_timeout.get())
            .method(client.get(), httpx::kGet);
    }
    pyutil::Call call;
    if (verb != "POST") call.arg(method);
    call.arg(url.get()).kw(kw::kHeaders, headers.get()).kw(kw::kContent, body).kw(kw::kTimeout, req_timeout.get());
    return call.method(client.get(), verb == "POST" ? httpx::kPost : httpx::kRequest);
}

static Ref rs_request(Args& a) {
    enum { Method, Path, Body, Timeout };
    Ref base = check(PyObject_GetAttr(a.self(), kRsUrl));
    return send_management_request(a.self(), base.get(), a[Method], a[Path], a[Body], a[Timeout]);
}

const pyutil::MethodSpec kRsRequestSpec{
    "_rs_request",
    "Send one management request (`path` with its query, below the region's management host)\n"
    "with its management token and return the httpx response unchanged.",
    "httpx.Response",
    rs_request,
    {
        {"method", Kind::Str, "str"},
        {"path", Kind::Str, "str"},
        {"body", Kind::OptBytes, "Optional[bytes]", pyutil::none()},
        kTimeoutParam,
    },
};

namespace {

// self._encode_entry_uri(key=key) or, with a bucket, (bucket=bucket, key=key)
Ref entry_of(PyObject* self, PyObject* key, PyObject* bucket = nullptr) {
    pyutil::Call call;
    if (bucket != nullptr) call.kw(kw::kBucket, bucket);
    return call.kw(kKeyKeyword, key).method(self, kEncodeEntryUriMethod);
}

Ref send(PyObject* self, PyObject* method, std::string_view path, PyObject* timeout) {
    Ref path_text = pyutil::to_str(path);
    return pyutil::Call().arg(method).arg(path_text.get()).kw(kw::kTimeout, timeout).method(self, kRsRequestMethod);
}

// "/<operation>/<entry>", the entry as text
std::string entry_path(const char* operation, PyObject* entry) {
    std::string path(operation);
    path += url_text(entry);
    return path;
}

// `headers` is accepted for the shared signature of the clients; management requests carry
// only their token and content type.
Ref single_entry_request(Args& a, PyObject* method, const char* operation) {
    enum { Key, Headers, Timeout };
    Ref entry = entry_of(a.self(), a[Key]);
    return send(a.self(), method, entry_path(operation, entry.get()), a[Timeout]);
}

Ref transfer(Args& a, const char* operation) {
    enum { SrcKey, DestKey, DestBucket, Force, Timeout };
    Ref source = entry_of(a.self(), a[SrcKey]);
    Ref destination = entry_of(a.self(), a[DestKey], a[DestBucket]);
    std::string path = entry_path(operation, source.get());
    path += '/';
    path += url_text(destination.get());
    if (a.flag(Force)) path += "/force/true";
    return send(a.self(), verb::kPost, path, a[Timeout]);
}

}  // namespace

static Ref head(Args& a) { return single_entry_request(a, verb::kGet, "/stat/"); }

const pyutil::MethodSpec kHeadSpec{
    "head",
    "The object's status record (JSON: fsize, hash, mimeType, putTime) as the httpx response.",
    "httpx.Response",
    head,
    {{"key", Kind::Str, "str"}, kHeadersParam, {"timeout", Kind::Any, kTimeoutType, pyutil::integer(10)}},
};

static Ref delete_object(Args& a) { return single_entry_request(a, verb::kPost, "/delete/"); }

const pyutil::MethodSpec kDeleteSpec{
    "delete",      "Delete the object `key`; returns the httpx response unchanged.", "httpx.Response",
    delete_object, {{"key", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

const pyutil::Param kSrcKeyParam{"src_key", Kind::Str, "str"};
const pyutil::Param kDestKeyParam{"dest_key", Kind::Str, "str"};
const pyutil::Param kDestBucketParam{"dest_bucket", Kind::OptStr, "Optional[str]", pyutil::none()};
const pyutil::Param kForceParam{"force", Kind::Bool, "bool", pyutil::boolean(false)};

static Ref copy(Args& a) { return transfer(a, "/copy/"); }

const pyutil::MethodSpec kCopySpec{
    "copy",
    "Copy `src_key` of the client's bucket to `dest_key` of `dest_bucket` (the client's own when\n"
    "None or empty); `force` overwrites an existing object. Returns the httpx response.",
    "httpx.Response",
    copy,
    {kSrcKeyParam, kDestKeyParam, kDestBucketParam, kForceParam, kTimeoutParam},
};

static Ref move(Args& a) { return transfer(a, "/move/"); }

const pyutil::MethodSpec kMoveSpec{
    "move",
    "Move (rename) `src_key` of the client's bucket to `dest_key` of `dest_bucket` (the client's\n"
    "own when None or empty); `force` overwrites an existing object. Returns the httpx response.",
    "httpx.Response",
    move,
    {kSrcKeyParam, kDestKeyParam, kDestBucketParam, kForceParam, kTimeoutParam},
};

}  // namespace marvex
