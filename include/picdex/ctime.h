// A calendar time: 64-bit seconds since 1970-01-01 00:00:00 UTC.
// Built from local calendar fields the way mktime does (daylight saving decided by the
// system) and split into local fields with localtime_r, so results follow TZ.
// Field constructors accept out-of-range fields and normalise them as mktime does
// (30 February is 1 March); callers that must reject such fields check them first.
#pragma once

#include <compare>
#include <cstdint>

#include "picdex/export.h"

class PICDEX_API CTime {
public:
    CTime() = default;
    explicit CTime(std::int64_t seconds) : m_time(seconds) {}
    // Local calendar fields; nDST < 0 lets the system decide daylight saving.
    CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST = -1);

    static CTime GetCurrentTime();

    std::int64_t GetTime() const { return m_time; }

    // Local calendar fields of this time.
    int GetYear() const;
    int GetMonth() const;      // 1..12
    int GetDay() const;        // 1..31
    int GetHour() const;       // 0..23
    int GetMinute() const;     // 0..59
    int GetSecond() const;     // 0..59
    int GetDayOfWeek() const;  // 1 = Sunday .. 7 = Saturday

    struct Fields {
        int year, month, day, hour, minute, second, dayOfWeek;
        // False when the time has no local calendar form (too far from the epoch); the
        // fields are then those of 1970-01-01 00:00:00.
        bool valid = true;
    };
    // All fields at once (one localtime_r call).
    Fields GetLocalFields() const;

    CTime operator+(std::int64_t seconds) const { return CTime(m_time + seconds); }
    CTime operator-(std::int64_t seconds) const { return CTime(m_time - seconds); }
    std::int64_t operator-(const CTime& other) const { return m_time - other.m_time; }
    auto operator<=>(const CTime&) const = default;

private:
    std::int64_t m_time = 0;
};
