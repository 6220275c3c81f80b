// The steps of a multipart upload, one request each: start, send a part, complete from the
// parts' ETags, abort. The caller numbers the parts and decides on completion or abort.
#include <vector>

#include "core/xml_writer.hpp"
#include "pyutil/headers.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

const Name kUploadsParam{"uploads"};
const Name kPartNumberParam{"partNumber"};
const Name kUploadIdParam{"uploadId"};
const Name kApplicationXml{"application/xml"};

Ref initiate_multipart_upload(Args& a) {
    enum { Key, ContentType, Headers, Timeout };
    Ref empty = pyutil::to_str("");
    Ref params = text_dict({{&kUploadsParam, empty.get()}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), kContentTypeHeader, a[ContentType]);
    return object_request(a.self(), kPost, a[Key], params.get(), nullptr, headers.get(), a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kInitiateMultipartSpec{
    "initiate_multipart_upload",
    "Start a multipart upload of `key`; the upload id is in the answer's UploadId element.",
    "httpx.Response",
    initiate_multipart_upload,
    {{"key", Kind::Str, "str"}, {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()}, kHeadersParam,
     kTimeoutParam},
};

namespace {

Ref upload_part(Args& a) {
    enum { Key, UploadId, PartNumber, Data, ContentType, Headers, Timeout };
    Ref part_number = check(PyObject_Str(a[PartNumber]));
    Ref params = text_dict({{&kPartNumberParam, part_number.get()}, {&kUploadIdParam, a[UploadId]}});
    Ref data = read_if_file(a[Data]);  // text stays text: the part is sent as given
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), kContentTypeHeader, a[ContentType]);
    return object_request(a.self(), kPut, a[Key], params.get(), data.get(), headers.get(), a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kUploadPartSpec{
    "upload_part",
    "Send part `part_number` of a multipart upload; its ETag is in the answer's ETag header.",
    "httpx.Response",
    upload_part,
    {
        {"key", Kind::Str, "str"},
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
    Ref body = pyutil::to_str(core::xml::complete_multipart_body(views));
    Ref params = text_dict({{&kUploadIdParam, a[UploadId]}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    pyutil::set_item(headers.get(), kContentTypeHeader, kApplicationXml);
    return object_request(a.self(), kPost, a[Key], params.get(), body.get(), headers.get(), a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kFinishMultipartSpec{
    "finish_multipart_upload",
    "Complete a multipart upload from the parts' ETags, numbered 1, 2, ... in list order.",
    "httpx.Response",
    finish_multipart_upload,
    {
        {"key", Kind::Str, "str"},
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
    Ref params = text_dict({{&kUploadIdParam, a[UploadId]}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    return object_request(a.self(), kDelete, a[Key], params.get(), nullptr, headers.get(), a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kAbortMultipartSpec{
    "abort_multipart_upload",
    "Abort a multipart upload and return the response unchanged.",
    "httpx.Response",
    abort_multipart_upload,
    {{"key", Kind::Str, "str"}, {"upload_id", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

}  // namespace kestry
