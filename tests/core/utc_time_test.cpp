// Calendar conversion and time stamp formats; dates and weekdays from the Gregorian calendar.
#include "core/utc_time.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace corvault::core {
namespace {

struct TimeCase {
    std::int64_t epoch;
    const char* amz_date;
    const char* date_stamp;
    const char* rfc1123;
};

const TimeCase kCases[] = {
    {0, "19700101T000000Z", "19700101", "Thu, 01 Jan 1970 00:00:00 GMT"},
    {1369353600, "20130524T000000Z", "20130524", "Fri, 24 May 2013 00:00:00 GMT"},
    {951782400, "20000229T000000Z", "20000229", "Tue, 29 Feb 2000 00:00:00 GMT"},   // leap day
    {4107542399, "21000228T235959Z", "21000228", "Sun, 28 Feb 2100 23:59:59 GMT"},  // 2100: no leap day
    {4107542400, "21000301T000000Z", "21000301", "Mon, 01 Mar 2100 00:00:00 GMT"},
    {-1, "19691231T235959Z", "19691231", "Wed, 31 Dec 1969 23:59:59 GMT"},
    {1000000000, "20010909T014640Z", "20010909", "Sun, 09 Sep 2001 01:46:40 GMT"},
};

TEST(UtcTime, FormatsKnownInstants) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.epoch);
        const UtcTime t = UtcTime::from_epoch_seconds(c.epoch);
        EXPECT_EQ(format_amz_date(t), c.amz_date);
        EXPECT_EQ(format_date_stamp(t), c.date_stamp);
        EXPECT_EQ(format_rfc1123(t), c.rfc1123);
        EXPECT_EQ(format_amz_date(UtcTime::from_epoch(static_cast<double>(c.epoch))), c.amz_date);
    }
}

TEST(UtcTime, FieldsOfALeapDay) {
    const UtcTime t = UtcTime::from_epoch_seconds(951782400 + 13 * 3600 + 5 * 60 + 9);
    EXPECT_EQ(t.year, 2000);
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 29);
    EXPECT_EQ(t.hour, 13);
    EXPECT_EQ(t.minute, 5);
    EXPECT_EQ(t.second, 9);
    EXPECT_EQ(t.weekday, 2);  // Tuesday
}

TEST(UtcTime, FractionsRoundTowardThePast) {
    EXPECT_EQ(format_amz_date(UtcTime::from_epoch(1.9)), "19700101T000001Z");
    EXPECT_EQ(format_amz_date(UtcTime::from_epoch(-0.5)), "19691231T235959Z");
    EXPECT_EQ(format_rfc1123(UtcTime::from_epoch(-0.5)), "Wed, 31 Dec 1969 23:59:59 GMT");
    EXPECT_EQ(format_amz_date(UtcTime::from_epoch(1369353599.999)), "20130523T235959Z");
}

TEST(UtcTime, DefaultIsTheEpoch) { EXPECT_EQ(format_rfc1123(UtcTime{}), "Thu, 01 Jan 1970 00:00:00 GMT"); }

}  // namespace
}  // namespace corvault::core
