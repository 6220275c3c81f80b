#include "encoding.hpp"

namespace corvault::core {
namespace {

constexpr char kHexLower[] = "0123456789abcdef";
constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kBase64Std[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kBase64Url[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string base64_with(std::string_view bytes, const char* alphabet) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size(), i = 0;
    for (; i + 3 <= n; i += 3) {
        std::uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (n - i == 1) {
        std::uint32_t v = p[i] << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (n - i == 2) {
        std::uint32_t v = (p[i] << 16) | (p[i + 1] << 8);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

}  // namespace

std::string hex_lower(std::string_view bytes) {
    std::string out(bytes.size() * 2, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        out[2 * i] = kHexLower[c >> 4];
        out[2 * i + 1] = kHexLower[c & 15];
    }
    return out;
}

std::string base64(std::string_view bytes) { return base64_with(bytes, kBase64Std); }
std::string base64_urlsafe(std::string_view bytes) { return base64_with(bytes, kBase64Url); }

namespace {
// The safe sets are a character or two: a loop beats a memchr call per escaped byte.
bool in_safe(std::string_view safe, char c) {
    for (char s : safe) {
        if (s == c) return true;
    }
    return false;
}
}  // namespace

void percent_encode_append(std::string& out, std::string_view bytes, std::string_view safe) {
    out.reserve(out.size() + bytes.size());
    std::size_t run = 0;  // start of the pending run of characters that stay as they are
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (is_unreserved(c) || (c < 0x80 && in_safe(safe, bytes[i]))) continue;
        out.append(bytes, run, i - run);
        const char escaped[3] = {'%', kHexUpper[c >> 4], kHexUpper[c & 15]};
        out.append(escaped, 3);
        run = i + 1;
    }
    out.append(bytes, run, bytes.size() - run);
}

void form_encode_append(std::string& out, std::string_view bytes) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != ' ') continue;
        percent_encode_append(out, bytes.substr(run, i - run));
        out += '+';
        run = i + 1;
    }
    percent_encode_append(out, bytes.substr(run));
}

}  // namespace corvault::core
