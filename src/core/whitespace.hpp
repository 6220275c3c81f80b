// White space as Python's str.isspace() knows it, over UTF-8: header values are trimmed and
// folded with the same set that callers' own Python code (str.strip, str.split) uses.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvault::core {

// Byte length of the white-space character that starts at s[i]; 0 when there is none.
inline std::size_t space_length_at(std::string_view s, std::size_t i) {
    auto at = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    unsigned c = at(i);
    if (c < 0x80) return (c == ' ' || (c >= 0x09 && c <= 0x0d) || (c >= 0x1c && c <= 0x1f)) ? 1 : 0;
    unsigned d = at(i + 1), e = at(i + 2);
    if (c == 0xc2) return (d == 0x85 || d == 0xa0) ? 2 : 0;  // U+0085, U+00A0
    if (c == 0xe1) return (d == 0x9a && e == 0x80) ? 3 : 0;  // U+1680
    if (c == 0xe2 && d == 0x80) return (e <= 0x8a || e == 0xa8 || e == 0xa9 || e == 0xaf) ? 3 : 0;
    if (c == 0xe2 && d == 0x81) return e == 0x9f ? 3 : 0;    // U+205F
    if (c == 0xe3) return (d == 0x80 && e == 0x80) ? 3 : 0;  // U+3000
    return 0;
}

// The text without leading and trailing white space (str.strip()).
inline std::string_view trim_space(std::string_view s) {
    std::size_t n;
    while (!s.empty() && (n = space_length_at(s, 0)) != 0) s.remove_prefix(n);
    // Look back one, two and three bytes for a white-space character that ends the text.
    for (bool trimmed = true; trimmed && !s.empty();) {
        trimmed = false;
        for (std::size_t len = 1; len <= 3 && len <= s.size(); ++len) {
            if (space_length_at(s, s.size() - len) == len) {
                s.remove_suffix(len);
                trimmed = true;
                break;
            }
        }
    }
    return s;
}

}  // namespace corvault::core
