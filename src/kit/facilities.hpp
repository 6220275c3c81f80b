// The standard facilities the kit uses, imported once when a client module is imported, so that
// a missing one fails the import rather than the first download.
#pragma once

#include "pyutil/ref.hpp"

namespace kit {

// Imports them; a client module calls it from its body, before it creates its class.
void import_facilities();

// Set by import_facilities().
struct Facilities {
    PyObject* os = nullptr;
    PyObject* os_path = nullptr;
    PyObject* open = nullptr;              // io.open
    PyObject* bytes_io = nullptr;          // io.BytesIO
    PyObject* parse_error = nullptr;       // xml.etree.ElementTree.ParseError
    PyObject* byte_stream = nullptr;       // httpx.ByteStream, NULL in an httpx without it
    PyObject* httpx_request = nullptr;     // the function httpx.Client.request
    PyObject* httpx_get = nullptr;         // the function httpx.Client.get
    PyObject* refused_page = nullptr;      // corvault.base.RefusedPage
    PyObject* raise_if_refused = nullptr;  // corvault.base.raise_if_refused
};
extern Facilities facilities;

}  // namespace kit
