#include "digest.hpp"

#include <openssl/evp.h>

#include <cstring>
#include <new>
#include <stdexcept>

namespace corvault::core {
namespace {

// Fetched once: implicit fetching by name inside every EVP_DigestInit costs more than the
// hashing of the short messages that signatures are made of.
const EVP_MD* fetch(const char* name) {
    EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
    if (md == nullptr) throw std::runtime_error(std::string("OpenSSL has no digest ") + name);
    return md;
}

const EVP_MD* md_sha256() {
    static const EVP_MD* md = fetch("SHA256");
    return md;
}
const EVP_MD* md_sha1() {
    static const EVP_MD* md = fetch("SHA1");
    return md;
}
const EVP_MD* md_md5() {
    static const EVP_MD* md = fetch("MD5");
    return md;
}

// One reusable context per thread: allocating a context per digest doubles the cost.
EVP_MD_CTX* context() {
    struct Holder {
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        ~Holder() { EVP_MD_CTX_free(ctx); }
    };
    static thread_local Holder holder;
    if (holder.ctx == nullptr) throw std::bad_alloc();
    return holder.ctx;
}

void check(int ok) {
    if (ok != 1) throw std::runtime_error("OpenSSL digest failure");
}

// Hashes the concatenation of up to two pieces into `out`.
void digest_into(const EVP_MD* md, std::string_view a, std::string_view b, unsigned char* out) {
    EVP_MD_CTX* ctx = context();
    unsigned int len = 0;
    check(EVP_DigestInit_ex2(ctx, md, nullptr));
    check(EVP_DigestUpdate(ctx, a.data(), a.size()));
    if (!b.empty()) check(EVP_DigestUpdate(ctx, b.data(), b.size()));
    check(EVP_DigestFinal_ex(ctx, out, &len));
}

template <std::size_t N>
std::array<std::uint8_t, N> digest(const EVP_MD* md, std::string_view data) {
    std::array<std::uint8_t, N> out{};
    digest_into(md, data, {}, out.data());
    return out;
}

template <std::size_t N>
std::array<std::uint8_t, N> hmac(const EVP_MD* md, std::string_view key, std::string_view message) {
    constexpr std::size_t kBlock = 64;  // SHA-1 and SHA-256 share the 64-byte block
    unsigned char block_key[kBlock] = {};
    if (key.size() > kBlock) {
        digest_into(md, key, {}, block_key);
    } else if (!key.empty()) {
        std::memcpy(block_key, key.data(), key.size());
    }
    unsigned char pad[kBlock];
    std::array<std::uint8_t, N> inner{};
    for (std::size_t i = 0; i < kBlock; ++i) pad[i] = block_key[i] ^ 0x36;
    digest_into(md, {reinterpret_cast<const char*>(pad), kBlock}, message, inner.data());
    std::array<std::uint8_t, N> outer{};
    for (std::size_t i = 0; i < kBlock; ++i) pad[i] = block_key[i] ^ 0x5c;
    digest_into(md, {reinterpret_cast<const char*>(pad), kBlock}, as_bytes(inner), outer.data());
    return outer;
}

}  // namespace

Sha256Digest sha256(std::string_view data) { return digest<32>(md_sha256(), data); }
Sha1Digest sha1(std::string_view data) { return digest<20>(md_sha1(), data); }
Md5Digest md5(std::string_view data) { return digest<16>(md_md5(), data); }

Sha256Digest hmac_sha256(std::string_view key, std::string_view message) { return hmac<32>(md_sha256(), key, message); }
Sha1Digest hmac_sha1(std::string_view key, std::string_view message) { return hmac<20>(md_sha1(), key, message); }

}  // namespace corvault::core
