// The arithmetic of a transfer in parts: an object or a content of `size` bytes cut into parts of
// `part_size` bytes, the last one shorter when the size is not a multiple. Downloads ask for each
// part as a byte range, uploads send each part as a block; both report progress after each part.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvault::core::transfer {

// One part: bytes [offset, offset + length) of the whole.
struct Part {
    long long index;  // counted from 0
    long long offset;
    long long length;

    long long last_byte() const { return offset + length - 1; }  // the inclusive end of its range
    long long done() const { return offset + length; }           // bytes transferred once it is
};

class Parts {
public:
    // Throws std::invalid_argument for a negative size or a part size below 1.
    Parts(long long size, long long part_size);

    long long size() const { return size_; }
    long long count() const { return count_; }
    // The part at `index` (0 <= index < count()).
    Part operator[](long long index) const;

private:
    long long size_;
    long long part_size_;
    long long count_;
};

// A part size as a caller gave it, from an integer that may lie beyond the range of long long
// (`overflow` > 0 above it, < 0 below it, as CPython's PyLong_AsLongLongAndOverflow reports).
// Sizes below 1 are refused (nullopt); a size above the range means one part for any content.
std::optional<long long> usable_part_size(long long value, int overflow);

// "bytes=<offset>-<last byte>": the Range header value that asks for a part.
std::string range_header(const Part& part);

// What a partial answer says it carries: "bytes <first>-<last>/<total>", the total unknown ("*")
// when the server did not say it.
struct ContentRange {
    long long first;
    long long last;
    std::optional<long long> total;
};
// The Content-Range of a 206 answer; nullopt for text of another form, which says nothing.
std::optional<ContentRange> parse_content_range(std::string_view value);
// "bytes <offset>-<last byte>/<size>": what the answer to a part of an object of `size` bytes says.
std::string content_range(const Part& part, long long size);
// Whether `range` is that answer's: the part's bytes, of an object of `size` bytes when it says.
bool is_range_of(const ContentRange& range, const Part& part, long long size);

}  // namespace corvault::core::transfer
