// White space as Python's str.isspace() knows it. The set is the one Python 3 reports for
// [c for c in range(0x110000) if chr(c).isspace()].
#include "core/whitespace.hpp"

#include <gtest/gtest.h>

#include <string>

namespace corvault::core {
namespace {

// UTF-8 of every code point for which str.isspace() is true.
// clang-format off: the characters grouped by block
const char* const kPythonSpace[] = {
    "\t",           "\n",           "\v",           "\f",           "\r",
    "\x1c",         "\x1d",         "\x1e",         "\x1f",         " ",
    "\xc2\x85",     "\xc2\xa0",     "\xe1\x9a\x80", "\xe2\x80\x80", "\xe2\x80\x81",
    "\xe2\x80\x82", "\xe2\x80\x83", "\xe2\x80\x84", "\xe2\x80\x85", "\xe2\x80\x86",
    "\xe2\x80\x87", "\xe2\x80\x88", "\xe2\x80\x89", "\xe2\x80\x8a", "\xe2\x80\xa8",
    "\xe2\x80\xa9", "\xe2\x80\xaf", "\xe2\x81\x9f", "\xe3\x80\x80",
};

// Characters next to those, for which str.isspace() is false.
const char* const kNotSpace[] = {
    "\x08",         "\x0e",         "\x1b",         "!",
    "\x7f",         "\xc2\x84",     "\xc2\x86",     "\xc2\xa1",
    "\xc3\xa9",
    "\xe1\xa0\x8e",  // U+180E
    "\xe2\x80\x8b",  // U+200B
    "\xe2\x80\x8c", "\xe2\x80\xa7", "\xe2\x80\xb0", "\xe2\x81\xa0",
    "\xe3\x80\x81",
    "\xef\xbb\xbf",  // U+FEFF
};
// clang-format on

TEST(Whitespace, LengthOfEachPythonSpace) {
    for (const char* ch : kPythonSpace) {
        const std::string s = std::string("a") + ch + "b";
        EXPECT_EQ(space_length_at(s, 1), std::string(ch).size()) << testing::PrintToString(s);
        EXPECT_EQ(space_length_at(s, 0), 0u);
    }
    for (const char* ch : kNotSpace) {
        const std::string s = std::string("a") + ch + "b";
        EXPECT_EQ(space_length_at(s, 1), 0u) << testing::PrintToString(s);
    }
    EXPECT_EQ(space_length_at("", 0), 0u);
    EXPECT_EQ(space_length_at("\xe3\x80", 0), 0u);  // cut short
}

TEST(Whitespace, TrimRemovesPythonSpaceAtBothEnds) {
    for (const char* ch : kPythonSpace) {
        const std::string s = std::string(ch) + ch + "x y" + ch;
        EXPECT_EQ(trim_space(s), "x y") << testing::PrintToString(s);
        EXPECT_EQ(trim_space(std::string(ch) + ch), "") << testing::PrintToString(s);
    }
    for (const char* ch : kNotSpace) {
        const std::string s = std::string(ch) + "x" + ch;
        EXPECT_EQ(trim_space(s), s) << testing::PrintToString(s);
    }
    // as " \u3000caf\u00e9\u00a0 \n".strip() -> "caf\u00e9"
    EXPECT_EQ(trim_space(" \xe3\x80\x80"
                         "caf\xc3\xa9\xc2\xa0 \n"),
              "caf\xc3\xa9");
    // inner white space stays
    EXPECT_EQ(trim_space("\ta \xe2\x80\x83 b\t"), "a \xe2\x80\x83 b");
    EXPECT_EQ(trim_space(""), "");
}

}  // namespace
}  // namespace corvault::core
