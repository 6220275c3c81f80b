// corvault.zorbeck: ZorbeckClient, a DravikClient preset for Tencent Cloud Object Storage:
// the regional endpoint from the region code, Signature Version 4 and virtual-host addressing.

#include <vector>

#include "pyutil/module.hpp"

#include "zorbeck/shared.hpp"

namespace zorbeck {

const std::vector<pyutil::Member> kMembers = {
    {&kInit},
    {&kSecretId, true},
    {&kCosBucket, true},
    {&kAppid, true},
};

constexpr const char* kClassDoc =
    "Client of Tencent Cloud Object Storage through its S3-compatible interface.\n\n"
    "Every operation of DravikClient is available; requests go to https://<bucket>.cos.<region>.\n"
    "myqcloud.com, signed with AWS Signature Version 4.";

void exec_zorbeck(PyObject* module) {
    Ref typing = pyutil::import_module("typing");
    Ref optional = pyutil::import_from(typing.get(), "Optional");
    Ref union_type = pyutil::import_from(typing.get(), "Union");
    Ref httpx = pyutil::import_module("httpx");
    Ref dravik = pyutil::import_sibling(module, "dravik");
    Ref base = pyutil::import_from(dravik.get(), "DravikClient");
    pyutil::bind(module, "Optional", optional.get());
    pyutil::bind(module, "Union", union_type.get());
    pyutil::bind(module, "httpx", httpx.get());
    pyutil::bind(module, "DravikClient", base.get());
    Ref cls = pyutil::make_class(module, "ZorbeckClient", kClassDoc, base.get(), kMembers);
    Py_XSETREF(g_class, Py_NewRef(cls.get()));
    pyutil::bind(module, "ZorbeckClient", cls.get());
}

}  // namespace zorbeck

CORVAULT_MODULE(zorbeck, "Client of Tencent Cloud Object Storage.", zorbeck::exec_zorbeck)
