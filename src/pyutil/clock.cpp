#include "pyutil/clock.hpp"

namespace pyutil {
namespace {
const Name kTime{"time"};
}

corvault::core::UtcTime utc_now() {
    static PyObject* time_module = nullptr;
    if (time_module == nullptr) time_module = check(PyImport_ImportModule("time")).release();
    Ref reading = check(PyObject_CallMethodNoArgs(time_module, kTime));
    double seconds = PyFloat_AsDouble(reading.get());
    if (seconds == -1.0 && PyErr_Occurred()) throw Error{};
    return corvault::core::UtcTime::from_epoch(seconds);
}

}  // namespace pyutil
