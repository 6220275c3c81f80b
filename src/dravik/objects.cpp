// Operations on one object: store, list and server-side copy (fetch, metadata and delete are the
// kit's).
#include <string>

#include "core/listing.hpp"
#include "core/s3_answers.hpp"
#include "core/s3_url.hpp"
#include "kit/answers.hpp"
#include "kit/object_listing.hpp"
#include "pyutil/call.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

#include "dravik/shared.hpp"

namespace dravik {

// The listing query.
const Name kListTypeParam{"list-type"};
const Name kTwo{"2"};
const Name kPrefixParam{"prefix"};
const Name kMaxKeysParam{"max-keys"};
const Name kContinuationTokenParam{"continuation-token"};
const Name kCopySourceHeader{"x-amz-copy-source"};

Ref upload(Args& a) {
    enum { Key, Data, ContentType, ContentMd5, Headers, Timeout };
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), header::kContentType, a[ContentType]);
    if (non_empty_text(a[ContentMd5])) pyutil::set_item(headers.get(), header::kContentMd5, a[ContentMd5]);
    Ref data = read_if_file(a[Data]);
    if (PyUnicode_Check(data.get())) data = check(PyUnicode_AsUTF8String(data.get()));
    return call_object_request(a.self(), verb::kPut, a[Key], nullptr, data.get(), headers.get(), a[Timeout]);
}

const pyutil::MethodSpec kUploadSpec{
    "upload",
    "Store `data` (bytes, text encoded as UTF-8, or a file-like object read whole) as the object\n"
    "`key` and return the response. `headers` is copied, never changed.",
    "httpx.Response",
    upload,
    {
        {"key", Kind::NonEmptyStr, "str"},
        {"data", Kind::Any, "Union[bytes, str, BinaryIO]"},
        {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"content_md5", Kind::OptStr, "Optional[str]", pyutil::none()},
        kHeadersParam,
        kTimeoutParam,
    },
};

Ref list_objects(Args& a) {
    enum { Prefix, Marker, Limit, Headers, Timeout };
    Ref limit_text = check(PyObject_Str(a[Limit]));
    Ref params = kit::record({{&kListTypeParam, kTwo}, {&kPrefixParam, a[Prefix]}, {&kMaxKeysParam, limit_text.get()}});
    if (PyUnicode_GET_LENGTH(a[Marker]) > 0) check(PyDict_SetItem(params.get(), kContinuationTokenParam, a[Marker]));
    return kit::list_through_request(a.self(), core::listing::kS3ListObjectsV2, params.get(), a[Headers], a[Timeout]);
}

const pyutil::MethodSpec kListSpec{
    "list",
    "One page of the objects whose keys begin with `prefix`.\n\n"
    "Returns {'objects': [{'key', 'size', 'last_modified', 'etag'}, ...], 'is_truncated': bool}\n"
    "and, when the listing continues, 'next_marker' to pass as `marker` for the next page."
    "\n\n" CORVAULT_XML_LISTING_FAILURES_DOC,
    "Dict",
    list_objects,
    {
        {"prefix", Kind::Str, "str", pyutil::text("")},
        {"marker", Kind::Str, "str", pyutil::text("")},
        {"limit", Kind::Int, "int", pyutil::integer(20)},
        kHeadersParam,
        kTimeoutParam,
    },
};

Ref copy_object(Args& a) {
    enum { SrcKey, DestKey, SrcBucket, Headers, Timeout };
    PyObject* self = a.self();
    Ref source_bucket = target_bucket_text(self, a[SrcBucket]);
    std::string source = "/";
    source.append(pyutil::utf8(source_bucket.get())).append("/").append(core::s3::encode_key(a.str(SrcKey)));
    Ref copy_source = pyutil::to_str(source);
    Ref headers = pyutil::copy_headers(a[Headers]);
    pyutil::set_item(headers.get(), kCopySourceHeader, copy_source.get());
    Ref response = call_object_request(self, verb::kPut, a[DestKey], nullptr, nullptr, headers.get(), a[Timeout]);
    if (pyutil::status_code(response.get()) != 200) pyutil::raise_failure("复制对象失败: ", response.get());
    // A 200 answer holds either the result or an Error document that ends a long copy, after
    // blanks sent to keep the connection open; only the result says that the copy was made.
    Ref text = pyutil::response_text(response.get());
    if (!PyUnicode_Check(text.get()) || !core::s3::has_root(pyutil::utf8(text.get()), "CopyObjectResult")) {
        pyutil::raise_failure("复制对象失败: ", response.get());
    }
    return Ref::borrow(Py_True);
}

const pyutil::MethodSpec kCopyObjectSpec{
    "copy_object",
    "Copy `src_key` of `src_bucket` (the client's own when empty) to `dest_key` of the client's\n"
    "bucket on the service side. Returns True; raises on failure.",
    "bool",
    copy_object,
    {
        {"src_key", Kind::NonEmptyStr, "str"},
        {"dest_key", Kind::NonEmptyStr, "str"},
        {"src_bucket", Kind::Str, "str", pyutil::text("")},
        kHeadersParam,
        kTimeoutParam,
    },
};

}  // namespace dravik
