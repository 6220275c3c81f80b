#include "core/transfer.hpp"

#include <cctype>
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

namespace {

// Digits at the front of `text` as a number, taken off it; nullopt for none or too many.
std::optional<long long> take_number(std::string_view& text) {
    std::size_t length = 0;
    long long value = 0;
    for (; length < text.size() && text[length] >= '0' && text[length] <= '9'; ++length) {
        const int digit = text[length] - '0';
        if (value > (std::numeric_limits<long long>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    if (length == 0) return std::nullopt;
    text.remove_prefix(length);
    return value;
}

bool take(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<ContentRange> parse_content_range(std::string_view value) {
    // RFC 9110, section 14.4: the range unit is case-insensitive, one blank follows it.
    std::string_view rest = trimmed(value);
    constexpr std::string_view kUnit = "bytes";
    if (rest.size() <= kUnit.size()) return std::nullopt;
    for (std::size_t i = 0; i < kUnit.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(rest[i])) != kUnit[i]) return std::nullopt;
    }
    rest.remove_prefix(kUnit.size());
    if (!take(rest, ' ')) return std::nullopt;
    ContentRange range{};
    const std::optional<long long> first = take_number(rest);
    if (!first || !take(rest, '-')) return std::nullopt;
    const std::optional<long long> last = take_number(rest);
    if (!last || *last < *first || !take(rest, '/')) return std::nullopt;
    range.first = *first;
    range.last = *last;
    if (rest == "*") return range;
    range.total = take_number(rest);
    if (!range.total || !rest.empty() || *range.total <= range.last) return std::nullopt;
    return range;
}

std::string content_range(const Part& part, long long size) {
    return "bytes " + std::to_string(part.offset) + "-" + std::to_string(part.last_byte()) + "/" + std::to_string(size);
}

bool is_range_of(const ContentRange& range, const Part& part, long long size) {
    return range.first == part.offset && range.last == part.last_byte() && (!range.total || *range.total == size);
}

}  // namespace corvault::core::transfer
