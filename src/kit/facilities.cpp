#include "kit/facilities.hpp"

#include "pyutil/module.hpp"
#include "pyutil/names.hpp"
#include "pyutil/response.hpp"

namespace kit {

Facilities facilities;

void import_facilities() {
    Py_XSETREF(facilities.parse_error, pyutil::import_attr("xml.etree.ElementTree", "ParseError").release());
    Py_XSETREF(facilities.os, pyutil::import_module("os").release());
    Py_XSETREF(facilities.os_path, pyutil::import_module("os.path").release());
    Py_XSETREF(facilities.open, pyutil::import_attr("io", "open").release());
    Py_XSETREF(facilities.bytes_io, pyutil::import_attr("io", "BytesIO").release());
    // The listing's refusal is defined once, next to the walk over every page that reads it.
    Py_XSETREF(facilities.refused_page, pyutil::import_attr("corvault.base", "RefusedPage").release());
    Py_XSETREF(facilities.raise_if_refused, pyutil::import_attr("corvault.base", "raise_if_refused").release());
    pyutil::Ref httpx = pyutil::import_module("httpx");
    static const pyutil::Name byte_stream{"ByteStream"};
    Py_XSETREF(facilities.byte_stream, pyutil::optional_attr(httpx.get(), byte_stream).release());
    // Whether a caller's HTTP client replaced these is told by comparing with them.
    pyutil::Ref client_type = pyutil::check(PyObject_GetAttr(httpx.get(), pyutil::httpx::kClientType));
    Py_XSETREF(facilities.httpx_request,
               pyutil::check(PyObject_GetAttr(client_type.get(), pyutil::httpx::kRequest)).release());
    Py_XSETREF(facilities.httpx_get, pyutil::check(PyObject_GetAttr(client_type.get(), pyutil::httpx::kGet)).release());
}

}  // namespace kit
