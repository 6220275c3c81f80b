// corvault.marvex: MarvexKodoClient, the client of Kodo object storage. The module body binds
// its names in the order a reader of the class expects them, then creates the class with its
// methods in the order of the class body.
#include "core/encoding.hpp"
#include "kit/facilities.hpp"
#include "marvex/marvex.hpp"
#include "pyutil/module.hpp"

namespace marvex {
namespace {

PyObject* wrong_argument(const char* name, const char* expected, PyObject* value) {
    PyErr_Format(PyExc_TypeError, "Argument '%s' has incorrect type (expected %s, got %.200s)", name, expected,
                 Py_TYPE(value)->tp_name);
    return nullptr;
}

// _urlsafe_base64_encode(data: bytes) -> str
PyObject* urlsafe_base64_encode(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* names[] = {"data", nullptr};
    PyObject* data = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:_urlsafe_base64_encode", const_cast<char**>(names), &data)) {
        return nullptr;
    }
    if (!PyBytes_CheckExact(data)) return wrong_argument("data", "bytes", data);
    const std::string text =
        corvault::core::base64_urlsafe(std::string_view(PyBytes_AS_STRING(data), PyBytes_GET_SIZE(data)));
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// _urlsafe_base64_decode(s: str) -> bytes: padded to a multiple of four with "=", then decoded
// by the standard library, whose error a malformed text gets.
PyObject* urlsafe_base64_decode(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* names[] = {"s", nullptr};
    PyObject* s = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:_urlsafe_base64_decode", const_cast<char**>(names), &s)) {
        return nullptr;
    }
    if (!PyUnicode_CheckExact(s)) return wrong_argument("s", "str", s);
    const Py_ssize_t remainder = PyUnicode_GET_LENGTH(s) % 4;
    Ref padded = Ref::borrow(s);
    if (remainder != 0) {
        Ref padding = Ref::steal(PyUnicode_FromStringAndSize("====", 4 - remainder));
        if (!padding) return nullptr;
        padded = Ref::steal(PyUnicode_Concat(s, padding.get()));
        if (!padded) return nullptr;
    }
    Ref base64 = Ref::steal(PyImport_ImportModule("base64"));
    if (!base64) return nullptr;
    return PyObject_CallMethod(base64.get(), "urlsafe_b64decode", "O", padded.get());
}

PyMethodDef kModuleFunctions[] = {
    {"_urlsafe_base64_encode", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(urlsafe_base64_encode)),
     METH_VARARGS | METH_KEYWORDS,
     "_urlsafe_base64_encode(data)\n--\n\nURL-safe Base64 (RFC 4648 section 5) of `data`, padding kept."},
    {"_urlsafe_base64_decode", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(urlsafe_base64_decode)),
     METH_VARARGS | METH_KEYWORDS,
     "_urlsafe_base64_decode(s)\n--\n\nThe bytes of URL-safe Base64 text, its missing padding added."},
    {nullptr, nullptr, 0, nullptr},
};

const std::vector<pyutil::Member> kMembers = {
    {&kInitSpec},
    {&kEncodeEntryUriSpec},
    {&kManagementTokenSpec},
    {&kUploadTokenSpec},
    {&kDownloadTokenSpec},
    {&kPresignedUrlSpec},
    {&kRsRequestSpec},
    {&kGetBucketDomainSpec},
    {&kGetPathUrlSpec},
    {&kGetSharedUrlSpec},
    {&kUploadSpec},
    {&kDownloadSpec},
    {&kHeadSpec},
    {&kDeleteSpec},
    {&kCopySpec},
    {&kMoveSpec},
    {&kListSpec},
    {&kInitiateMultipartSpec},
    {&kUploadPartSpec},
    {&kFinishMultipartSpec},
    {&kMultipartUploadSpec},
    {&kMultipartUploadBytesSpec},
    {&kAbortMultipartSpec},
    {&kMultipartDownloadSpec},
};

constexpr const char* kClassDoc =
    "Client of Kodo object storage.\n\n"
    "Management requests (stat, delete, copy, move, list) carry a management token; uploads an\n"
    "upload token, as a form upload or block by block; downloads go through the bucket's download\n"
    "domain with a private download link or, on the compatible (S3) domain, a pre-signed URL;\n"
    "multipart_download reads the object's public URL, with no token (public buckets).\n"
    "Primitive operations return the raw httpx response, listings plain records, and composite\n"
    "operations raise on failure. A local file is uploaded with upload_file(key, local_path).";

void exec_marvex(PyObject* module) {
    kit::import_facilities();
    pyutil::bind_modules(module, {"hmac", "hashlib", "base64", "json", "time", "os", "httpx"});
    pyutil::bind_attrs(module, "typing", {"Optional", "Dict", "List", "Union", "BinaryIO", "Callable"});
    pyutil::bind_attrs(module, "urllib.parse", {"quote", "urlsplit", "urlencode"});
    Ref base = pyutil::bind_sibling(module, "base", "BaseStorageClient");
    pyutil::bind_sibling(module, "config", "REGION_ENDPOINTS");
    check(PyModule_AddFunctions(module, kModuleFunctions));
    Ref cls = pyutil::make_class(module, "MarvexKodoClient", kClassDoc, base.get(), kMembers);
    pyutil::bind(module, "MarvexKodoClient", cls.get());
}

}  // namespace
}  // namespace marvex

CORVAULT_MODULE(marvex, "Client of Kodo object storage.", marvex::exec_marvex)
