// The upload of a whole file or byte string in parts, one after another, each part through the
// client's own `_upload_part_with_retry` so that the base class's retry rules (and any subclass
// that replaces them) apply. What differs between services stays with the client: the numbering
// of the parts, the upload id, and what each part's answer contributes to the finishing step.
//
// The loop holds one part in memory at a time: a file is read part by part, and the answer of a
// stored part is released (with the request that carried the part) as soon as it has been read.
#pragma once

#include <utility>

#include "core/transfer.hpp"
#include "kit/descriptor.hpp"
#include "pyutil/ref.hpp"

namespace kit {

using pyutil::Ref;

// Where the parts come from.
class PartSource {
public:
    // A local file, opened now. A path that is no regular file (a pipe, a FIFO, a socket, a
    // device, a directory) raises ValueError without being opened, a path holding a NUL
    // ValueError, a missing or unreadable one its OSError, all before anything is sent. The file
    // is opened without waiting (O_NONBLOCK), so a FIFO put at the path meanwhile cannot hold the
    // call, though the open waits, interruptibly, for another process's write lease on the file to
    // be given up; it is judged again by what was opened, and its parts are read from that very
    // file, whatever is put at the path afterwards. It is closed when the source goes.
    static PartSource file(PyObject* path);
    // A bytes object; each part is one slice of it.
    static PartSource bytes(PyObject* data);

    long long size() const { return size_; }

    // The bytes of `part`, the parts asked for in order: a file's next `part.length` bytes (fewer
    // at its end), empty once a file has become shorter since its size was taken; a slice of the
    // bytes, the bytes object itself when the part is the whole of it (as data[0:n] is).
    Ref part(const corvault::core::transfer::Part& part);
    // Closes a file source's file, raising what closing raises (else the source's end closes it).
    void close() { file_.close(); }

private:
    PartSource(OwnedFile file, PyObject* data, long long size) : file_(std::move(file)), data_(data), size_(size) {}
    OwnedFile file_;  // a file source's, empty for bytes
    PyObject* data_;  // borrowed from the caller's arguments, which outlive the upload
    long long size_;
};

// Reads a stored part's answer into the value the finishing step lists for that part.
using PartAnswerReader = Ref (*)(PyObject* response);

// One upload's constant arguments. Every object is borrowed from the caller.
struct PartUpload {
    PyObject* self;
    PyObject* key;
    PyObject* upload_id;     // text handed to every part (the empty text where there is none)
    long long first_number;  // the number the first part is sent under (1 or 0)
    PyObject* content_type;
    PyObject* headers;  // the same mapping (or None) for every part
    PyObject* retries;
    PyObject* callback;  // callback(index, total_parts, bytes_done, total_bytes), when truthy
    PartAnswerReader read_answer;
};

// Sends the parts of `source` of `part_size` bytes (the last one shorter; a size as
// kit::part_size_value of ranged_download.hpp takes it) in order as
//   self._upload_part_with_retry(key, upload_id, number, part, content_type=..., headers=..., retries=...)
// and returns the list of what `read_answer` made of each answer. A file that has become
// shorter since its size was taken ends the loop at its first empty read. Every exception
// reaches the caller unchanged; the file is closed on every way out.
Ref upload_parts(const PartUpload& upload, PartSource& source, long long part_size);

// The end of a finished upload: unless the finishing answer has the status 200, Exception
// "完成分片失败: <status> <text>"; else {"upload_id": upload_id, <parts_field>: parts,
// "result": answer.json()}.
Ref finished_upload(PyObject* answer, PyObject* upload_id, PyObject* parts_field, PyObject* parts);

}  // namespace kit
