#include "platform/ctime.h"

#include <ctime>

CTime::CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST) {
    std::tm tm{};
    tm.tm_year = nYear - 1900;
    tm.tm_mon = nMonth - 1;
    tm.tm_mday = nDay;
    tm.tm_hour = nHour;
    tm.tm_min = nMin;
    tm.tm_sec = nSec;
    tm.tm_isdst = nDST < 0 ? -1 : (nDST > 0 ? 1 : 0);
    m_time = static_cast<std::int64_t>(std::mktime(&tm));
}

CTime CTime::GetCurrentTime() {
    return CTime(static_cast<std::int64_t>(std::time(nullptr)));
}

CTime::Fields CTime::GetLocalFields() const {
    std::time_t t = static_cast<std::time_t>(m_time);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return Fields{1970, 1, 1, 0, 0, 0, 5, false};
    return Fields{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,    tm.tm_hour,
                  tm.tm_min,         tm.tm_sec,     tm.tm_wday + 1};
}

int CTime::GetYear() const {
    return GetLocalFields().year;
}
int CTime::GetMonth() const {
    return GetLocalFields().month;
}
int CTime::GetDay() const {
    return GetLocalFields().day;
}
int CTime::GetHour() const {
    return GetLocalFields().hour;
}
int CTime::GetMinute() const {
    return GetLocalFields().minute;
}
int CTime::GetSecond() const {
    return GetLocalFields().second;
}
int CTime::GetDayOfWeek() const {
    return GetLocalFields().dayOfWeek;
}
