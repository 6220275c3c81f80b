// Uploads: the form upload of a whole object, and the four multipart steps mapped onto the
// service's block upload (a block per part, one assembly request; nothing to start or abort).
#include "core/encoding.hpp"
#include "marvex/marvex.hpp"
#include "pyutil/call.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"

namespace marvex {
namespace {

const Name kFiles{"files"};
const Name kFileField{"file"};
const Name kTokenField{"token"};
const Name kKeyField{"key"};
const Name kOctetStream{"application/octet-stream"};
const Name kTextPlain{"text/plain"};
const Name kHttpxResponse{"Response"};
const Name kJsonContentType{"application/json"};

// "https://<upload host>" followed by `path`
std::string upload_url(PyObject* self, std::string_view path, Keep& keep) {
    std::string url(pyutil::text_attr(self, kUpUrl, keep));
    url += path;
    return url;
}

// "UpToken <self._upload_token(key)>"
Ref upload_authorization(PyObject* self, PyObject* key) {
    Ref token = pyutil::Call().arg(key).method(self, kUploadTokenMethod);
    return check(PyUnicode_FromFormat("UpToken %S", token.get()));
}

// The caller's headers written over the fixed ones, names compared exactly as written.
void merge_headers(PyObject* fixed, PyObject* headers) {
    if (headers != Py_None && check(PyObject_IsTrue(headers))) check(PyDict_Update(fixed, headers));
}

Ref post(PyObject* self, std::string_view url, PyObject* content, PyObject* headers, PyObject* timeout) {
    Ref url_text = pyutil::to_str(url);
    Ref req_timeout = request_timeout(self, timeout);
    Ref client = check(PyObject_GetAttr(self, attr::kClient));
    return pyutil::Call()
        .arg(url_text.get())
        .kw(kw::kContent, content)
        .kw(kw::kHeaders, headers)
        .kw(kw::kTimeout, req_timeout.get())
        .method(client.get(), httpx::kPost);
}

// A locally made answer: httpx.Response(200, [headers=...,] content=...).
Ref local_answer(const Args& a, std::string_view body, PyObject* headers) {
    Ref response_type = check(PyObject_GetAttr(a.global(httpx::kModule), kHttpxResponse));
    Ref status = check(PyLong_FromLong(200));
    Ref content = pyutil::to_bytes(body);
    pyutil::Call call;
    call.arg(status.get());
    if (headers != nullptr) call.kw(kw::kHeaders, headers);
    return call.kw(kw::kContent, content.get()).call(response_type.get());
}

}  // namespace

static Ref upload(Args& a) {
    enum { Key, Data, ContentType, ContentMd5, Headers, Timeout };
    PyObject* self = a.self();
    Ref data = Ref::borrow(a[Data]);
    if (Ref read = pyutil::optional_attr(data.get(), method::kRead)) data = check(PyObject_CallNoArgs(read.get()));
    if (PyUnicode_Check(data.get())) data = check(PyUnicode_AsUTF8String(data.get()));
    Ref token = pyutil::Call().arg(a[Key]).method(self, kUploadTokenMethod);

    const bool typed = !a.is_none(ContentType) && PyUnicode_GET_LENGTH(a[ContentType]) > 0;
    Ref file = check(PyTuple_Pack(3, a[Key], data.get(), typed ? a[ContentType] : kOctetStream.get()));
    Ref files = check(PyDict_New());
    check(PyDict_SetItem(files.get(), kFileField, file.get()));
    Ref form = check(PyDict_New());
    check(PyDict_SetItem(form.get(), kTokenField, token.get()));
    check(PyDict_SetItem(form.get(), kKeyField, a[Key]));
    Ref headers = pyutil::copy_headers(a[Headers]);  // the caller's mapping is never changed

    Keep keep;
    Ref url = pyutil::to_str(upload_url(self, "/", keep));
    Ref timeout = request_timeout(self, a[Timeout]);
    Ref client = check(PyObject_GetAttr(self, attr::kClient));
    return pyutil::Call()
        .arg(url.get())
        .kw(kw::kData, form.get())
        .kw(kFiles, files.get())
        .kw(kw::kHeaders, headers.get())
        .kw(kw::kTimeout, timeout.get())
        .method(client.get(), httpx::kPost);
}

const pyutil::MethodSpec kUploadSpec{
    "upload",
    "Store `data` (bytes, text encoded as UTF-8, or a file-like object read whole) as the object\n"
    "`key` in one form upload and return the httpx response. `content_md5` is accepted and not\n"
    "sent; `headers` is copied, never changed.",
    "httpx.Response",
    upload,
    {
        {"key", Kind::Str, "str"},
        {"data", Kind::Any, "Union[bytes, str, BinaryIO]"},
        {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"content_md5", Kind::OptStr, "Optional[str]", pyutil::none()},
        kHeadersParam,
        kTimeoutParam,
    },
};

static Ref initiate_multipart_upload(Args& a) {
    enum { Key };
    // json.dumps({"uploadId": "", "key": key}) with its default separators
    std::string body = "{\"uploadId\": \"\", \"key\": ";
    Ref key;
    corvault::core::kodo::append_json_string(body, json_text(a[Key], key));
    body += '}';
    Ref headers = check(PyDict_New());
    check(PyDict_SetItem(headers.get(), header::kContentType, kJsonContentType));
    return local_answer(a, body, headers.get());
}

const pyutil::MethodSpec kInitiateMultipartSpec{
    "initiate_multipart_upload",
    "Nothing to start on the service: answers locally with status 200 and an empty upload id.",
    "httpx.Response",
    initiate_multipart_upload,
    {{"key", Kind::Str, "str"},
     {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
     kHeadersParam,
     kTimeoutParam},
};

static Ref upload_part(Args& a) {
    enum { Key, UploadId, PartNumber, Data, ContentType, Headers, Timeout };
    PyObject* self = a.self();
    Keep keep;
    const std::string length = std::to_string(PyBytes_GET_SIZE(a[Data]));
    const std::string url = upload_url(self, "/mkblk/" + length, keep);
    Ref authorization = upload_authorization(self, a[Key]);
    Ref length_text = pyutil::to_str(length);
    Ref headers = check(PyDict_New());
    check(PyDict_SetItem(headers.get(), header::kAuthorization, authorization.get()));
    check(PyDict_SetItem(headers.get(), header::kContentType, kOctetStream));
    check(PyDict_SetItem(headers.get(), header::kContentLength, length_text.get()));
    merge_headers(headers.get(), a[Headers]);
    return post(self, url, a[Data], headers.get(), a[Timeout]);
}

const pyutil::MethodSpec kUploadPartSpec{
    "upload_part",
    "Create one block of at most 4 MiB from `data`; its context is in the answer's JSON \"ctx\".\n"
    "`upload_id`, `part_number` and `content_type` are accepted and not sent.",
    "httpx.Response",
    upload_part,
    {
        {"key", Kind::Str, "str"},
        {"upload_id", Kind::Str, "str"},
        {"part_number", Kind::Int, "int"},
        {"data", Kind::Bytes, "bytes"},
        {"content_type", Kind::Str, "str", pyutil::text("application/octet-stream")},
        kHeadersParam,
        kTimeoutParam,
    },
};

static Ref finish_multipart_upload(Args& a) {
    enum { Key, UploadId, Etags, NewObject, Headers, Timeout, FileSize };
    PyObject* self = a.self();
    Ref comma = pyutil::to_str(",");
    Ref joined = check(PyUnicode_Join(comma.get(), a[Etags]));
    PyObject* final_key = !a.is_none(NewObject) && PyUnicode_GET_LENGTH(a[NewObject]) > 0 ? a[NewObject] : a[Key];
    Keep keep;
    Ref size = check(PyObject_Str(a[FileSize]));
    std::string path = "/mkfile/";
    path.append(pyutil::utf8(size.get())).append("/key/");
    path += corvault::core::base64_urlsafe(pyutil::utf8(final_key));
    const std::string url = upload_url(self, path, keep);
    Ref authorization = upload_authorization(self, final_key);
    Ref headers = check(PyDict_New());
    check(PyDict_SetItem(headers.get(), header::kAuthorization, authorization.get()));
    check(PyDict_SetItem(headers.get(), header::kContentType, kTextPlain));
    merge_headers(headers.get(), a[Headers]);
    Ref body = check(PyUnicode_AsUTF8String(joined.get()));
    return post(self, url, body.get(), headers.get(), a[Timeout]);
}

const pyutil::MethodSpec kFinishMultipartSpec{
    "finish_multipart_upload",
    "Assemble the object (`new_object` when given, else `key`) of `file_size` bytes from the\n"
    "block contexts `etags`, in order; returns the httpx response unchanged.",
    "httpx.Response",
    finish_multipart_upload,
    {
        {"key", Kind::Str, "str"},
        {"upload_id", Kind::Str, "str"},
        {"etags", Kind::List, "List[str]"},
        {"new_object", Kind::OptStr, "Optional[str]", pyutil::none()},
        kHeadersParam,
        kTimeoutParam,
        {"file_size", Kind::Int, "int", pyutil::integer(0)},
    },
};

static Ref abort_multipart_upload(Args& a) { return local_answer(a, "{\"success\": true}", nullptr); }

const pyutil::MethodSpec kAbortMultipartSpec{
    "abort_multipart_upload",
    "Nothing to abort on the service (blocks never assembled expire there): answers locally\n"
    "with status 200.",
    "httpx.Response",
    abort_multipart_upload,
    {{"key", Kind::Str, "str"}, {"upload_id", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

}  // namespace marvex
