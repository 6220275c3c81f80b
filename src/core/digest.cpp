#include "digest.hpp"

#include <openssl/evp.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

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

// The states of an HMAC after its padded key block, for the last key used with one digest on
// this thread. A client signs everything with the same key, and starting from these states
// hashes two blocks fewer per signature than starting from the key.
class KeyedStates {
public:
    KeyedStates() = default;
    KeyedStates(const KeyedStates&) = delete;
    KeyedStates& operator=(const KeyedStates&) = delete;
    ~KeyedStates() {
        EVP_MD_CTX_free(inner_);
        EVP_MD_CTX_free(outer_);
    }

    // The inner and outer states for `key`, prepared now unless they are the last key's.
    void prepare(const EVP_MD* md, std::string_view key) {
        if (valid_ && key_ == key) return;
        valid_ = false;
        if (inner_ == nullptr) inner_ = EVP_MD_CTX_new();
        if (outer_ == nullptr) outer_ = EVP_MD_CTX_new();
        if (inner_ == nullptr || outer_ == nullptr) throw std::bad_alloc();
        constexpr std::size_t kBlock = 64;  // SHA-1 and SHA-256 share the 64-byte block
        unsigned char block_key[kBlock] = {};
        if (key.size() > kBlock) {
            digest_into(md, key, {}, block_key);
        } else if (!key.empty()) {
            std::memcpy(block_key, key.data(), key.size());
        }
        unsigned char pad[kBlock];
        for (std::size_t i = 0; i < kBlock; ++i) pad[i] = block_key[i] ^ 0x36;
        check(EVP_DigestInit_ex2(inner_, md, nullptr));
        check(EVP_DigestUpdate(inner_, pad, kBlock));
        for (std::size_t i = 0; i < kBlock; ++i) pad[i] = block_key[i] ^ 0x5c;
        check(EVP_DigestInit_ex2(outer_, md, nullptr));
        check(EVP_DigestUpdate(outer_, pad, kBlock));
        key_.assign(key);
        valid_ = true;
    }
    const EVP_MD_CTX* inner() const { return inner_; }
    const EVP_MD_CTX* outer() const { return outer_; }

private:
    std::string key_;
    EVP_MD_CTX* inner_ = nullptr;
    EVP_MD_CTX* outer_ = nullptr;
    bool valid_ = false;
};

// Continues `state` with `a` and `b` into `out`.
void continue_into(const EVP_MD_CTX* state, std::string_view a, std::string_view b, unsigned char* out) {
    EVP_MD_CTX* ctx = context();
    unsigned int len = 0;
    check(EVP_MD_CTX_copy_ex(ctx, state));
    check(EVP_DigestUpdate(ctx, a.data(), a.size()));
    if (!b.empty()) check(EVP_DigestUpdate(ctx, b.data(), b.size()));
    check(EVP_DigestFinal_ex(ctx, out, &len));
}

template <std::size_t N>
std::array<std::uint8_t, N> hmac(const EVP_MD* md, KeyedStates& states, std::string_view key,
                                 std::string_view message) {
    states.prepare(md, key);
    std::array<std::uint8_t, N> inner{};
    continue_into(states.inner(), message, {}, inner.data());
    std::array<std::uint8_t, N> outer{};
    continue_into(states.outer(), as_bytes(inner), {}, outer.data());
    return outer;
}

}  // namespace

Sha256Digest sha256(std::string_view data) { return digest<32>(md_sha256(), data); }
Sha1Digest sha1(std::string_view data) { return digest<20>(md_sha1(), data); }
Md5Digest md5(std::string_view data) { return digest<16>(md_md5(), data); }

Sha256Digest hmac_sha256(std::string_view key, std::string_view message) {
    static thread_local KeyedStates states;
    return hmac<32>(md_sha256(), states, key, message);
}
Sha1Digest hmac_sha1(std::string_view key, std::string_view message) {
    static thread_local KeyedStates states;
    return hmac<20>(md_sha1(), states, key, message);
}

}  // namespace corvault::core
