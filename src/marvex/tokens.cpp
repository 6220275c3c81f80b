// The service's credentials: entry names, the management token, the upload token, the private
// download link, and the pre-signed URL of the compatible (S3) interface.
#include "core/s3_url.hpp"
#include "core/sigv4.hpp"
#include "core/url.hpp"
#include "core/utc_time.hpp"
#include "marvex/marvex.hpp"
#include "pyutil/call.hpp"
#include "pyutil/clock.hpp"

namespace marvex {
namespace {

namespace kodo = corvault::core::kodo;
namespace sigv4 = corvault::core::sigv4;

const Name kDravikDomainEntry{"dravik_domain"};

}  // namespace

static Ref encode_entry_uri(Args& a) {
    enum { BucketArg, Key };
    Keep keep;
    const bool own_bucket = a.is_none(BucketArg) || PyUnicode_GET_LENGTH(a[BucketArg]) == 0;
    const std::string_view bucket = own_bucket ? pyutil::text_attr(a.self(), attr::kBucket, keep) : a.str(BucketArg);
    return pyutil::to_str(kodo::encoded_entry(bucket, a.str(Key)));
}

const pyutil::MethodSpec kEncodeEntryUriSpec{
    "_encode_entry_uri",
    "The service's name of an object: URL-safe Base64 of \"<bucket>:<key>\" (the client's own\n"
    "bucket when `bucket` is None or empty).",
    "str",
    encode_entry_uri,
    {
        {"bucket", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"key", Kind::Str, "str", pyutil::text("")},
    },
};

static Ref management_token(Args& a) {
    enum { Path, Body };
    Keep keep;
    std::optional<std::string_view> body;
    if (!a.is_none(Body)) {
        // The token signs text: a body that is not UTF-8 is refused before anything is sent.
        Ref decoded = check(PyUnicode_DecodeUTF8(PyBytes_AS_STRING(a[Body]), PyBytes_GET_SIZE(a[Body]), "strict"));
        body = std::string_view(PyBytes_AS_STRING(a[Body]), PyBytes_GET_SIZE(a[Body]));
    }
    return pyutil::to_str(kodo::management_token(credentials(a.self(), keep), a.str(Path), body));
}

const pyutil::MethodSpec kManagementTokenSpec{
    "_management_token",
    "The Authorization value of a management request: \"QBox <access key>:<signature>\" over\n"
    "`path` (with its query), a line feed and `body`.",
    "str",
    management_token,
    {
        {"path", Kind::Str, "str"},
        {"body", Kind::OptBytes, "Optional[bytes]", pyutil::none()},
    },
};

static long long as_long_long(PyObject* integer) {
    const long long value = PyLong_AsLongLong(integer);
    if (value == -1 && PyErr_Occurred()) throw pyutil::Error{};
    return value;
}

// Now plus a lifetime in seconds. A sum beyond the deadline's range is refused: wrapped around,
// it would make a token that expired long ago.
static long long deadline_after(PyObject* expire_time) {
    long long deadline = 0;
    if (__builtin_add_overflow(pyutil::unix_seconds(), as_long_long(expire_time), &deadline)) {
        pyutil::raise_format(PyExc_OverflowError, "expire_time %S is too large for a deadline", expire_time);
    }
    return deadline;
}

static Ref upload_token(Args& a) {
    enum { Key, ExpireTime, ReturnBody, MimeLimit, FsizeLimit };
    Keep keep;
    kodo::PutPolicy policy;
    policy.bucket = pyutil::text_attr(a.self(), attr::kBucket, keep);
    Ref key, return_body, mime_limit;
    policy.key = json_text(a[Key], key);
    if (!a.is_none(ReturnBody)) policy.return_body = json_text(a[ReturnBody], return_body);
    if (!a.is_none(MimeLimit)) policy.mime_limit = json_text(a[MimeLimit], mime_limit);
    if (!a.is_none(FsizeLimit)) policy.fsize_limit = as_long_long(a[FsizeLimit]);
    const kodo::Credentials creds = credentials(a.self(), keep);
    policy.deadline = deadline_after(a[ExpireTime]);
    return pyutil::to_str(kodo::upload_token(creds, kodo::put_policy_json(policy)));
}

const pyutil::MethodSpec kUploadTokenSpec{
    "_upload_token",
    "An upload token for `key` (any key of the bucket when empty), valid `expire_time` seconds;\n"
    "`return_body`, `mime_limit` and `fsize_limit` go into its put policy.",
    "str",
    upload_token,
    {
        {"key", Kind::Str, "str", pyutil::text("")},
        {"expire_time", Kind::Int, "int", pyutil::integer(3600)},
        {"return_body", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"mime_limit", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"fsize_limit", Kind::OptInt, "Optional[int]", pyutil::none()},
    },
};

static Ref download_token(Args& a) {
    enum { Url, ExpireTime };
    Keep keep;
    const kodo::Credentials creds = credentials(a.self(), keep);
    const long long deadline = deadline_after(a[ExpireTime]);
    return pyutil::to_str(kodo::private_download_url(creds, a.str(Url), deadline));
}

const pyutil::MethodSpec kDownloadTokenSpec{
    "_download_token",
    "The private download link of the object URL `url`, valid `expire_time` seconds.",
    "str",
    download_token,
    {
        {"url", Kind::Str, "str"},
        {"expire_time", Kind::Int, "int", pyutil::integer(1200)},
    },
};

// The signing region of compatible-mode URLs: the second label of the region's compatible host.
static std::string_view signing_region(const Args& a, Keep& keep) {
    Ref entry = region_entry(a);
    Ref fallback = pyutil::to_str(kDefaultCompatibleHost);
    Ref host = get_or(entry.get(), kDravikDomainEntry, fallback.get());
    std::string_view text = keep.text(check(PyObject_Str(host.get())));
    const std::size_t first = text.find('.');
    if (first == std::string_view::npos) pyutil::raise(PyExc_IndexError, "list index out of range");
    const std::size_t second = text.find('.', first + 1);
    return text.substr(first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
}

static Ref presigned_url(Args& a) {
    enum { Key, ExpireTime };
    PyObject* self = a.self();
    Keep keep;
    const std::string_view region = signing_region(a, keep);
    Ref base = pyutil::Call().method(self, kGetBucketDomainMethod);
    std::string url(url_text(base.get()));
    url += '/';
    append_quoted_key(url, a.str(Key));
    // Handed out with its dot segments escaped, as get_path_url writes them; the service decodes
    // them back before it signs the path anew.
    corvault::core::escape_dot_segments_in_place(url);
    const corvault::core::UrlParts parts = corvault::core::split_url(url);
    const std::string signed_path = corvault::core::s3::signed_path(parts.path);

    const corvault::core::UtcTime now = pyutil::utc_now();
    const std::string date_stamp = corvault::core::format_date_stamp(now);
    const std::string request_time = corvault::core::format_amz_date(now);
    const std::string_view expires = keep.text(check(PyObject_Str(a[ExpireTime])));
    sigv4::QuerySigning request;
    request.method = "GET";
    request.url = url;
    request.host = parts.netloc;
    request.canonical_uri = signed_path;
    request.expires = expires;
    request.request_time = request_time;
    request.scope = {date_stamp, region, sigv4::kS3Service};
    request.credentials = {pyutil::text_attr(self, attr::kAccessKey, keep),
                           pyutil::text_attr(self, attr::kSecretKey, keep)};
    return pyutil::to_str(sigv4::presigned_url(request));
}

const pyutil::MethodSpec kPresignedUrlSpec{
    "_dravik_presigned_url",
    "A pre-signed GET URL (AWS Signature Version 4, query form) of `key` on the bucket's\n"
    "download domain, for the service's S3-compatible interface; valid `expire_time` seconds.",
    "str",
    presigned_url,
    {
        {"key", Kind::Str, "str"},
        {"expire_time", Kind::Int, "int", pyutil::integer(1200)},
    },
};

}  // namespace marvex
