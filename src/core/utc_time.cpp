#include "utc_time.hpp"

#include <cmath>

namespace corvault::core {
namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Proleptic Gregorian calendar from a day count (H. Hinnant's civil_from_days).
void civil_from_days(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = floor_div(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

}  // namespace

UtcTime UtcTime::from_epoch(double seconds) {
    return from_epoch_seconds(static_cast<std::int64_t>(std::floor(seconds)));
}

UtcTime UtcTime::from_epoch_seconds(std::int64_t seconds) {
    UtcTime t;
    const std::int64_t days = floor_div(seconds, 86400);
    const std::int64_t rest = seconds - days * 86400;
    civil_from_days(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    t.weekday = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
    return t;
}

namespace {

// Zero-padded decimal digits, without the cost of a printf call per time stamp.
void append_digits(std::string& out, long long value, int width) {
    char buf[24];
    int n = 0;
    bool negative = value < 0;
    unsigned long long v =
        negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < width) buf[n++] = '0';
    if (negative) out += '-';
    while (n > 0) out += buf[--n];
}

void append_date_stamp(std::string& out, const UtcTime& t) {
    append_digits(out, t.year, 4);
    append_digits(out, t.month, 2);
    append_digits(out, t.day, 2);
}

}  // namespace

std::string format_amz_date(const UtcTime& t) {
    std::string out;
    out.reserve(16);
    append_date_stamp(out, t);
    out += 'T';
    append_digits(out, t.hour, 2);
    append_digits(out, t.minute, 2);
    append_digits(out, t.second, 2);
    out += 'Z';
    return out;
}

std::string format_date_stamp(const UtcTime& t) {
    std::string out;
    out.reserve(8);
    append_date_stamp(out, t);
    return out;
}

std::string format_rfc1123(const UtcTime& t) {
    std::string out;
    out.reserve(29);
    out.append(kWeekdays[t.weekday]).append(", ");
    append_digits(out, t.day, 2);
    out.append(" ").append(kMonths[t.month - 1]).append(" ");
    append_digits(out, t.year, 4);
    out += ' ';
    append_digits(out, t.hour, 2);
    out += ':';
    append_digits(out, t.minute, 2);
    out += ':';
    append_digits(out, t.second, 2);
    out.append(" GMT");
    return out;
}

}  // namespace corvault::core
