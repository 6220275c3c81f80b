#include "kit/head_and_request_download.hpp"

#include "core/transfer.hpp"
#include "kit/answers.hpp"
#include "pyutil/call.hpp"
#include "pyutil/names.hpp"
#include "pyutil/response.hpp"

namespace kit {

long long HeadAndRequestDownload::object_size() {
    pyutil::Ref answer = pyutil::Call().arg(key_).kw(pyutil::kw::kTimeout, timeout_).method(self_, pyutil::op::kHead);
    if (pyutil::status_code(answer.get()) != 200) pyutil::raise_failure(kSizeFailure, answer.get());
    const long long size = content_length(answer.get());
    if (size == 0) pyutil::raise_message(kEmptyObject);
    return size;
}

pyutil::Ref HeadAndRequestDownload::fetch(const Part& part) {
    pyutil::Ref range = pyutil::to_str(corvault::core::transfer::range_header(part));
    pyutil::Ref headers = record({{&pyutil::header::kRange, range.get()}});
    return pyutil::Call()
        .arg(pyutil::verb::kGet)
        .arg(key_)
        .kw(pyutil::kw::kHeaders, headers.get())
        .kw(pyutil::kw::kTimeout, timeout_)
        .method(self_, pyutil::op::kRequest);
}

}  // namespace kit
