#include "core/kodo_auth.hpp"

#include <stdexcept>

#include "core/digest.hpp"
#include "core/encoding.hpp"

namespace corvault::core::kodo {
namespace {

std::string signed_with(std::string_view secret_key, std::string_view text) {
    return base64_urlsafe(as_bytes(hmac_sha1(secret_key, text)));
}

// The next code point of well-formed UTF-8 at `i` (advanced past it).
std::uint32_t next_code_point(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > s.size()) throw std::invalid_argument("text is not valid UTF-8");
    std::uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(s[i + k]);
        if ((next & 0xC0) != 0x80) throw std::invalid_argument("text is not valid UTF-8");
        cp = (cp << 6) | (next & 0x3F);
    }
    i += length;
    return cp;
}

void append_u_escape(std::string& out, std::uint32_t unit) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

}  // namespace

std::string encoded_entry(std::string_view bucket, std::string_view key) {
    std::string entry;
    entry.reserve(bucket.size() + 1 + key.size());
    entry.append(bucket).append(":").append(key);
    return base64_urlsafe(entry);
}

std::string management_signing_text(std::string_view path_and_query, std::optional<std::string_view> body) {
    std::string text;
    text.reserve(path_and_query.size() + 1 + (body ? body->size() : 0));
    text.append(path_and_query).append("\n");
    if (body) text.append(*body);
    return text;
}

std::string management_token(const Credentials& credentials, std::string_view path_and_query,
                             std::optional<std::string_view> body) {
    const std::string sign = signed_with(credentials.secret_key, management_signing_text(path_and_query, body));
    std::string token;
    token.reserve(5 + credentials.access_key.size() + 1 + sign.size());
    token.append("QBox ").append(credentials.access_key).append(":").append(sign);
    return token;
}

void append_json_string(std::string& out, std::string_view s) {
    out += '"';
    for (std::size_t i = 0; i < s.size();) {
        const std::uint32_t cp = next_code_point(s, i);
        switch (cp) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            case '\b': out += "\\b"; continue;
            case '\f': out += "\\f"; continue;
            default: break;
        }
        if (cp >= 0x20 && cp < 0x7F) {
            out += static_cast<char>(cp);
        } else if (cp < 0x10000) {
            append_u_escape(out, cp);  // control characters and DEL included, as json.dumps does
        } else {
            const std::uint32_t v = cp - 0x10000;
            append_u_escape(out, 0xD800 | (v >> 10));
            append_u_escape(out, 0xDC00 | (v & 0x3FF));
        }
    }
    out += '"';
}

std::string put_policy_json(const PutPolicy& p) {
    std::string json;
    json.reserve(64 + p.bucket.size() + p.key.size() + (p.return_body ? p.return_body->size() : 0));
    json += "{\"scope\":";
    if (p.key.empty()) {
        append_json_string(json, p.bucket);
    } else {
        std::string scope;
        scope.append(p.bucket).append(":").append(p.key);
        append_json_string(json, scope);
    }
    json.append(",\"deadline\":").append(std::to_string(p.deadline));
    if (p.return_body && !p.return_body->empty()) {
        json += ",\"returnBody\":";
        append_json_string(json, *p.return_body);
    }
    if (p.mime_limit && !p.mime_limit->empty()) {
        json += ",\"mimeLimit\":";
        append_json_string(json, *p.mime_limit);
    }
    if (p.fsize_limit) json.append(",\"fsizeLimit\":").append(std::to_string(*p.fsize_limit));
    json += '}';
    return json;
}

std::string upload_token(const Credentials& credentials, std::string_view policy_json) {
    const std::string encoded_policy = base64_urlsafe(policy_json);
    const std::string sign = signed_with(credentials.secret_key, encoded_policy);
    std::string token;
    token.reserve(credentials.access_key.size() + sign.size() + encoded_policy.size() + 2);
    token.append(credentials.access_key).append(":").append(sign).append(":").append(encoded_policy);
    return token;
}

std::string private_download_url(const Credentials& credentials, std::string_view url, std::int64_t deadline) {
    std::string link;
    link.reserve(url.size() + 64 + credentials.access_key.size());
    link.append(url).append(url.find('?') == std::string_view::npos ? "?e=" : "&e=").append(std::to_string(deadline));
    const std::string sign = signed_with(credentials.secret_key, link);
    link.append("&token=").append(credentials.access_key).append(":").append(sign);
    return link;
}

}  // namespace corvault::core::kodo
