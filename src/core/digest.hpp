// Message digests and HMAC over OpenSSL's EVP interface.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace corvault::core {

using Sha256Digest = std::array<std::uint8_t, 32>;
using Sha1Digest = std::array<std::uint8_t, 20>;
using Md5Digest = std::array<std::uint8_t, 16>;

Sha256Digest sha256(std::string_view data);
Sha1Digest sha1(std::string_view data);
Md5Digest md5(std::string_view data);

// RFC 2104 HMAC; keys longer than the block size are hashed first.
Sha256Digest hmac_sha256(std::string_view key, std::string_view message);
Sha1Digest hmac_sha1(std::string_view key, std::string_view message);

// A digest viewed as bytes, for chaining one HMAC's output into the next key.
template <std::size_t N>
std::string_view as_bytes(const std::array<std::uint8_t, N>& digest) {
    return {reinterpret_cast<const char*>(digest.data()), N};
}

}  // namespace corvault::core
