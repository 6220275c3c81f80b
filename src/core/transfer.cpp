#include "core/transfer.hpp"

#include <limits>
#include <stdexcept>

namespace corvault::core::transfer {

Parts::Parts(long long size, long long part_size) : size_(size), part_size_(part_size) {
    if (size < 0) throw std::invalid_argument("size must not be negative");
    if (part_size < 1) throw std::invalid_argument("part_size must be at least 1");
    // Written so that no intermediate value can overflow, whatever the two sizes.
    count_ = size / part_size + (size % part_size != 0 ? 1 : 0);
}

Part Parts::operator[](long long index) const {
    const long long offset = index * part_size_;  // at most size_, since index < count_
    const long long rest = size_ - offset;
    return {index, offset, rest < part_size_ ? rest : part_size_};
}

std::optional<long long> usable_part_size(long long value, int overflow) {
    if (overflow > 0) return std::numeric_limits<long long>::max();
    if (overflow < 0 || value < 1) return std::nullopt;
    return value;
}

std::string range_header(const Part& part) {
    return "bytes=" + std::to_string(part.offset) + "-" + std::to_string(part.last_byte());
}

}  // namespace corvault::core::transfer
