#include "kit/ranged_download.hpp"

#include <optional>

#include "kit/answers.hpp"
#include "kit/local_file.hpp"
#include "pyutil/call.hpp"
#include "pyutil/convert.hpp"
#include "pyutil/names.hpp"
#include "pyutil/response.hpp"

namespace kit {
namespace {

namespace transfer = corvault::core::transfer;
using pyutil::check;
using pyutil::Name;
using pyutil::Ref;
using transfer::Parts;

const Name kContentRange{"Content-Range"};
const Name kETag{"ETag"};
const Name kIterRaw{"iter_raw"};
const Name kIsStreamConsumed{"is_stream_consumed"};

// Hands an answer back to the client on every way out of its part.
class Released {
public:
    Released(RangedDownload& client, PyObject* response) : client_(client), response_(response) {}
    ~Released() {
        pyutil::PendingError keep;
        try {
            client_.release(response_);
        } catch (const pyutil::Error&) {
        }
    }
    Released(const Released&) = delete;
    Released& operator=(const Released&) = delete;

private:
    RangedDownload& client_;
    PyObject* response_;
};

void report(PyObject* callback, const Part& part, const Parts& parts) {
    Ref index = check(PyLong_FromLongLong(part.index));
    Ref count = check(PyLong_FromLongLong(parts.count()));
    Ref done = check(PyLong_FromLongLong(part.done()));
    Ref total = check(PyLong_FromLongLong(parts.size()));
    Ref ignored = pyutil::Call().arg(index.get()).arg(count.get()).arg(done.get()).arg(total.get()).call(callback);
}

// Why an answer is not the part asked for, of the object the size request found; empty when it
// is. Each rule catches an object changed after its size was taken: a server that answers a range
// past a shorter object's end with the whole of it (200), a grown object's Content-Range total,
// a replaced object's ETag. An answer that states none of these keeps the length check alone.
std::string mismatch(PyObject* response, long status, const ObjectVersion& object, const Parts& parts,
                     const Part& part) {
    if (status == 200 && parts.count() > 1) return "得到整个对象, 请求的是 " + transfer::range_header(part);
    if (status == 206) {
        const std::optional<std::string> stated = header_value(response, kContentRange);
        const std::optional<transfer::ContentRange> range =
            stated ? transfer::parse_content_range(*stated) : std::nullopt;
        if (range && !transfer::is_range_of(*range, part, object.size)) {
            return "Content-Range 为 " + *stated + ", 应为 " + transfer::content_range(part, object.size);
        }
    }
    if (object.etag) {
        const std::optional<std::string> etag = header_value(response, kETag);
        if (etag && *etag != *object.etag) return "ETag 为 " + *etag + ", 应为 " + *object.etag + " (对象已改变)";
    }
    return {};
}

[[noreturn]] void raise_length_failure(RangedDownload& client, const Part& part, long status, long long received) {
    const std::string message = client.part_failure_prefix(part) + std::to_string(status) + " 应收到 " +
                                std::to_string(part.length) + " 字节, 实际收到 " + std::to_string(received) + " 字节";
    pyutil::raise_message(message.c_str());
}

// Writes the body of an accepted answer as it was sent, chunk by chunk, and fails the part as
// soon as more than its length has arrived, reading no further.
void write_raw_body(RangedDownload& client, PyObject* response, long status, const Part& part, TargetFile& file) {
    long long received = 0;
    {
        // A response whose body was read already (the answer of an HTTP client's plain request(),
        // or one a replaced `_request` builds whole with content=...) can only give that content,
        // with any Content-Encoding undone; the length check still holds it to the stored part.
        Ref consumed = pyutil::optional_attr(response, kIsStreamConsumed);
        Ref chunks = !consumed || check(PyObject_IsTrue(consumed.get())) == 1
                         ? check(PyTuple_Pack(1, pyutil::response_content(response).get()))
                         : check(PyObject_CallMethodNoArgs(response, kIterRaw));
        Ref iterator = check(PyObject_GetIter(chunks.get()));
        while (PyObject* next = PyIter_Next(iterator.get())) {
            Ref chunk = Ref::steal(next);
            if (!PyBytes_Check(chunk.get())) {
                pyutil::raise_format(PyExc_TypeError, "a part's body must be bytes, not %.200s",
                                     Py_TYPE(chunk.get())->tp_name);
            }
            received += PyBytes_GET_SIZE(chunk.get());
            if (received > part.length) break;
            file.write(chunk.get());
        }
        if (PyErr_Occurred()) throw pyutil::Error{};
    }  // an unfinished iterator is closed here, before the failure is raised
    if (received != part.length) raise_length_failure(client, part, status, received);
}

void fetch_part(RangedDownload& client, const ObjectVersion& object, const Parts& parts, const Part& part,
                TargetFile& file) {
    Ref response = client.fetch(part);
    Released released(client, response.get());
    const long status = pyutil::status_code(response.get());
    if (status != 206 && status != 200) {
        check(PyObject_CallMethodNoArgs(response.get(), pyutil::method::kRead));  // the text the failure names
        pyutil::raise_failure(client.part_failure_prefix(part).c_str(), response.get());
    }
    const std::string other = mismatch(response.get(), status, object, parts, part);
    if (!other.empty()) {
        const std::string message = client.part_failure_prefix(part) + std::to_string(status) + " " + other;
        pyutil::raise_message(message.c_str());
    }
    write_raw_body(client, response.get(), status, part, file);
}

// The parts of an object of the size its client found (ValueError for a negative size).
Parts parts_of(long long size, long long part_size) {
    if (size < 0) pyutil::raise_format(PyExc_ValueError, "the object's size must not be negative, not %lld", size);
    return Parts(size, part_size);
}

void run(RangedDownload& client, PyObject* local_path, long long part_size, PyObject* callback) {
    make_parent_directories(local_path);
    const ObjectVersion object = client.object_version();
    const Parts parts = parts_of(object.size, part_size);
    refuse_unusable_target(local_path);
    TargetFile file(local_path);
    const bool progress = check(PyObject_IsTrue(callback)) == 1;
    for (long long i = 0; i < parts.count(); ++i) {
        const Part part = parts[i];
        fetch_part(client, object, parts, part, file);
        if (progress) report(callback, part, parts);
    }
    file.commit();
}

}  // namespace

ObjectVersion version_from_head(PyObject* answer) { return {content_length(answer), header_value(answer, kETag)}; }

std::string RangedDownload::part_failure_prefix(const Part& part) const {
    return "下载分片 " + std::to_string(part.index + 1) + " 失败: ";
}

Ref size_request_headers() { return record({{&pyutil::header::kAcceptEncoding, kStoredBytes}}); }

Ref part_request_headers(const Part& part) {
    Ref range = pyutil::to_str(transfer::range_header(part));
    return record({{&pyutil::header::kRange, range.get()}, {&pyutil::header::kAcceptEncoding, kStoredBytes}});
}

void RangedDownload::release(PyObject* response) {
    Ref closed = check(PyObject_CallMethodNoArgs(response, pyutil::method::kClose));
}

long long part_size_value(PyObject* part_size) {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(part_size, &overflow);
    if (value == -1 && PyErr_Occurred()) throw pyutil::Error{};
    const std::optional<long long> usable = corvault::core::transfer::usable_part_size(value, overflow);
    if (!usable) pyutil::raise_format(PyExc_ValueError, "part_size must be at least 1, not %S", part_size);
    return *usable;
}

Ref download_to_file(RangedDownload& client, PyObject* local_path, long long part_size, PyObject* callback) {
    try {
        run(client, local_path, part_size, callback);
        return Ref::borrow(Py_True);
    } catch (const pyutil::Error&) {
        if (!client.reports_failure_as_false() || !PyErr_ExceptionMatches(PyExc_Exception)) throw;
        PyErr_Clear();
        return Ref::borrow(Py_False);
    }
}

}  // namespace kit
