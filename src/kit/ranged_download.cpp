#include "kit/ranged_download.hpp"

#include <optional>

#include "kit/local_file.hpp"
#include "pyutil/call.hpp"
#include "pyutil/response.hpp"

namespace kit {
namespace {

using corvault::core::transfer::Parts;
using pyutil::check;
using pyutil::Ref;

// Writes into the temporary file and counts what the part brought.
class CountingSink : public PartSink {
public:
    explicit CountingSink(TargetFile& file) : file_(file) {}
    void write(PyObject* bytes) override {
        if (!PyBytes_Check(bytes)) {
            pyutil::raise_format(PyExc_TypeError, "a part's body must be bytes, not %.200s", Py_TYPE(bytes)->tp_name);
        }
        file_.write(bytes);
        received_ += PyBytes_GET_SIZE(bytes);
    }
    long long received() const { return received_; }

private:
    TargetFile& file_;
    long long received_ = 0;
};

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

void fetch_part(RangedDownload& client, const Part& part, TargetFile& file) {
    Ref response = client.fetch(part);
    Released released(client, response.get());
    const long status = pyutil::status_code(response.get());
    const bool whole = status == 200 && client.accepts_whole_object_answer();
    if (status != 206 && !whole) {
        pyutil::raise_failure(client.part_failure_prefix(part).c_str(), response.get());
    }
    CountingSink sink(file);
    client.write_body(response.get(), sink);
    if (sink.received() != part.length) {
        // A server that ignores Range answers with the whole object: refuse it rather than
        // assemble a file of the wrong size (a one-range download of the whole object passes).
        const std::string message = client.part_failure_prefix(part) + std::to_string(status) + " 应收到 " +
                                    std::to_string(part.length) + " 字节, 实际收到 " + std::to_string(sink.received()) +
                                    " 字节";
        pyutil::raise_message(message.c_str());
    }
}

// The parts of an object of the size its client found (ValueError for a negative size).
Parts parts_of(long long size, long long part_size) {
    if (size < 0) pyutil::raise_format(PyExc_ValueError, "the object's size must not be negative, not %lld", size);
    return Parts(size, part_size);
}

void run(RangedDownload& client, PyObject* local_path, long long part_size, PyObject* callback) {
    make_parent_directories(pyutil::utf8(local_path));
    const Parts parts = parts_of(client.object_size(), part_size);
    refuse_directory_target(local_path);
    TargetFile file(local_path);
    const bool progress = check(PyObject_IsTrue(callback)) == 1;
    for (long long i = 0; i < parts.count(); ++i) {
        const Part part = parts[i];
        fetch_part(client, part, file);
        if (progress) report(callback, part, parts);
    }
    file.commit();
}

}  // namespace

std::string RangedDownload::part_failure_prefix(const Part& part) const {
    return "下载分片 " + std::to_string(part.index + 1) + " 失败: ";
}

void RangedDownload::write_body(PyObject* response, PartSink& sink) {
    Ref body = pyutil::response_content(response);
    sink.write(body.get());
}

void RangedDownload::release(PyObject* response) { release_body(response); }

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
