// The four steps of a multipart upload, each one request through the primitive to the upload host.
#include "kit/answers.hpp"
#include "pyutil/call.hpp"
#include "pyutil/headers.hpp"

#include "pelora/shared.hpp"

namespace pelora {
namespace {

const Name kUploadsParam{"uploads"};
const Name kUploadIdParam{"uploadId"};
const Name kPartNumberParam{"partNumber"};
// The service's name for the key the joined object takes instead of the upload's own.
const Name kNewKeyParam{"newKey"};
const Name kZero{"0"};
const Name kTextPlain{"text/plain"};
const Name kComma{","};

// self._request(method, key, query_params=..., [data=...], headers=...)
Ref step(PyObject* self, PyObject* method, PyObject* key, PyObject* query, PyObject* data, PyObject* headers) {
    pyutil::Call call;
    call.arg(method).arg(key).kw(kw::kQueryParams, query);
    if (data != nullptr) call.kw(kw::kData, data);
    call.kw(kw::kHeaders, headers);
    return call.method(self, op::kRequest);
}

}  // namespace

Ref initiate_multipart_upload(Args& a) {
    enum { Key, ContentType, Headers };
    Ref empty = pyutil::to_str("");
    Ref query = kit::record({{&kUploadsParam, empty.get()}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    replace_header(headers.get(), header::kContentLength, "content-length", kZero);
    if (truthy(a[ContentType])) replace_header(headers.get(), header::kContentType, "content-type", a[ContentType]);
    Ref body = pyutil::to_bytes("");
    return step(a.self(), verb::kPost, a[Key], query.get(), body.get(), headers.get());
}

const pyutil::MethodSpec kInitiateMultipartSpec{
    "initiate_multipart_upload",
    "Open a multipart upload of `key`; the JSON answer holds \"UploadId\" and \"BlkSize\".",
    "httpx.Response",
    initiate_multipart_upload,
    {{"key", Kind::Str, "str"}, {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()}, kHeadersParam},
};

Ref upload_part(Args& a) {
    enum { Key, UploadId, PartNumber, Data, ContentType, Headers };
    Ref number = check(PyObject_Str(a[PartNumber]));
    Ref query = kit::record({{&kUploadIdParam, a[UploadId]}, {&kPartNumberParam, number.get()}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    replace_header(headers.get(), header::kContentType, "content-type", a[ContentType]);
    return step(a.self(), verb::kPut, a[Key], query.get(), a[Data], headers.get());
}

const pyutil::MethodSpec kUploadPartSpec{
    "upload_part",
    "Store part `part_number` (counted from 0) of the upload `upload_id`; its ETag is in the answer.",
    "httpx.Response",
    upload_part,
    {
        {"key", Kind::Str, "str"},
        {"upload_id", Kind::Str, "str"},
        {"part_number", Kind::Int, "int"},
        {"data", Kind::Bytes, "bytes"},
        {"content_type", Kind::Str, "str", pyutil::text("application/octet-stream")},
        kHeadersParam,
    },
};

Ref finish_multipart_upload(Args& a) {
    enum { Key, UploadId, Etags, NewObject, Headers };
    Ref joined = check(PyUnicode_Join(kComma, a[Etags]));
    Ref body = check(PyUnicode_AsUTF8String(joined.get()));
    Ref query = kit::record({{&kUploadIdParam, a[UploadId]}});
    if (truthy(a[NewObject])) check(PyDict_SetItem(query.get(), kNewKeyParam, a[NewObject]));
    Ref headers = pyutil::copy_headers(a[Headers]);
    replace_header(headers.get(), header::kContentType, "content-type", kTextPlain);
    return step(a.self(), verb::kPost, a[Key], query.get(), body.get(), headers.get());
}

const pyutil::MethodSpec kFinishMultipartSpec{
    "finish_multipart_upload",
    "Join the parts, whose ETags `etags` lists in part order, into the object; it takes the key\n"
    "`new_object` instead when that is given.",
    "httpx.Response",
    finish_multipart_upload,
    {
        {"key", Kind::Str, "str"},
        {"upload_id", Kind::Str, "str"},
        {"etags", Kind::List, "List[str]"},
        {"new_object", Kind::OptStr, "Optional[str]", pyutil::none()},
        kHeadersParam,
    },
};

Ref abort_multipart_upload(Args& a) {
    enum { Key, UploadId, Headers };
    Ref query = kit::record({{&kUploadIdParam, a[UploadId]}});
    Ref headers = pyutil::copy_headers(a[Headers]);
    return step(a.self(), verb::kDelete, a[Key], query.get(), nullptr, headers.get());
}

const pyutil::MethodSpec kAbortMultipartSpec{
    "abort_multipart_upload",
    "Give the upload `upload_id` up; the parts stored so far are dropped.",
    "httpx.Response",
    abort_multipart_upload,
    {{"key", Kind::Str, "str"}, {"upload_id", Kind::Str, "str"}, kHeadersParam},
};

}  // namespace pelora
