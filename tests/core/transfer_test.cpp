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

}  // namespace
}  // namespace corvault::core::transfer
