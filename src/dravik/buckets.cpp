// Bucket management: create, delete, test and list the account's buckets.
#include <string>

#include "core/s3_answers.hpp"
#include "core/s3_url.hpp"
#include "core/url.hpp"
#include "core/utc_time.hpp"
#include "core/xml_writer.hpp"
#include "kit/answers.hpp"
#include "pyutil/call.hpp"
#include "pyutil/clock.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/headers.hpp"
#include "pyutil/response.hpp"
#include "pyutil/text.hpp"

#include "dravik/shared.hpp"

namespace dravik {

const Name kServiceLevel{"service_level"};
const Name kNameField{"name"};
const Name kCreationDateField{"creation_date"};

// A name given for a bucket goes raw into the path (or the host) of the request; one that would
// address another bucket there is refused before anything is sent.
bool names_one_bucket(PyObject* bucket_name) { return core::s3::bucket_name_fits_url(pyutil::utf8(bucket_name)); }

Ref checked_target_bucket(PyObject* self, PyObject* bucket_name) {
    if (!names_one_bucket(bucket_name)) {
        pyutil::raise_format(PyExc_ValueError, "bucket_name must not hold '/', '?' or '#', nor be '.' or '..'");
    }
    return target_bucket(self, bucket_name);
}

bool ok_or_no_content(PyObject* response) {
    const long status = pyutil::status_code(response);
    return status == 200 || status == 204;
}

Ref create_bucket(Args& a) {
    enum { BucketName };
    PyObject* self = a.self();
    Ref bucket = checked_target_bucket(self, a[BucketName]);
    Ref region = check(PyObject_GetAttr(self, attr::kRegion));
    Ref body = Ref::borrow(Py_None);
    Ref headers = check(PyDict_New());
    // The default region takes no location constraint.
    if (check(PyObject_IsTrue(region.get())) &&
        !(PyUnicode_Check(region.get()) && pyutil::utf8(region.get()) == "us-east-1")) {
        Keep keep;
        body = pyutil::to_bytes(core::s3::create_bucket_body(pyutil::text_attr(self, attr::kRegion, keep)));
        pyutil::set_item(headers.get(), header::kContentType, kApplicationXml);
    }
    Ref response = pyutil::Call()
                       .arg(verb::kPut)
                       .arg(bucket.get())
                       .kw(kw::kData, body.get())
                       .kw(kw::kHeaders, headers.get())
                       .method(self, kBucketRequestOp);
    if (!ok_or_no_content(response.get())) pyutil::raise_failure("创建存储桶失败: ", response.get());
    return Ref::borrow(Py_True);
}

const pyutil::MethodSpec kCreateBucketSpec{
    "create_bucket",
    "Create a bucket (the client's own when `bucket_name` is empty) in the client's region.",
    "bool",
    create_bucket,
    {{"bucket_name", Kind::Str, "str", pyutil::text("")}},
};

Ref delete_bucket(Args& a) {
    enum { BucketName };
    Ref bucket = checked_target_bucket(a.self(), a[BucketName]);
    Ref response = pyutil::Call().arg(verb::kDelete).arg(bucket.get()).method(a.self(), kBucketRequestOp);
    if (!ok_or_no_content(response.get())) pyutil::raise_failure("删除存储桶失败: ", response.get());
    return Ref::borrow(Py_True);
}

const pyutil::MethodSpec kDeleteBucketSpec{
    "delete_bucket",
    "Delete a bucket (the client's own when `bucket_name` is empty).",
    "bool",
    delete_bucket,
    {{"bucket_name", Kind::Str, "str", pyutil::text("")}},
};

Ref bucket_exists(Args& a) {
    enum { BucketName };
    if (!names_one_bucket(a[BucketName])) return Ref::borrow(Py_False);  // no bucket has that name
    Ref bucket = target_bucket(a.self(), a[BucketName]);
    Ref response = pyutil::Call().arg(verb::kHead).arg(bucket.get()).method(a.self(), kBucketRequestOp);
    return Ref::borrow(pyutil::status_code(response.get()) == 200 ? Py_True : Py_False);
}

const pyutil::MethodSpec kBucketExistsSpec{
    "bucket_exists",
    "Whether a bucket (the client's own when `bucket_name` is empty) answers HEAD with 200.",
    "bool",
    bucket_exists,
    {{"bucket_name", Kind::Str, "str", pyutil::text("")}},
};

Ref list_buckets(Args& a) {
    PyObject* self = a.self();
    Keep keep;
    const std::string_view endpoint = pyutil::text_attr(self, attr::kEndpoint, keep);
    Ref host = pyutil::to_str(core::strip_scheme_markers(endpoint));
    Ref url = pyutil::to_str(std::string(endpoint) + "/");
    Ref headers = kit::record({{&header::kHost, host.get()}});
    const bool version2 = pyutil::attr_is(self, kSignatureVersion, kVersion2);
    if (version2) {
        Ref date = pyutil::to_str(core::format_rfc1123(pyutil::utc_now()));
        pyutil::set_item(headers.get(), header::kDate, date.get());
    } else {
        Ref date = pyutil::to_str(core::format_amz_date(pyutil::utc_now()));
        pyutil::set_item(headers.get(), kAmzDateHeader, date.get());
        pyutil::set_item(headers.get(), kContentSha256Header, kUnsignedPayload);
    }
    Ref empty = pyutil::to_str("");
    Ref authorization = pyutil::Call()
                            .arg(verb::kGet)
                            .arg(empty.get())
                            .arg(headers.get())
                            .arg(Py_None)
                            .kw(kServiceLevel, Py_True)
                            .method(self, version2 ? kSignRequestV2Op : kSignRequestOp);
    pyutil::set_item(headers.get(), header::kAuthorization, authorization.get());

    pyutil::Call send;
    send.arg(verb::kGet).arg(url.get()).kw(kw::kHeaders, headers.get());
    Ref timeout = kit::effective_timeout(self, nullptr);
    if (timeout) send.kw(kw::kTimeout, timeout.get());
    Ref client = check(PyObject_GetAttr(self, attr::kClient));
    Ref response = send.method(client.get(), httpx::kRequest);
    if (pyutil::status_code(response.get()) != 200) pyutil::raise_failure("列出存储桶失败: ", response.get());

    Ref text = pyutil::response_text(response.get());
    const auto buckets = kit::read_xml_answer([&] { return core::s3::parse_bucket_listing(pyutil::utf8(text.get())); });
    Ref result = check(PyList_New(0));
    for (const core::s3::ListedBucket& bucket : buckets) {
        Ref name = kit::text_value(bucket.name, empty.get());
        Ref created = kit::text_value(bucket.creation_date, empty.get());
        Ref record = kit::record({{&kNameField, name.get()}, {&kCreationDateField, created.get()}});
        check(PyList_Append(result.get(), record.get()));
    }
    return result;
}

const pyutil::MethodSpec kListBucketsSpec{
    "list_buckets", "The account's buckets: [{'name', 'creation_date'}, ...].", "List[Dict]", list_buckets, {},
};

}  // namespace dravik
