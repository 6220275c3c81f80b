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

// Percent-encoding of raw bytes (UTF-8 for text): ASCII letters, digits and "-._~" stay, so do
// the characters of `safe`; every other byte becomes "%" and two upper-case hexadecimal digits.
void percent_encode_append(std::string& out, std::string_view bytes, std::string_view safe = {});
inline std::string percent_encode(std::string_view bytes, std::string_view safe = {}) {
    std::string out;
    percent_encode_append(out, bytes, safe);
    return out;
}

}  // namespace corvault::core
