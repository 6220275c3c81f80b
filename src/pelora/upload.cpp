// Multipart upload of a local file or a byte string: initiate, the parts through the kit's block
// loop, finish; any failure once the service has named the upload gives it up before it is raised.
#include "kit/block_upload.hpp"
#include "kit/ranged_download.hpp"
#include "pyutil/call.hpp"
#include "pyutil/response.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

constexpr long long kDefaultPartSize = 4LL * 1024 * 1024;

const Name kUploadIdField{"UploadId"};
const Name kBlkSizeField{"BlkSize"};
const Name kEtagHeader{"ETag"};
const Name kEtagsField{"etags"};
const Name kStrip{"strip"};
const Name kResponseHeaders{"headers"};
const Name kOctetStream{"application/octet-stream"};
const Name kQuote{"\""};

// A stored part's ETag, without the quotes the service may put around it.
Ref etag_of(PyObject* response) {
    Ref headers = check(PyObject_GetAttr(response, kResponseHeaders));
    Ref empty = pyutil::to_str("");
    Ref etag = pyutil::Call().arg(kEtagHeader).arg(empty.get()).method(headers.get(), method::kGet);
    return pyutil::Call().arg(kQuote).method(etag.get(), kStrip);
}

// The part size the service proposes, as int() takes a number; anything else is no size.
long long service_block_size(PyObject* value) {
    if (!PyLong_Check(value) && (!PyNumber_Check(value) || PyComplex_Check(value))) {
        pyutil::raise_format(PyExc_TypeError, "BlkSize must be a number, not %.200s", Py_TYPE(value)->tp_name);
    }
    Ref number = check(PyNumber_Long(value));
    int overflow = 0;
    const long long size = PyLong_AsLongLongAndOverflow(number.get(), &overflow);
    if (size == -1 && PyErr_Occurred()) throw pyutil::Error{};
    if (overflow > 0) return kit::part_size_value(number.get());
    // Parts of no bytes would never end the object.
    if (overflow < 0 || size < 1) {
        pyutil::raise_format(PyExc_ValueError, "BlkSize must be at least 1, not %S", number.get());
    }
    return size;
}

// Sends the abort while the failure being reported waits. True, with that exception set in
// place of the failure, when the abort was stopped by one not derived from Exception.
bool abort_interrupted(PyObject* self, PyObject* key, PyObject* upload_id) {
    Ref interrupt;
    {
        pyutil::PendingError keep;
        try {
            Ref aborted = pyutil::Call().arg(key).arg(upload_id).method(self, kAbortOp);
        } catch (const pyutil::Error&) {
            if (!PyErr_ExceptionMatches(PyExc_Exception)) {
#if PY_VERSION_HEX >= 0x030C0000
                interrupt = Ref::steal(PyErr_GetRaisedException());
#else
                PyObject *type, *value, *traceback;
                PyErr_Fetch(&type, &value, &traceback);
                PyErr_NormalizeException(&type, &value, &traceback);
                if (traceback != nullptr) PyException_SetTraceback(value, traceback);
                Py_XDECREF(type);
                Py_XDECREF(traceback);
                interrupt = Ref::steal(value);
#endif
            }
        }
    }
    if (!interrupt) return false;
    PyErr_Clear();
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(interrupt.get())), interrupt.get());
    return true;
}

Ref upload_in_parts(Args& a, kit::PartSource (*make_source)(PyObject*)) {
    enum { Key, Source, ContentType, PartSize, Headers, Callback, Retries };
    PyObject* self = a.self();
    const bool user_defined = !a.is_none(PartSize);
    long long part_size = user_defined ? kit::part_size_value(a[PartSize]) : kDefaultPartSize;
    PyObject* content_type = a.is_none(ContentType) ? kOctetStream.get() : a[ContentType];
    kit::PartSource source = make_source(a[Source]);

    Ref upload_id;
    try {
        Ref started = pyutil::Call()
                          .arg(a[Key])
                          .kw(kContentTypeKeyword, content_type)
                          .kw(kw::kHeaders, a[Headers])
                          .method(self, kInitiateOp);
        if (pyutil::status_code(started.get()) != 200) pyutil::raise_failure("初始化分片失败: ", started.get());
        Ref answer = check(PyObject_CallMethodNoArgs(started.get(), kJson));
        upload_id = check(PyObject_GetItem(answer.get(), kUploadIdField));
        Ref current = check(PyLong_FromLongLong(part_size));
        Ref block = pyutil::Call().arg(kBlkSizeField).arg(current.get()).method(answer.get(), method::kGet);
        if (!user_defined) part_size = service_block_size(block.get());

        kit::PartUpload upload{};
        upload.self = self;
        upload.key = a[Key];
        upload.upload_id = upload_id.get();
        upload.first_number = 0;  // the service counts parts from 0
        upload.content_type = content_type;
        upload.headers = a[Headers];
        upload.retries = a[Retries];
        upload.callback = a[Callback];
        upload.read_answer = etag_of;
        Ref etags = kit::upload_parts(upload, source, part_size);
        Ref finished = pyutil::Call()
                           .arg(a[Key])
                           .arg(upload_id.get())
                           .arg(etags.get())
                           .kw(kw::kHeaders, a[Headers])
                           .method(self, kFinishOp);
        return kit::finished_upload(finished.get(), upload_id.get(), kEtagsField, etags.get());
    } catch (const pyutil::Error&) {
        if (!PyErr_ExceptionMatches(PyExc_Exception) || !truthy(upload_id.get())) throw;
        // Parts already stored would otherwise stay with the service; the abort's own failure
        // gives way to the one being reported, unless it is an interrupt or an exit request.
        if (abort_interrupted(self, a[Key], upload_id.get())) throw pyutil::Error{};
        throw;
    }
}

}  // namespace

Ref multipart_upload(Args& a) { return upload_in_parts(a, kit::PartSource::file); }

const pyutil::MethodSpec kMultipartUploadSpec{
    "multipart_upload",
    "Upload the local file `file_path` as `key` in parts, one after another, each through\n"
    "`_upload_part_with_retry` (numbered from 0), and join them.\n\n"
    "`part_size` defaults to the block size the service proposes. `callback(index, total_parts,\n"
    "bytes_done, total_bytes)` follows each part. Returns {'upload_id', 'etags', 'result'}; on a\n"
    "failure after the upload was opened, it is aborted and the failure raised. A path that is no\n"
    "regular file (a pipe, a FIFO, a socket, a directory) raises ValueError before anything is sent.",
    "Dict",
    multipart_upload,
    {
        {"key", Kind::Str, "str"},
        {"file_path", Kind::Str, "str"},
        {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"part_size", Kind::OptInt, "Optional[int]", pyutil::none()},
        kHeadersParam,
        {"callback", Kind::Any, kCallbackType, pyutil::none()},
        {"retries", Kind::Int, "int", pyutil::integer(3)},
    },
};

Ref multipart_upload_bytes(Args& a) { return upload_in_parts(a, kit::PartSource::bytes); }

const pyutil::MethodSpec kMultipartUploadBytesSpec{
    "multipart_upload_bytes",
    "As multipart_upload, for the byte string `data`.",
    "Dict",
    multipart_upload_bytes,
    {
        {"key", Kind::Str, "str"},
        {"data", Kind::Bytes, "bytes"},
        {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"part_size", Kind::OptInt, "Optional[int]", pyutil::none()},
        kHeadersParam,
        {"callback", Kind::Any, kCallbackType, pyutil::none()},
        {"retries", Kind::Int, "int", pyutil::integer(3)},
    },
};

}  // namespace pelora
