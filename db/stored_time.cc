#include "db/stored_time.h"

#include <ctime>
#include <initializer_list>

namespace {

bool Digits(const char* p, int count, int& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        value = value * 10 + (p[i] - '0');
    }
    return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

bool ParseStoredTime(const char* text, CTime& out) {
    if (!text) return false;
    int year, month, day, hour, minute, second;
    if (!Digits(text, 4, year) || text[4] != '-' || !Digits(text + 5, 2, month) || text[7] != '-' ||
        !Digits(text + 8, 2, day) || text[10] != ' ' || !Digits(text + 11, 2, hour) ||
        text[13] != ':' || !Digits(text + 14, 2, minute) || text[16] != ':' ||
        !Digits(text + 17, 2, second) || text[19] != '\0')
        return false;
    if (year < 1971 || year > 2035 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    const long long days = DaysFromCivil(year, month, day);
    const long long asUtc = days * 86400LL + hour * 3600 + minute * 60 + second;
    auto readsBack = [&](std::time_t t, std::tm& local) {
        return localtime_r(&t, &local) && local.tm_year + 1900 == year &&
               local.tm_mon + 1 == month && local.tm_mday == day && local.tm_hour == hour &&
               local.tm_min == minute && local.tm_sec == second;
    };
    // The last day read, and its offset when the zone keeps one offset from the day
    // before to the day after: times of that day then need one check each.
    thread_local long long cachedDay = -1;
    thread_local long cachedOffset = 0;
    thread_local bool steady = false;
    if (steady && cachedDay == days) {
        const std::time_t t = static_cast<std::time_t>(asUtc - cachedOffset);
        std::tm local{};
        if (readsBack(t, local)) {
            out = CTime(static_cast<std::int64_t>(t));
            return true;
        }
    }
    // The zone's offset at a first guess, then at the instant that guess gives: two
    // tries find every local time that exists, and the fields must then read back.
    long offset = cachedOffset;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::time_t t = static_cast<std::time_t>(asUtc - offset);
        std::tm local{};
        if (readsBack(t, local)) {
            // A local time that a change of the zone's offset repeats is the date
            // parser's to decide: look for a second reading with the offset in force a
            // day before or after.
            bool same = true;
            for (std::time_t near : {t - 86400, t + 86400}) {
                std::tm other{};
                if (!localtime_r(&near, &other)) return false;
                if (other.tm_gmtoff == local.tm_gmtoff) continue;
                same = false;
                std::tm twin{};
                if (readsBack(static_cast<std::time_t>(asUtc - other.tm_gmtoff), twin))
                    return false;
            }
            cachedDay = days;
            cachedOffset = local.tm_gmtoff;
            steady = same;
            out = CTime(static_cast<std::int64_t>(t));
            return true;
        }
        offset = local.tm_gmtoff;
    }
    return false;
}
