// Uploads of a whole file or byte string in blocks, through the kit's part loop: the blocks are
// numbered from 1 under the empty upload id, each block's answer contributes its "ctx", and the
// contexts are assembled into the object in one request.
#include "kit/block_upload.hpp"
#include "kit/ranged_download.hpp"
#include "marvex/marvex.hpp"
#include "pyutil/call.hpp"

namespace marvex {
namespace {

// The service takes blocks of exactly 4 MiB, the last one excepted.
constexpr long long kBlockSize = 4194304;

const Name kCtx{"ctx"};
const Name kCtxs{"ctxs"};
const Name kFileSizeKeyword{"file_size"};
const Name kOctetStream{"application/octet-stream"};
const Name kFinishMethod{"finish_multipart_upload"};

// What both uploads' docstrings say of `part_size`, the rule of block_size below.
#define MARVEX_PART_SIZE_DOC                                                                         \
    "`part_size` is the block size: None, or any size of 4 MiB or more, gives the service's 4 MiB\n" \
    "blocks. A smaller size (at least 1) is taken only for content that fits in one block of that\n" \
    "size; for more content it raises ValueError before anything is sent."

Ref block_context(PyObject* response) {
    Ref answer = check(PyObject_CallMethodNoArgs(response, kJson));
    Ref empty = pyutil::to_str("");
    return pyutil::Call().arg(kCtx).arg(empty.get()).method(answer.get(), method::kGet);
}

// A larger block size is lowered to the service's; a smaller one would make the service refuse
// every block after the first, so it is taken only when the content fits in one block.
long long block_size(PyObject* part_size, long long content_size) {
    if (part_size == Py_None) return kBlockSize;
    const long long wanted = kit::part_size_value(part_size);
    if (wanted >= kBlockSize) return kBlockSize;
    if (content_size > wanted) {
        pyutil::raise_format(PyExc_ValueError,
                             "part_size must be %lld (the service's block size) for content of more than one "
                             "block, not %lld for %lld bytes",
                             kBlockSize, wanted, content_size);
    }
    return wanted;
}

Ref upload_in_blocks(Args& a, kit::PartSource source) {
    enum { Key, Source, ContentType, PartSize, Headers, Callback, Retries };
    PyObject* self = a.self();
    const long long size = block_size(a[PartSize], source.size());
    Ref empty_id = pyutil::to_str("");
    kit::PartUpload upload{self,
                           a[Key],
                           empty_id.get(),
                           1,
                           a.is_none(ContentType) ? kOctetStream.get() : a[ContentType],
                           a[Headers],
                           a[Retries],
                           a[Callback],
                           block_context};
    Ref contexts = kit::upload_parts(upload, source, size);
    Ref file_size = check(PyLong_FromLongLong(source.size()));
    Ref answer = pyutil::Call()
                     .arg(a[Key])
                     .arg(empty_id.get())
                     .arg(contexts.get())
                     .kw(kFileSizeKeyword, file_size.get())
                     .kw(kw::kHeaders, a[Headers])
                     .method(self, kFinishMethod);
    return kit::finished_upload(answer.get(), empty_id.get(), kCtxs, contexts.get());
}

}  // namespace

static Ref multipart_upload(Args& a) {
    enum { Key, FilePath, ContentType, PartSize };
    if (!a.is_none(PartSize)) kit::part_size_value(a[PartSize]);  // refused before the file is looked at
    return upload_in_blocks(a, kit::PartSource::file(a[FilePath]));
}

const pyutil::MethodSpec kMultipartUploadSpec{
    "multipart_upload",
    "Store the local file `file_path` as the object `key` in blocks of 4 MiB, one after another.\n\n"
    "Each block goes through `_upload_part_with_retry` (`retries` attempts); `callback(block_index,\n"
    "total_blocks, bytes_done, total_bytes)` is called after each. Returns {'upload_id': '',\n"
    "'ctxs': [...], 'result': <assembly answer>}; every failure raises. A path that is no regular\n"
    "file (a pipe, a FIFO, a socket, a directory) raises ValueError before anything is sent. Its\n"
    "requests wait the client's default_timeout (None: no limit).\n\n" MARVEX_PART_SIZE_DOC,
    "Dict",
    multipart_upload,
    {
        {"key", Kind::Str, "str"},
        {"file_path", Kind::Str, "str"},
        {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"part_size", Kind::OptInt, "Optional[int]", pyutil::none()},
        kHeadersParam,
        {"callback", Kind::Any, kCallbackType, pyutil::none()},
        {"retries", Kind::Int, "int", pyutil::integer(3)},
    },
};

static Ref multipart_upload_bytes(Args& a) {
    enum { Key, Data };
    return upload_in_blocks(a, kit::PartSource::bytes(a[Data]));
}

const pyutil::MethodSpec kMultipartUploadBytesSpec{
    "multipart_upload_bytes",
    "Store `data` as the object `key` in blocks of 4 MiB, as multipart_upload does for a file.\n"
    "\n" MARVEX_PART_SIZE_DOC,
    "Dict",
    multipart_upload_bytes,
    {
        {"key", Kind::Str, "str"},
        {"data", Kind::Bytes, "bytes"},
        {"content_type", Kind::OptStr, "Optional[str]", pyutil::none()},
        {"part_size", Kind::OptInt, "Optional[int]", pyutil::none()},
        kHeadersParam,
        {"callback", Kind::Any, kCallbackType, pyutil::none()},
        {"retries", Kind::Int, "int", pyutil::integer(3)},
    },
};

}  // namespace marvex
