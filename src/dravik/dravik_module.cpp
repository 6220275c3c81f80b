// corvault.dravik: DravikClient, the client of the Amazon S3 REST interface and of the services
// that accept it at an endpoint of their own.
#include <vector>

#include "kit/facilities.hpp"
#include "kit/head_and_request_download.hpp"
#include "kit/multipart_steps.hpp"
#include "pyutil/module.hpp"

#include "dravik/shared.hpp"

namespace dravik {

// The operations in the order the class lists them.
const std::vector<pyutil::Member> kMembers = {
    {&kInit},
    {&kGetAwsEndpointSpec},
    {&kSignRequestSpec},
    {&kSignRequestV2Spec},
    {&kPresignUrlSpec},
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
    {&kBucketRequestSpec},
    {&kCreateBucketSpec},
    {&kDeleteBucketSpec},
    {&kBucketExistsSpec},
    {&kListBucketsSpec},
    {&kCopyObjectSpec},
    {&kGetBucketStatsSpec},
    {&kDeleteObjectsSpec},
    {&kDeleteByPrefixSpec},
};

constexpr const char* kClassDoc =
    "Client of the Amazon S3 REST interface, signed with AWS Signature Version 4 or 2.\n\n"
    "Works with any service that accepts that interface at an endpoint of its own. Requests are\n"
    "sent synchronously through an httpx client; object-level operations return the raw response,\n"
    "listings return plain records, and composite operations raise on failure.";

void exec_dravik(PyObject* module) {
    kit::import_facilities();
    pyutil::bind_modules(module, {"httpx"});
    Ref base = pyutil::bind_sibling(module, "base", "BaseStorageClient");
    Ref cls = pyutil::make_class(module, "DravikClient", kClassDoc, base.get(), kMembers);
    pyutil::bind(module, "DravikClient", cls.get());
}

}  // namespace dravik

CORVAULT_MODULE(dravik, "Client of the Amazon S3 REST interface and compatible services.", dravik::exec_dravik)
