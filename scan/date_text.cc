#include "scan/date_text.h"

#include <climits>
#include <string>

namespace scan {
namespace {

template <class Ch>
bool IsDigit(Ch c) {
    return c >= Ch('0') && c <= Ch('9');
}

// Reads the run of digits that starts at `pos`; returns the position after it, or -1
// when there is no digit at `pos`. Values beyond INT_MAX read as INT_MAX, which every
// range check rejects.
template <class Ch>
long ReadField(const Ch* text, long length, long pos, int& value) {
    if (pos >= length || !IsDigit(text[pos])) return -1;
    long long v = 0;
    for (; pos < length && IsDigit(text[pos]); ++pos) {
        v = v * 10 + (text[pos] - Ch('0'));
        if (v > INT_MAX) v = INT_MAX;
    }
    value = int(v);
    return pos;
}

enum class Precision { kYear, kMonth, kDay, kSecond };

template <class Ch>
bool ParseDateRangeT(const Ch* text, CTime& from, CTime& to) {
    if (text == nullptr || !IsDigit(text[0])) return false;
    const long length = long(std::char_traits<Ch>::length(text));
    const long last = length - 1;

    int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    long p = ReadField(text, length, 0, year);
    // Two-digit years: 0..34 are 2000..2034, 35..99 are 1935..1999.
    if (year < 35) year += 2000;
    if (year < 100) year += 1900;
    if (year < 1971 || year > 2035) return false;

    // Each field after the year is a run of digits after one separator; a field is read
    // only when the text goes on past the separator that follows the previous field.
    Precision precision = Precision::kYear;
    if (p < last) {
        p = ReadField(text, length, p + 1, month);
        if (p < 0 || month < 1 || month > 12) return false;
        precision = Precision::kMonth;
        if (p < last) {
            // No check of the day against the month's length: 30 February is 1 March.
            p = ReadField(text, length, p + 1, day);
            if (p < 0 || day < 1 || day > 31) return false;
            precision = Precision::kDay;
            if (p < last) {
                // A time needs hour, minute and second; stopping earlier fails.
                p = ReadField(text, length, p + 1, hour);
                if (p < 0 || hour > 23 || p >= last) return false;
                p = ReadField(text, length, p + 1, minute);
                if (p < 0 || minute > 59 || p >= last) return false;
                // Whatever follows the seconds' digits is ignored.
                p = ReadField(text, length, p + 1, second);
                if (p < 0 || second > 59) return false;
                precision = Precision::kSecond;
            }
        }
    }

    CTime first(year, month, day, hour, minute, second);
    CTime end;
    switch (precision) {
        case Precision::kYear:
            end = CTime(year + 1, 1, 1, 0, 0, 0) - 1;
            break;
        case Precision::kMonth:
            end = (month == 12 ? CTime(year + 1, 1, 1, 0, 0, 0)
                               : CTime(year, month + 1, 1, 0, 0, 0)) -
                  1;
            break;
        case Precision::kDay:
            end = first + (24 * 60 * 60 - 1);
            break;
        case Precision::kSecond:
            end = first;
            break;
    }
    from = first;
    to = end;
    return true;
}

}  // namespace

bool ParseDateRange(const wchar_t* text, CTime& from, CTime& to) {
    return ParseDateRangeT(text, from, to);
}

bool ParseDateRange(const char* text, CTime& from, CTime& to) {
    return ParseDateRangeT(text, from, to);
}

}  // namespace scan
