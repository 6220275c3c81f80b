// The read-only properties: key id, full bucket name and application id.
#include "pyutil/call.hpp"

#include "zorbeck/shared.hpp"

namespace zorbeck {

const Name kHyphen{"-"};
const Name kRsplit{"rsplit"};

// The value of a text attribute, refusing anything but text or None as a str result would.
Ref text_property(PyObject* self, const Name& name) {
    Ref value = check(PyObject_GetAttr(self, name));
    if (value.get() != Py_None && !PyUnicode_Check(value.get())) {
        pyutil::raise_format(PyExc_TypeError, "Expected str, got %.200s", Py_TYPE(value.get())->tp_name);
    }
    return value;
}

Ref secret_id(Args& a) { return text_property(a.self(), pyutil::attr::kAccessKey); }

const pyutil::MethodSpec kSecretId{"secret_id", "The key id of the credential.", "str", secret_id, {}};

Ref cos_bucket(Args& a) { return text_property(a.self(), pyutil::attr::kBucket); }

const pyutil::MethodSpec kCosBucket{
    "cos_bucket", "The full bucket name, application id included.", "str", cos_bucket, {}};

Ref appid(Args& a) {
    // Bucket names end in "-" and the application id; only the last hyphen counts.
    Ref bucket = check(PyObject_GetAttr(a.self(), pyutil::attr::kBucket));
    Ref one = check(PyLong_FromLong(1));
    Ref parts = pyutil::Call().arg(kHyphen).arg(one.get()).method(bucket.get(), kRsplit);
    if (PyList_Check(parts.get()) && PyList_GET_SIZE(parts.get()) == 2) {
        return Ref::borrow(PyList_GET_ITEM(parts.get(), 1));
    }
    return pyutil::to_str("");
}

const pyutil::MethodSpec kAppid{
    "appid", "The application id: the bucket name after its last hyphen.", "str", appid, {}};

}  // namespace zorbeck
