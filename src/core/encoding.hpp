// Text forms of binary data and of URL components.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvault::core {

// Lower-case hexadecimal, two digits a byte.
std::string hex_lower(std::string_view bytes);
template <std::size_t N>
std::string hex_lower(const std::array<std::uint8_t, N>& digest) {
    return hex_lower(std::string_view(reinterpret_cast<const char*>(digest.data()), N));
}

// RFC 4648 section 4 (alphabet with "+" and "/") and section 5 (with "-" and "_"); both padded.
std::string base64(std::string_view bytes);
std::string base64_urlsafe(std::string_view bytes);
template <std::size_t N>
std::string base64(const std::array<std::uint8_t, N>& digest) {
    return base64(std::string_view(reinterpret_cast<const char*>(digest.data()), N));
}

namespace detail {
struct UnreservedTable {
    bool set[256] = {};
    constexpr UnreservedTable() {
        for (int c = 'A'; c <= 'Z'; ++c) set[c] = true;
        for (int c = 'a'; c <= 'z'; ++c) set[c] = true;
        for (int c = '0'; c <= '9'; ++c) set[c] = true;
        set[static_cast<unsigned char>('-')] = set[static_cast<unsigned char>('.')] = true;
        set[static_cast<unsigned char>('_')] = set[static_cast<unsigned char>('~')] = true;
    }
};
inline constexpr UnreservedTable kUnreserved;
}  // namespace detail

// Whether a byte is an RFC 3986 unreserved character (ASCII letter, digit, "-", ".", "_", "~").
inline bool is_unreserved(unsigned char c) { return detail::kUnreserved.set[c]; }

// Percent-encoding of raw bytes (UTF-8 for text): ASCII letters, digits and "-._~" stay, so do
// the characters of `safe`; every other byte becomes "%" and two upper-case hexadecimal digits.
void percent_encode_append(std::string& out, std::string_view bytes, std::string_view safe = {});
inline std::string percent_encode(std::string_view bytes, std::string_view safe = {}) {
    std::string out;
    percent_encode_append(out, bytes, safe);
    return out;
}

// The application/x-www-form-urlencoded form of a query value (Python's quote_plus): as
// percent_encode, but a blank becomes "+".
void form_encode_append(std::string& out, std::string_view bytes);

}  // namespace corvault::core
