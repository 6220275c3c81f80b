// One ranged download loop for every client: the object's size, then one request per byte range,
// strictly in order, each answer checked to be that range of that object, the parts written to a
// temporary file beside the target that takes the target's place only when all have arrived,
// and progress reported after each part. A client supplies what differs as a RangedDownload.
//
// What is written is the object's stored bytes: every request asks for them (Accept-Encoding:
// identity), and each part's body is read as it was sent (iter_raw), never with a Content-Encoding
// undone, so an object stored gzip-encoded is written as those gzip bytes, as the services' own
// SDKs write it. The length, Content-Range and ETag checks are all about those bytes.
#pragma once

#include <optional>
#include <string>

#include "core/transfer.hpp"
#include "pyutil/ref.hpp"

namespace kit {

using corvault::core::transfer::Part;

// The failures of the size request that the raising clients share: the prefix of a size answer
// other than 200 (followed by its status and text), and the whole text for an empty object.
inline constexpr const char* kSizeFailure = "获取文件信息失败: ";
inline constexpr const char* kEmptyObject = "文件大小为 0";

// What the size request found of the object: its size, and the ETag of its answer when the client
// reads one there. Every part's answer must be of this object.
struct ObjectVersion {
    long long size = 0;
    std::optional<std::string> etag;
};

// The size and ETag of an object as the answer to its HEAD request states them (Content-Length,
// 0 when absent; ETag, none when absent).
ObjectVersion version_from_head(PyObject* answer);

// The Accept-Encoding value of the size request and of every part request: the stored bytes, not
// a form the server compresses on the fly (OSS gzips text objects of 1 KB and more when gzip is
// accepted, and then states no Content-Length and no ETag, even in the answer to HEAD).
inline const pyutil::Name kStoredBytes{"identity"};

// {"Accept-Encoding": "identity"}: the headers of a size request made with HEAD.
pyutil::Ref size_request_headers();
// {"Range": range_header(part), "Accept-Encoding": "identity"}: the headers of a part request,
// a new mapping for each.
pyutil::Ref part_request_headers(const Part& part);

// What one client's download supplies.
class RangedDownload {
public:
    virtual ~RangedDownload() = default;

    // The object's size in bytes, and its ETag for a client that sizes with a HEAD request. Raises
    // the client's own failure when the size cannot be found, and when it is 0 for a client that
    // refuses empty objects.
    virtual ObjectVersion object_version() = 0;

    // Sends the request for one part (its headers part_request_headers(part)) and returns the
    // answer, whatever its status, with its body unread where the request could be sent so
    // (stream=True, or get_unread in kit/send_request.hpp): the loop reads such a body with
    // iter_raw(), takes the content of one read already, and releases the answer.
    virtual pyutil::Ref fetch(const Part& part) = 0;

    // The text that begins the failure of a part, to which the status and the answer's text (or
    // the lengths) are added.
    virtual std::string part_failure_prefix(const Part& part) const;

    // Whether a failure is reported by the result False instead of raised. Only exceptions derived
    // from Exception are; the temporary file is removed either way.
    virtual bool reports_failure_as_false() const { return false; }

    // Called on every way out of a part, once its answer is no longer needed: closes the
    // response, which hands its connection back whether or not its body was read to the end.
    virtual void release(PyObject* response);
};

// The part size a caller gave as an int: ValueError below 1, before anything is done; a size
// beyond the range of long long means one part for any object.
long long part_size_value(PyObject* part_size);

// Runs the download into `local_path` (a str). Returns Py_True, or Py_False for a failure of a
// client that reports failures so; raises otherwise. `callback`, when true, is called after each
// part with (part index from 0, part count, bytes done, object size).
pyutil::Ref download_to_file(RangedDownload& client, PyObject* local_path, long long part_size, PyObject* callback);

}  // namespace kit
