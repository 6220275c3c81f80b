// Digests and HMACs against published test vectors.
#include "core/digest.hpp"
#include "core/encoding.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace corvault::core {
namespace {

const std::string kAbc = "abc";
const std::string k448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string kMillionA(1000000, 'a');

// 0x01, 0x02, ..., 0x19: the 25-byte key of RFC 2202 and RFC 4231 case 4.
std::string counting_key() {
    std::string key;
    for (char c = 1; c <= 25; ++c) key += c;
    return key;
}

TEST(Sha256, NistExamples) {  // FIPS 180-2 appendix B
    EXPECT_EQ(hex_lower(sha256(kAbc)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex_lower(sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex_lower(sha256(k448)), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex_lower(sha256(kMillionA)), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha1, NistExamples) {  // FIPS 180-1 appendices A and B, NIST empty-message value
    EXPECT_EQ(hex_lower(sha1(kAbc)), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hex_lower(sha1("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hex_lower(sha1(k448)), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(hex_lower(sha1(kMillionA)), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Md5, Rfc1321TestSuite) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(hex_lower(md5(input)), expected) << '"' << input << '"';
}

struct HmacCase {
    std::string key, data, expected;  // expected may be a truncated prefix of the full output
};

TEST(HmacSha256, Rfc4231Cases1To7) {
    const HmacCase cases[] = {
        {std::string(20, '\x0b'), "Hi There", "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {"Jefe", "what do ya want for nothing?", "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'),
         "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
        {counting_key(), std::string(50, '\xcd'), "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
        {std::string(20, '\x0c'), "Test With Truncation", "a3b6167473100ee06e0c796c2955552b"},
        {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {std::string(131, '\xaa'),
         "This is a test using a larger than block-size key and a larger than block-size data. "
         "The key needs to be hashed before being used by the HMAC algorithm.",
         "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
    };
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("RFC 4231 test case " + std::to_string(++number));
        EXPECT_EQ(hex_lower(hmac_sha256(c.key, c.data)).substr(0, c.expected.size()), c.expected);
    }
}

TEST(HmacSha1, Rfc2202Cases1To7) {
    const HmacCase cases[] = {
        {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
        {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {counting_key(), std::string(50, '\xcd'), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {std::string(20, '\x0c'), "Test With Truncation", "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("RFC 2202 test case " + std::to_string(++number));
        EXPECT_EQ(hex_lower(hmac_sha1(c.key, c.data)), c.expected);
    }
}

// Chained HMACs through as_bytes: the signing-key derivation example of the AWS Signature
// Version 4 documentation (secret wJalrXUtnFEMI/K7MDENG+bPxRfiCYEXAMPLEKEY, 20120215/us-east-1/iam).
TEST(HmacSha256, ChainsThroughAsBytes) {
    auto k_date = hmac_sha256("AWS4wJalrXUtnFEMI/K7MDENG+bPxRfiCYEXAMPLEKEY", "20120215");
    EXPECT_EQ(hex_lower(k_date), "969fbb94feb542b71ede6f87fe4d5fa29c789342b0f407474670f0c2489e0a0d");
    auto k_region = hmac_sha256(as_bytes(k_date), "us-east-1");
    EXPECT_EQ(hex_lower(k_region), "69daa0209cd9c5ff5c8ced464a696fd4252e981430b10e3d3fd8e2f197d7a70c");
    auto k_service = hmac_sha256(as_bytes(k_region), "iam");
    EXPECT_EQ(hex_lower(k_service), "f72cfd46f26bc4643f06a11eabb6c0ba18780c19a8da0c31ace671265e3c87fa");
    auto k_signing = hmac_sha256(as_bytes(k_service), "aws4_request");
    EXPECT_EQ(hex_lower(k_signing), "f4780e2d9f65fa895f9c67b32ce1baf0b0d8a43505a000a1a9e090d414db404d");
}

}  // namespace
}  // namespace corvault::core
