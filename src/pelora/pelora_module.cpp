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
    for (const char* name : {"hmac", "hashlib", "base64", "time", "os", "mimetypes"}) {
        Ref imported = pyutil::import_module(name);
        pyutil::bind(module, name, imported.get());
    }
    kit::import_facilities();
    Ref httpx = pyutil::import_module("httpx");
    pyutil::bind(module, "httpx", httpx.get());
    for (const char* name : {"Optional", "Dict", "List", "Union", "BinaryIO", "Callable"}) {
        Ref annotation = pyutil::import_attr("typing", name);
        pyutil::bind(module, name, annotation.get());
    }
    Ref quote = pyutil::import_attr("urllib.parse", "quote");
    pyutil::bind(module, "quote", quote.get());
    Ref base_module = pyutil::import_sibling(module, "base");
    Ref base = pyutil::import_from(base_module.get(), "BaseStorageClient");
    pyutil::bind(module, "BaseStorageClient", base.get());
    Ref config_module = pyutil::import_sibling(module, "config");
    Ref config = pyutil::import_from(config_module.get(), "HTTP_CLIENT_CONFIG");
    pyutil::bind(module, "HTTP_CLIENT_CONFIG", config.get());
    Ref cls = pyutil::make_class(module, "PeloraFileClient", kClassDoc, base.get(), kMembers);
    pyutil::bind(module, "PeloraFileClient", cls.get());
}

}  // namespace pelora

CORVAULT_MODULE(pelora, "Client of UFile object storage.", pelora::exec_pelora)
