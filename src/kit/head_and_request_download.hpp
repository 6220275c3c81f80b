// The ranged download of the clients that find an object's size with their own `head` and fetch
// each range with their own `_request` (dravik, zorbeck, kestry): the same calls, the same
// failures, whatever signs the requests.
#pragma once

#include "kit/ranged_download.hpp"
#include "pyutil/method.hpp"
#include "pyutil/names.hpp"

namespace kit {

class HeadAndRequestDownload : public RangedDownload {
public:
    // All three are borrowed for the download's life. `timeout` is passed on as the caller gave
    // it, None included, so head's own default never applies and `_request` fills in the
    // client's default time-out.
    HeadAndRequestDownload(PyObject* self, PyObject* key, PyObject* timeout)
        : self_(self),
          key_(key),
          timeout_(timeout),
          own_request_(pyutil::is_library_method(self, pyutil::op::kRequest)) {}

    // self.head(key, headers={"Accept-Encoding": "identity"}, timeout=timeout): status 200 and a
    // non-zero Content-Length, else the Failure "获取文件信息失败: <status> <text>" or
    // "文件大小为 0"; with the answer's ETag.
    ObjectVersion object_version() override;
    // self._request("GET", key, headers={"Range": ..., "Accept-Encoding": "identity"},
    // timeout=timeout), a new mapping per part, and stream=True (the answer's body unread) only
    // when `_request` is this library's own: a replaced one need take no keyword beyond those.
    pyutil::Ref fetch(const Part& part) override;

private:
    PyObject* self_;
    PyObject* key_;
    PyObject* timeout_;
    const bool own_request_;  // settled once, for every part alike
};

// multipart_download(key, local_path, part_size=8388608, callback=None, timeout=None) of these
// clients, with its table: this download into the kit's loop, True or the failure raised.
extern const pyutil::MethodSpec kMultipartDownloadSpec;

}  // namespace kit
