// One ranged download loop for every client: the object's size, then one request per byte range,
// strictly in order, each answer checked to be that range of that object, the parts written to a
// temporary file beside the target that takes the target's place only when all have arrived,
// and progress reported after each part. A client supplies what differs as a RangedDownload.
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

// Receives one part's body, whole or in chunks as it arrives.
class PartSink {
public:
    virtual ~PartSink() = default;
    virtual void write(PyObject* bytes) = 0;  // bytes
};

// What one client's download supplies.
class RangedDownload {
public:
    virtual ~RangedDownload() = default;

    // The object's size in bytes, and its ETag for a client that sizes with a HEAD request. Raises
    // the client's own failure when the size cannot be found, and when it is 0 for a client that
    // refuses empty objects.
    virtual ObjectVersion object_version() = 0;

    // Sends the request for one part (its Range header is range_header(part)) and returns the
    // answer, whatever its status.
    virtual pyutil::Ref fetch(const Part& part) = 0;

    // The text that begins the failure of a part, to which the status and the answer's text (or
    // the lengths) are added.
    virtual std::string part_failure_prefix(const Part& part) const;

    // Whether a failure is reported by the result False instead of raised. Only exceptions derived
    // from Exception are; the temporary file is removed either way.
    virtual bool reports_failure_as_false() const { return false; }

    // Writes the body of an accepted answer to `sink`: the whole content by default; a streaming
    // client reads the body in chunks.
    virtual void write_body(PyObject* response, PartSink& sink);

    // Called on every way out of a part, once its answer is no longer needed: releases the
    // body by default (release_body); a streaming client closes the response.
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
