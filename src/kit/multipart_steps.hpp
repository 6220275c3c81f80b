// The four steps of an S3-style multipart upload (initiate, send a part, complete, abort), each
// one request through the client's own `_request`: the same queries, headers and completion body
// for every client whose service takes them (dravik, zorbeck, kestry). A module puts the tables
// into its class.
#pragma once

#include "pyutil/method.hpp"

namespace kit {

extern const pyutil::MethodSpec kInitiateMultipartSpec;
extern const pyutil::MethodSpec kUploadPartSpec;
extern const pyutil::MethodSpec kFinishMultipartSpec;
extern const pyutil::MethodSpec kAbortMultipartSpec;

}  // namespace kit
