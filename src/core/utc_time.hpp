// UTC calendar time and the time stamp forms of the signatures. No locale is consulted: the
// RFC 1123 names are fixed English tables, as HTTP requires.
#pragma once

#include <cstdint>
#include <string>

namespace corvault::core {

struct UtcTime {
    int year = 1970, month = 1, day = 1;  // month 1-12, day 1-31
    int hour = 0, minute = 0, second = 0;
    int weekday = 4;  // 0 = Sunday

    // Whole seconds since the Unix epoch; a fraction is cut toward the past, as a clock reading.
    static UtcTime from_epoch(double seconds);
    static UtcTime from_epoch_seconds(std::int64_t seconds);
};

std::string format_amz_date(const UtcTime& t);    // %Y%m%dT%H%M%SZ
std::string format_date_stamp(const UtcTime& t);  // %Y%m%d
std::string format_rfc1123(const UtcTime& t);     // %a, %d %b %Y %H:%M:%S GMT

}  // namespace corvault::core
