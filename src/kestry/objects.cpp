// Storing an object: one request through `_request` whose response comes back unchanged (its
// `_download`, `head` and `delete` are the kit's).
#include "pyutil/headers.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

Ref upload(Args& a) {
    enum { Key, Data, ContentType, ContentMd5, Headers, Timeout };
    Ref headers = pyutil::copy_headers(a[Headers]);
    if (non_empty_text(a[ContentType])) pyutil::set_item(headers.get(), header::kContentType, a[ContentType]);
    if (non_empty_text(a[ContentMd5])) pyutil::set_item(headers.get(), header::kContentMd5, a[ContentMd5]);
    Ref data = read_if_file(a[Data]);  // text stays text: the HTTP client sends it as UTF-8
    return call_object_request(a.self(), verb::kPut, a[Key], nullptr, data.get(), headers.get(), a[Timeout]);
}

}  // namespace

const pyutil::MethodSpec kUploadSpec{
    "upload",
    "Store `data` (bytes, text sent as UTF-8, or a file-like object read whole) as the object\n"
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

}  // namespace kestry
