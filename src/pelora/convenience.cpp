// Operations that answer with a plain value: a success flag, or an object's body.
#include <climits>

#include "kit/descriptor.hpp"
#include "kit/facilities.hpp"
#include "kit/object_calls.hpp"
#include "pyutil/call.hpp"
#include "pyutil/response.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

const Name kIsfile{"isfile"};
const Name kMimetypes{"mimetypes"};
const Name kGuessType{"guess_type"};
const Name kRb{"rb"};

bool status_is(PyObject* response, long expected) { return pyutil::status_code(response) == expected; }

Ref flag(bool value) { return Ref::borrow(value ? Py_True : Py_False); }

// The whole content of a local file, the file closed again on every way out.
Ref read_file(PyObject* path) {
    kit::OwnedFile file(pyutil::Call().arg(path).arg(kRb).call(kit::facilities.open));
    Ref content = check(PyObject_CallMethodNoArgs(file.get(), method::kRead));
    file.close();
    return content;
}

}  // namespace

Ref upload_file(Args& a) {
    enum { Key, LocalPath, ContentType, Headers, Timeout };
    PyObject* self = a.self();
    Ref is_file = pyutil::Call().arg(a[LocalPath]).method(kit::facilities.os_path, kIsfile);
    if (!truthy(is_file.get())) {
        Ref message = check(PyUnicode_FromFormat("%s%U", "文件不存在: ", a[LocalPath]));
        PyErr_SetObject(PyExc_FileNotFoundError, message.get());
        throw pyutil::Error{};
    }
    Ref data = read_file(a[LocalPath]);
    Ref content_type = Ref::borrow(a[ContentType]);
    if (a.is_none(ContentType)) {
        Ref guess = pyutil::Call().arg(a[LocalPath]).method(a.global(kMimetypes), kGuessType);
        content_type = check(PySequence_GetItem(guess.get(), 0));
    }
    Ref response = pyutil::Call()
                       .arg(a[Key])
                       .arg(data.get())
                       .kw(kContentTypeKeyword, content_type.get())
                       .kw(kw::kHeaders, a[Headers])
                       .kw(kw::kTimeout, a[Timeout])
                       .method(self, kUploadOp);
    return flag(status_is(response.get(), 200));
}

const pyutil::MethodSpec kUploadFileSpec{
    "upload_file",
    "Upload the local file `local_path` as `key` (its type guessed from the name unless given).\n\n"
    "Returns whether the service answered 200; FileNotFoundError when the path is no file.",
    "bool",
    upload_file,
    {
        {"key", Kind::Str, "str"},
        {"local_path", Kind::Str, "str"},
        {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
        kHeadersParam,
        kTimeoutParam,
    },
};

Ref upload_with_retry(Args& a) {
    enum { Key, Data, ContentType, ContentMd5, Headers, Timeout, Retries };
    PyObject* self = a.self();
    // Every attempt sends the same bytes: a file is read, and chunks are gathered, once.
    Ref data = kit::resendable_body(a[Data]);
    // A count beyond long long is as good as endless: the attempts end at the first success.
    int overflow = 0;
    long long attempts = PyLong_AsLongLongAndOverflow(a[Retries], &overflow);
    if (attempts == -1 && PyErr_Occurred()) throw pyutil::Error{};
    if (overflow != 0) attempts = overflow > 0 ? LLONG_MAX : 0;
    for (long long attempt = 0; attempt < attempts; ++attempt) {
        try {
            Ref response = pyutil::Call()
                               .arg(a[Key])
                               .arg(data.get())
                               .kw(kContentTypeKeyword, a[ContentType])
                               .kw(kContentMd5Keyword, a[ContentMd5])
                               .kw(kw::kHeaders, a[Headers])
                               .kw(kw::kTimeout, a[Timeout])
                               .method(self, kUploadOp);
            if (status_is(response.get(), 200)) return flag(true);
        } catch (const pyutil::Error&) {
            // An interrupt or an exit request ends the attempts; any other failure is one attempt.
            if (!PyErr_ExceptionMatches(PyExc_Exception)) throw;
            PyErr_Clear();
        }
    }
    return flag(false);
}

const pyutil::MethodSpec kUploadWithRetrySpec{
    "upload_with_retry",
    "`upload` tried up to `retries` times in all until the service answers 200; returns whether it\n"
    "did. A file object is read once, before the first attempt, and an iterable of byte chunks\n"
    "(a generator) gathered once into bytes, so that every attempt sends the whole body.",
    "bool",
    upload_with_retry,
    {
        {"key", Kind::Str, "str"},
        {"data", Kind::Any, "Union[bytes, str, BinaryIO]"},
        {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"content_md5", Kind::OptStr, "Optional[str]", pyutil::none()},
        kHeadersParam,
        kTimeoutParam,
        {"retries", Kind::Int, "int", pyutil::integer(3)},
    },
};

Ref get_content(Args& a) {
    enum { Key, AsText, Encoding };
    Ref response = pyutil::Call().arg(a[Key]).method(a.self(), kDownloadOp);
    const long status = pyutil::status_code(response.get());
    if (status != 200) pyutil::raise_format(PyExc_Exception, "%s%ld", "下载失败: ", status);
    Ref content = pyutil::response_content(response.get());
    if (!a.flag(AsText)) return content;
    return check(PyUnicode_FromEncodedObject(content.get(), pyutil::utf8(a[Encoding]).data(), "strict"));
}

const pyutil::MethodSpec kGetContentSpec{
    "get_content",
    "The body of the object `key`, as bytes or, with `as_text`, decoded with `encoding`.\n\n"
    "Raises Exception(\"下载失败: <status>\") unless the service answers 200.",
    "Union[bytes, str]",
    get_content,
    {
        {"key", Kind::Str, "str"},
        {"as_text", Kind::Bool, "bool", pyutil::boolean(false)},
        {"encoding", Kind::Str, "str", pyutil::text("utf-8")},
    },
};

Ref is_exists(Args& a) {
    Ref response = pyutil::Call().arg(a[0]).method(a.self(), op::kHead);
    return flag(status_is(response.get(), 200));
}

const pyutil::MethodSpec kIsExistsSpec{
    "is_exists",
    "Whether the object `key` exists (HEAD answered with 200).",
    "bool",
    is_exists,
    {{"key", Kind::Str, "str"}},
};

Ref delete_file(Args& a) {
    Ref response = pyutil::Call().arg(a[0]).method(a.self(), kDeleteOp);
    return flag(status_is(response.get(), 204));
}

const pyutil::MethodSpec kDeleteFileSpec{
    "delete_file",
    "Delete the object `key`; whether the service answered 204.",
    "bool",
    delete_file,
    {{"key", Kind::Str, "str"}},
};

}  // namespace pelora
