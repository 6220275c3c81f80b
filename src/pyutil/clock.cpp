#include "pyutil/clock.hpp"

namespace pyutil {
namespace {
const Name kTime{"time"};

Ref time_reading() {
    static PyObject* time_module = nullptr;
    if (time_module == nullptr) time_module = check(PyImport_ImportModule("time")).release();
    return check(PyObject_CallMethodNoArgs(time_module, kTime));
}
}  // namespace

corvault::core::UtcTime utc_now() {
    Ref reading = time_reading();
    double seconds = PyFloat_AsDouble(reading.get());
    if (seconds == -1.0 && PyErr_Occurred()) throw Error{};
    return corvault::core::UtcTime::from_epoch(seconds);
}

Ref epoch_seconds() {
    Ref reading = time_reading();
    return check(PyNumber_Long(reading.get()));
}

}  // namespace pyutil
