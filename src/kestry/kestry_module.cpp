// corvault.kestry: KestryOSSClient, the client of Alibaba Cloud OSS. The operations live in the
// files of their concern; this file puts them into the class, in the order the class defines them.
#include "kit/facilities.hpp"
#include "kit/head_and_request_download.hpp"
#include "kit/multipart_steps.hpp"
#include "pyutil/module.hpp"

#include "kestry/shared.hpp"

namespace kestry {
namespace {

const std::vector<pyutil::Member> kMembers = {
    {&kInitSpec},
    {&kSignRequestSpec},
    {&kRequestSpec},
    {&kGetPathUrlSpec},
    {&kGetSharedUrlSpec},
    {&kUploadSpec},
    {&kit::kDownloadSpec},
    {&kit::kHeadSpec},
    {&kit::kDeleteSpec},
    {&kListSpec},
    {&kit::kInitiateMultipartSpec},
    {&kit::kUploadPartSpec},
    {&kit::kFinishMultipartSpec},
    {&kit::kAbortMultipartSpec},
    {&kit::kMultipartDownloadSpec},
};

constexpr const char* kClassDoc =
    "Client of Alibaba Cloud OSS for one bucket, signed with OSS Signature Version 4.\n\n"
    "Requests are sent synchronously through an httpx client; object operations return the raw\n"
    "response, listings return plain records, and the ranged download raises on failure. Share\n"
    "URLs carry an OSS Version 1 query signature.";

void exec_kestry(PyObject* module) {
    kit::import_facilities();
    pyutil::bind_modules(module, {"httpx"});
    Ref base = pyutil::bind_sibling(module, "base", "BaseStorageClient");
    Ref cls = pyutil::make_class(module, "KestryOSSClient", kClassDoc, base.get(), kMembers);
    // ListObjects' marker is the key to start after, so a page that is truncated without a
    // NextMarker can still be continued from its last key.
    pyutil::check(PyObject_SetAttrString(cls.get(), "listing_marker_is_key", Py_True));
    pyutil::bind(module, "KestryOSSClient", cls.get());
}

}  // namespace
}  // namespace kestry

CORVAULT_MODULE(kestry, "Client of Alibaba Cloud OSS.", kestry::exec_kestry)
