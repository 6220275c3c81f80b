// Parts of a transfer: ranges, counts and progress as the downloads and uploads use them.
#include "core/transfer.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvault::core::transfer {
namespace {

constexpr long long kMax = std::numeric_limits<long long>::max();

std::vector<std::string> ranges_of(const Parts& parts) {
    std::vector<std::string> out;
    for (long long i = 0; i < parts.count(); ++i) out.push_back(range_header(parts[i]));
    return out;
}

TEST(Parts, RangesCoverTheWholeWithAShorterLastPart) {
    EXPECT_EQ(ranges_of(Parts(25, 10)), (std::vector<std::string>{"bytes=0-9", "bytes=10-19", "bytes=20-24"}));
    EXPECT_EQ(ranges_of(Parts(1, 10)), (std::vector<std::string>{"bytes=0-0"}));
    EXPECT_EQ(ranges_of(Parts(8388608, 8388608)), (std::vector<std::string>{"bytes=0-8388607"}));
    EXPECT_EQ(ranges_of(Parts(8388609, 8388608)),
              (std::vector<std::string>{"bytes=0-8388607", "bytes=8388608-8388608"}));
    EXPECT_EQ(Parts(0, 4).count(), 0);  // empty content: no part at all
}

TEST(Parts, ProgressAfterEachPart) {
    const Parts parts(10, 4);
    std::vector<long long> done, lengths;
    for (long long i = 0; i < parts.count(); ++i) {
        EXPECT_EQ(parts[i].index, i);
        done.push_back(parts[i].done());
        lengths.push_back(parts[i].length);
    }
    EXPECT_EQ(done, (std::vector<long long>{4, 8, 10}));
    EXPECT_EQ(lengths, (std::vector<long long>{4, 4, 2}));
}

TEST(Parts, HugeSizesDoNotOverflow) {
    const Parts one(kMax, kMax);
    ASSERT_EQ(one.count(), 1);
    EXPECT_EQ(one[0].last_byte(), kMax - 1);
    EXPECT_EQ(one[0].done(), kMax);
    const Parts two(kMax, kMax - 1);
    ASSERT_EQ(two.count(), 2);
    EXPECT_EQ(two[1].offset, kMax - 1);
    EXPECT_EQ(two[1].length, 1);
    EXPECT_EQ(two[1].done(), kMax);
    EXPECT_EQ(Parts(5, kMax).count(), 1);
}

TEST(Parts, RefusesAPartSizeBelowOneAndANegativeSize) {
    EXPECT_THROW(Parts(10, 0), std::invalid_argument);
    EXPECT_THROW(Parts(10, -1), std::invalid_argument);
    EXPECT_THROW(Parts(-1, 10), std::invalid_argument);
}

TEST(UsablePartSize, BelowOneRefusedAboveTheRangeOnePart) {
    EXPECT_EQ(usable_part_size(1, 0), 1);
    EXPECT_EQ(usable_part_size(8388608, 0), 8388608);
    EXPECT_EQ(usable_part_size(0, 0), std::nullopt);
    EXPECT_EQ(usable_part_size(-5, 0), std::nullopt);
    EXPECT_EQ(usable_part_size(-1, -1), std::nullopt);  // below the range of long long
    EXPECT_EQ(usable_part_size(-1, 1), kMax);           // above it
}

// The forms of RFC 9110's Content-Range that a partial answer carries; anything else says nothing.
TEST(ContentRange, ReadsTheBytesAndTheTotalAnAnswerStates) {
    const auto read = parse_content_range("bytes 10-19/25");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->first, 10);
    EXPECT_EQ(read->last, 19);
    EXPECT_EQ(read->total, 25);
    EXPECT_EQ(parse_content_range("Bytes 0-0/*")->total, std::nullopt);
    EXPECT_EQ(parse_content_range(" bytes 0-9223372036854775806/9223372036854775807 ")->total, kMax);
    for (const char* other : {"", "bytes", "bytes */25", "items 0-9/25", "bytes 0-9", "bytes 9-0/25", "bytes 0-9/9",
                              "bytes 0-9/25x", "bytes  0-9/25", "bytes -1-9/25", "bytes 0-9/99999999999999999999"}) {
        EXPECT_EQ(parse_content_range(other).has_value(), false) << other;
    }
}

TEST(ContentRange, IsThePartsOnlyForItsBytesOfAnObjectOfTheSizeFound) {
    const Parts parts(25, 10);
    EXPECT_EQ(content_range(parts[2], 25), "bytes 20-24/25");
    EXPECT_TRUE(is_range_of(*parse_content_range("bytes 10-19/25"), parts[1], 25));
    EXPECT_TRUE(is_range_of(*parse_content_range("bytes 10-19/*"), parts[1], 25));
    EXPECT_FALSE(is_range_of(*parse_content_range("bytes 10-19/30"), parts[1], 25));  // the object grew
    EXPECT_FALSE(is_range_of(*parse_content_range("bytes 0-9/25"), parts[1], 25));
    EXPECT_FALSE(is_range_of(*parse_content_range("bytes 10-18/25"), parts[1], 25));
}

}  // namespace
}  // namespace corvault::core::transfer
