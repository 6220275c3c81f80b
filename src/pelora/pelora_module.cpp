// corvault.pelora: PeloraFileClient, the client of UFile object storage.
#include <vector>

#include "kit/facilities.hpp"
#include "pyutil/module.hpp"

#include "pelora/shared.hpp"

namespace pelora {

// The operations in the order the class lists them.
const std::vector<pyutil::Member> kMembers = {
    {&kInit},
    {&kKeySortSpec},
    {&kCanonicalizedResourceSpec},
    {&kCanonicalizedHeadersSpec},
    {&kSignSpec},
    {&kMakeAuthorizationSpec},
    {&kBuildAuthHeaderSpec},
    {&kRequestSpec},
    {&kGetPathUrlSpec},
    {&kGetSharedUrlSpec},
    {&kUploadSpec},
    {&kUploadFileSpec},
    {&kUploadWithRetrySpec},
    {&kDownloadObjectSpec},
    {&kGetContentSpec},
    {&kDownloadSpec},
    {&kMultipartDownloadSpec},
    {&kHeadSpec},
    {&kIsExistsSpec},
    {&kDeleteSpec},
    {&kDeleteFileSpec},
    {&kListSpec},
    {&kInitiateMultipartSpec},
    {&kUploadPartSpec},
    {&kFinishMultipartSpec},
    {&kAbortMultipartSpec},
    {&kMultipartUploadSpec},
    {&kMultipartUploadBytesSpec},
};

constexpr const char* kClassDoc =
    "Client of UFile object storage, signed with the service's HMAC-SHA1 Authorization.\n\n"
    "Requests are sent synchronously through an httpx client; object-level operations return the\n"
    "raw response and print the request URL on sys.stdout, listings return plain records, the\n"
    "convenience operations and downloads answer True or False, and multipart uploads raise on\n"
    "failure after giving the upload up.";

void exec_pelora(PyObject* module) {
    pyutil::bind_modules(module, {"hmac", "hashlib", "base64", "time", "os", "mimetypes"});
    kit::import_facilities();
    pyutil::bind_modules(module, {"httpx"});
    pyutil::bind_attrs(module, "typing", {"Optional", "Dict", "List", "Union", "BinaryIO", "Callable"});
    pyutil::bind_attrs(module, "urllib.parse", {"quote"});
    Ref base = pyutil::bind_sibling(module, "base", "BaseStorageClient");
    pyutil::bind_sibling(module, "config", "HTTP_CLIENT_CONFIG");
    Ref cls = pyutil::make_class(module, "PeloraFileClient", kClassDoc, base.get(), kMembers);
    pyutil::bind(module, "PeloraFileClient", cls.get());
}

}  // namespace pelora

CORVAULT_MODULE(pelora, "Client of UFile object storage.", pelora::exec_pelora)
