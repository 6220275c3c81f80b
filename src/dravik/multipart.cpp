// The steps of a multipart upload: initiate, send a part, complete, abort.
#include <string_view>
#include <vector>

#include "core/xml_writer.hpp"
#include "kit/answers.hpp"
#include "pyutil/call.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

#include "dravik/shared.hpp"

namespace dravik {

const Name kUploadsParam{"uploads"};
const Name kPartNumberParam{"partNumber"};
const Name kUploadIdParam{"uploadId"};

Ref initiate_multipart_upload(Args& a) {
    enum { Key, ContentType, Headers, Timeout };
    Ref empty = pyutil::to_str("");
    Ref params = kit::record({{&kUploadsParam, empty.get()}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), header::kContentType, a[ContentType]);
    return call_object_request(a.self(), verb::kPost, a[Key], params.get(), nullptr, headers.get(), a[Timeout]);
}

const pyutil::MethodSpec kInitiateMultipartSpec{
    "initiate_multipart_upload",
    "Start a multipart upload of `key`; the upload id is in the answer's UploadId element.",
    "httpx.Response",
    initiate_multipart_upload,
    {{"key", Kind::Str, "str"},
     {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
     kHeadersParam,
     kTimeoutParam},
};

Ref upload_part(Args& a) {
    enum { Key, UploadId, PartNumber, Data, ContentType, Headers, Timeout };
    Ref part_number = check(PyObject_Str(a[PartNumber]));
    Ref params = kit::record({{&kPartNumberParam, part_number.get()}, {&kUploadIdParam, a[UploadId]}});
    Ref data = read_if_file(a[Data]);  // text stays text: the part is sent as given
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), header::kContentType, a[ContentType]);
    return call_object_request(a.self(), verb::kPut, a[Key], params.get(), data.get(), headers.get(), a[Timeout]);
}

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

Ref finish_multipart_upload(Args& a) {
    enum { Key, UploadId, Etags, NewObject, Headers, Timeout };
    (void)NewObject;  // accepted and without effect: the upload completes under its own key
    PyObject* etags = a[Etags];
    std::vector<Ref> texts;
    std::vector<std::string_view> views;
    texts.reserve(static_cast<std::size_t>(PyList_GET_SIZE(etags)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(etags); ++i) {
        texts.push_back(check(PyObject_Str(PyList_GET_ITEM(etags, i))));
        views.push_back(pyutil::utf8(texts.back().get()));
    }
    Ref body = pyutil::to_str(core::xml::complete_multipart_body(views));
    Ref params = kit::record({{&kUploadIdParam, a[UploadId]}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    pyutil::set_item(headers.get(), header::kContentType, kApplicationXml);
    return call_object_request(a.self(), verb::kPost, a[Key], params.get(), body.get(), headers.get(), a[Timeout]);
}

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

Ref abort_multipart_upload(Args& a) {
    enum { Key, UploadId, Headers, Timeout };
    Ref params = kit::record({{&kUploadIdParam, a[UploadId]}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    return call_object_request(a.self(), verb::kDelete, a[Key], params.get(), nullptr, headers.get(), a[Timeout]);
}

const pyutil::MethodSpec kAbortMultipartSpec{
    "abort_multipart_upload",
    "Abort a multipart upload and return the response unchanged.",
    "httpx.Response",
    abort_multipart_upload,
    {{"key", Kind::Str, "str"}, {"upload_id", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

}  // namespace dravik
