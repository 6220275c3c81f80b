// The bucket's download domain, settled once per client, and the URLs built on it: the public
// object URL, the signed URL (a private download link, or a pre-signed URL on the compatible
// domain), and the object fetch through the signed URL.
#include "core/url.hpp"
#include "marvex/marvex.hpp"
#include "pyutil/call.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"

namespace marvex {
namespace {

// The service that names a bucket's domains, and the domains it serves over https.
constexpr std::string_view kDomainQueryEndpoint = "https://uc.qiniuapi.com";
constexpr std::string_view kCdnSuffix = ".clouddn.com";
constexpr std::string_view kServiceSuffix = ".qiniuapi.com";
// Any URL on the compatible (S3) domain.
constexpr std::string_view kCompatibleDomainMark = ".qiniucs.com";
constexpr long kDomainQueryTimeout = 10;  // seconds, when the client has no default of its own

const Name kDomains{"domains"};
const Name kDravikDomainEntry{"dravik_domain"};
const Name kDownloadTokenMethod{"_download_token"};
const Name kPresignedUrlMethod{"_dravik_presigned_url"};
const Name kGetSharedUrlMethod{"get_shared_url"};

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The first domain the query names, as "<scheme>://<domain>"; an empty Ref when the answer names
// none. Every failure of the query (transport, status, answer) is left to the caller's fallback.
Ref queried_domain(PyObject* self, PyObject* url, PyObject* headers) {
    Ref configured = check(PyObject_GetAttr(self, attr::kDefaultTimeout));
    Ref timeout = check(PyObject_IsTrue(configured.get())) ? configured : check(PyLong_FromLong(kDomainQueryTimeout));
    Ref client = check(PyObject_GetAttr(self, attr::kClient));
    Ref response = pyutil::Call()
                       .arg(url)
                       .kw(kw::kHeaders, headers)
                       .kw(kw::kTimeout, timeout.get())
                       .method(client.get(), httpx::kGet);
    if (pyutil::status_code(response.get()) != 200) return {};
    Ref answer = check(PyObject_CallMethodNoArgs(response.get(), kJson));
    Ref domains;
    if (PyList_Check(answer.get())) {
        domains = answer;
    } else if (PyDict_Check(answer.get())) {
        Ref none_listed = check(PyList_New(0));
        domains = get_or(answer.get(), kDomains, none_listed.get());
    }
    if (!domains || !check(PyObject_IsTrue(domains.get()))) return {};
    Ref first = check(PySequence_GetItem(domains.get(), 0));
    if (!PyUnicode_Check(first.get())) return {};
    const std::string_view domain = pyutil::utf8(first.get());
    const bool https = ends_with(domain, kCdnSuffix) || ends_with(domain, kServiceSuffix);
    return check(PyUnicode_FromFormat("%s://%U", https ? "https" : "http", first.get()));
}

// "http://<bucket>.<the region's compatible host>"
Ref fallback_domain(const Args& a) {
    Ref entry = region_entry(a);
    Ref default_host = pyutil::to_str(kDefaultCompatibleHost);
    Ref host = get_or(entry.get(), kDravikDomainEntry, default_host.get());
    Ref bucket = check(PyObject_GetAttr(a.self(), attr::kBucket));
    return check(PyUnicode_FromFormat("http://%S.%S", bucket.get(), host.get()));
}

}  // namespace

static Ref get_bucket_domain(Args& a) {
    PyObject* self = a.self();
    if (pyutil::attr_truth(self, kCustomDomain)) return check(PyObject_GetAttr(self, attr::kDomainUrl));
    Ref cached = check(PyObject_GetAttr(self, kCachedDomainUrl));
    if (check(PyObject_IsTrue(cached.get()))) return cached;

    Keep keep;
    Ref path = pyutil::to_str("/v2/domains?tbl=" + std::string(pyutil::text_attr(self, attr::kBucket, keep)));
    Ref token = pyutil::Call().arg(path.get()).method(self, kManagementTokenMethod);
    Ref url = pyutil::to_str(std::string(kDomainQueryEndpoint) + std::string(pyutil::utf8(path.get())));
    Ref headers = check(PyDict_New());
    check(PyDict_SetItem(headers.get(), header::kAuthorization, token.get()));

    Ref domain;
    try {
        domain = queried_domain(self, url.get(), headers.get());
    } catch (const pyutil::Error&) {
        // A domain the service cannot name now is not an error: the compatible host serves too.
        if (!PyErr_ExceptionMatches(PyExc_Exception)) throw;
        PyErr_Clear();
    }
    if (!domain) domain = fallback_domain(a);
    check(PyObject_SetAttr(self, kCachedDomainUrl, domain.get()));
    return domain;
}

const pyutil::MethodSpec kGetBucketDomainSpec{
    "_get_bucket_domain",
    "The bucket's download base URL: the custom domain, else the first domain the service names\n"
    "for the bucket, else the bucket's host on the region's compatible domain. Settled once.",
    "str",
    get_bucket_domain,
    {},
};

static Ref get_path_url(Args& a) {
    enum { Key };
    Ref base = pyutil::Call().method(a.self(), kGetBucketDomainMethod);
    std::string url(url_text(base.get()));
    url += '/';
    append_quoted_key(url, a.str(Key));
    // A key with "." or ".." segments keeps them as "%2E" and "%2E%2E", which the service reads
    // back as dots, while browsers and httpx would remove them and fetch another object.
    corvault::core::escape_dot_segments_in_place(url);
    return pyutil::to_str(url);
}

const pyutil::MethodSpec kGetPathUrlSpec{
    "get_path_url",
    "The object's public URL on the bucket's download domain (no credential in it).",
    "str",
    get_path_url,
    {{"key", Kind::Str, "str"}},
};

static Ref get_shared_url(Args& a) {
    enum { Key, ExpireTime };
    PyObject* self = a.self();
    Ref base = pyutil::Call().method(self, kGetBucketDomainMethod);
    std::string url(url_text(base.get()));
    if (url.find(kCompatibleDomainMark) != std::string::npos) {
        return pyutil::Call().arg(a[Key]).arg(a[ExpireTime]).method(self, kPresignedUrlMethod);
    }
    url += '/';
    append_quoted_key(url, a.str(Key));
    // The token covers the URL as handed out, with the dot segments that get_path_url escapes.
    corvault::core::escape_dot_segments_in_place(url);
    Ref url_ref = pyutil::to_str(url);
    return pyutil::Call().arg(url_ref.get()).arg(a[ExpireTime]).method(self, kDownloadTokenMethod);
}

const pyutil::MethodSpec kGetSharedUrlSpec{
    "get_shared_url",
    "A URL of `key` valid `expire_time` seconds: a private download link, or a pre-signed URL\n"
    "when the download domain lies on the compatible (S3) domain.",
    "str",
    get_shared_url,
    {{"key", Kind::Str, "str"}, {"expire_time", Kind::Int, "int", pyutil::integer(1200)}},
};

static Ref download(Args& a) {
    enum { Key, Headers, Timeout };
    PyObject* self = a.self();
    Ref url = pyutil::Call().arg(a[Key]).method(self, kGetSharedUrlMethod);
    Ref headers = pyutil::copy_headers(a[Headers]);
    Ref timeout = request_timeout(self, a[Timeout]);
    return get_as_built(self, url.get(), headers.get(), timeout.get());
}

const pyutil::MethodSpec kDownloadSpec{
    "_download",
    "GET the object `key` through its signed URL and return the httpx response unchanged.",
    "httpx.Response",
    download,
    {{"key", Kind::Str, "str"}, kHeadersParam, kTimeoutParam},
};

}  // namespace marvex
