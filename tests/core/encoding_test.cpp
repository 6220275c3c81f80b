// Hexadecimal, Base64 and percent-encoding.
#include "core/encoding.hpp"
#include "core/digest.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace corvault::core {
namespace {

TEST(HexLower, TwoLowerCaseDigitsPerByte) {
    EXPECT_EQ(hex_lower(std::string_view()), "");
    EXPECT_EQ(hex_lower(std::string("\x00\x0f\x10\xa0\xff", 5)), "000f10a0ff");
    EXPECT_EQ(hex_lower("\xAB\xCD\xEF"), "abcdef");
    const std::array<std::uint8_t, 4> digest{0xde, 0xad, 0xbe, 0xef};
    EXPECT_EQ(hex_lower(digest), "deadbeef");
}

TEST(Base64, Rfc4648Section10Vectors) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(base64(input), expected) << '"' << input << '"';
        EXPECT_EQ(base64_urlsafe(input), expected) << '"' << input << '"';
    }
}

TEST(Base64, AlphabetsDifferInTheLastTwoSymbols) {
    EXPECT_EQ(base64("\xfb\xff"), "+/8=");
    EXPECT_EQ(base64_urlsafe("\xfb\xff"), "-_8=");
    EXPECT_EQ(base64("\xfb\xef\xbe"), "++++");
    EXPECT_EQ(base64_urlsafe("\xfb\xef\xbe"), "----");
    EXPECT_EQ(base64("\xff\xff\xff"), "////");
    EXPECT_EQ(base64_urlsafe("\xff\xff\xff"), "____");
    EXPECT_EQ(base64(std::string("\x00\x00\x00\x00", 4)), "AAAAAA==");
}

TEST(Base64, OfADigest) {
    // Content-MD5 of an empty body: the RFC 1321 digest d41d8cd98f00b204e9800998ecf8427e in Base64.
    EXPECT_EQ(base64(md5("")), "1B2M2Y8AsgTpgAmY7PhCfg==");
}

TEST(PercentEncode, UnreservedCharactersStay) {
    const std::string unreserved = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    EXPECT_EQ(percent_encode(unreserved), unreserved);
    EXPECT_EQ(percent_encode(""), "");
}

TEST(PercentEncode, ReservedAndOtherBytes) {
    EXPECT_EQ(percent_encode("a b"), "a%20b");
    EXPECT_EQ(percent_encode("1+1"), "1%2B1");
    EXPECT_EQ(percent_encode("100%"), "100%25");
    EXPECT_EQ(percent_encode("k=v&x"), "k%3Dv%26x");
    EXPECT_EQ(percent_encode("*"), "%2A");
    EXPECT_EQ(percent_encode(std::string("\x00\x7f", 2)), "%00%7F");
}

TEST(PercentEncode, SlashKeptOnlyWhenSafe) {
    EXPECT_EQ(percent_encode("a/b c"), "a%2Fb%20c");
    EXPECT_EQ(percent_encode("a/b c", "/"), "a/b%20c");
    EXPECT_EQ(percent_encode("a/b=c", "/="), "a/b=c");
}

TEST(PercentEncode, Utf8BytesUpperCaseHex) {
    EXPECT_EQ(percent_encode("\xC3\xA9"), "%C3%A9");         // é
    EXPECT_EQ(percent_encode("\xE4\xB8\xAD"), "%E4%B8%AD");  // 中
    EXPECT_EQ(percent_encode("caf\xC3\xA9/x", "/"), "caf%C3%A9/x");
}

TEST(PercentEncode, AppendsToExistingText) {
    std::string out = "/bucket/";
    percent_encode_append(out, "my key", "/");
    EXPECT_EQ(out, "/bucket/my%20key");
    percent_encode_append(out, "?~");
    EXPECT_EQ(out, "/bucket/my%20key%3F~");
    percent_encode_append(out, "");
    EXPECT_EQ(out, "/bucket/my%20key%3F~");
}

TEST(FormEncode, BlankBecomesPlusEverythingElseAsPercentEncode) {
    // urllib.parse.quote_plus("a b/c+d~é  ") == "a+b%2Fc%2Bd~%C3%A9++"
    std::string out = "x=";
    form_encode_append(out, "a b/c+d~\xc3\xa9  ");
    EXPECT_EQ(out, "x=a+b%2Fc%2Bd~%C3%A9++");
}

}  // namespace
}  // namespace corvault::core
