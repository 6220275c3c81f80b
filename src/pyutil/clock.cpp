#include "pyutil/clock.hpp"

namespace pyutil {
namespace {
const Name kTime{"time"};

double time_reading() {
    static PyObject* time_module = nullptr;
    if (time_module == nullptr) time_module = check(PyImport_ImportModule("time")).release();
    Ref reading = check(PyObject_CallMethodNoArgs(time_module, kTime));
    double seconds = PyFloat_AsDouble(reading.get());
    if (seconds == -1.0 && PyErr_Occurred()) throw Error{};
    return seconds;
}
}  // namespace

corvault::core::UtcTime utc_now() { return corvault::core::UtcTime::from_epoch(time_reading()); }

long long unix_seconds() { return static_cast<long long>(time_reading()); }

}  // namespace pyutil
