#include "kit/multipart_steps.hpp"

#include <string_view>
#include <vector>

#include "core/xml_writer.hpp"
#include "kit/answers.hpp"
#include "kit/object_calls.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/names.hpp"

namespace kit {
namespace {

using pyutil::Args;
using pyutil::check;
using pyutil::Kind;
using pyutil::Name;
using pyutil::Ref;

const Name kUploadsParam{"uploads"};
const Name kPartNumberParam{"partNumber"};
const Name kUploadIdParam{"uploadId"};
const Name kApplicationXml{"application/xml"};

Ref initiate_multipart_upload(Args& a) {
    enum { Key, ContentType, Headers, Timeout };
    Ref empty = pyutil::to_str("");
    Ref params = record({{&kUploadsParam, empty.get()}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), pyutil::header::kContentType, a[ContentType]);
    return call_object_request(a.self(), pyutil::verb::kPost, a[Key], params.get(), nullptr, headers.get(), a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kInitiateMultipartSpec{
    "initiate_multipart_upload",
    "Start a multipart upload of `key`; the upload id is in the answer's UploadId element.",
    "httpx.Response",
    initiate_multipart_upload,
    {{"key", Kind::NonEmptyStr, "str"},
     {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
     kHeadersParam,
     kTimeoutParam},
};

namespace {

Ref upload_part(Args& a) {
    enum { Key, UploadId, PartNumber, Data, ContentType, Headers, Timeout };
    Ref part_number = check(PyObject_Str(a[PartNumber]));
    Ref params = record({{&kPartNumberParam, part_number.get()}, {&kUploadIdParam, a[UploadId]}});
    Ref data = read_if_file(a[Data]);  // text stays text: the part is sent as given
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), pyutil::header::kContentType, a[ContentType]);
    return call_object_request(a.self(), pyutil::verb::kPut, a[Key], params.get(), data.get(), headers.get(),
                               a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kUploadPartSpec{
    "upload_part",
    "Send part `part_number` of a multipart upload; its ETag is in the answer's ETag header.",
    "httpx.Response",
    upload_part,
    {
        {"key", Kind::NonEmptyStr, "str"},
        {"upload_id", Kind::Str, "str"},
        {"part_number", Kind::Int, "int"},
        {"data", Kind::Any, "Union[bytes, BinaryIO]"},
        {"content_type", Kind::Str, "str", pyutil::text("application/octet-stream")},
        kHeadersParam,
        kTimeoutParam,
    },
};

namespace {

Ref finish_multipart_upload(Args& a) {
    enum { Key, UploadId, Etags, NewObject, Headers, Timeout };
    (void)NewObject;  // accepted and without effect: the upload completes under its own key
    // A copy of the list, and the text form of each entry held, before any entry's __str__ runs.
    Ref etags = check(PyList_GetSlice(a[Etags], 0, PyList_GET_SIZE(a[Etags])));
    std::vector<Ref> texts;
    std::vector<std::string_view> views;
    texts.reserve(static_cast<std::size_t>(PyList_GET_SIZE(etags.get())));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(etags.get()); ++i) {
        texts.push_back(check(PyObject_Str(PyList_GET_ITEM(etags.get(), i))));
    }
    for (const Ref& text : texts) views.push_back(pyutil::utf8(text.get()));
    // The ETags are escaped: an entity tag may hold "&" or "<", which would break the document.
    Ref body = pyutil::to_str(corvault::core::xml::complete_multipart_body(views));
    Ref params = record({{&kUploadIdParam, a[UploadId]}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    pyutil::set_item(headers.get(), pyutil::header::kContentType, kApplicationXml);
    return call_object_request(a.self(), pyutil::verb::kPost, a[Key], params.get(), body.get(), headers.get(),
                               a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kFinishMultipartSpec{
    "finish_multipart_upload",
    "Complete a multipart upload from the parts' ETags, numbered 1, 2, ... in list order.",
    "httpx.Response",
    finish_multipart_upload,
    {
        {"key", Kind::NonEmptyStr, "str"},
        {"upload_id", Kind::Str, "str"},
        {"etags", Kind::List, "List[str]"},
        {"new_object", Kind::OptStr, "Optional[str]", pyutil::none()},
        kHeadersParam,
        kTimeoutParam,
    },
};

namespace {

Ref abort_multipart_upload(Args& a) {
    enum { Key, UploadId, Headers, Timeout };
    Ref params = record({{&kUploadIdParam, a[UploadId]}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    return call_object_request(a.self(), pyutil::verb::kDelete, a[Key], params.get(), nullptr, headers.get(),
                               a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kAbortMultipartSpec{
    "abort_multipart_upload",
    "Abort a multipart upload and return the response unchanged.",
    "httpx.Response",
    abort_multipart_upload,
    {{"key", Kind::NonEmptyStr, "str"}, {"upload_id", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

}  // namespace kit
