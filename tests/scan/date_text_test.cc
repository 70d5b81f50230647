// Date texts: CanBeTime's ranges, checked as absolute seconds in a fixed time zone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "scan/common_func.h"

namespace {

// UTC+9 without daylight saving, so that local fields differ from UTC ones.
constexpr std::int64_t kOffset = 9 * 3600;

class DateTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        m_hadTz = old != nullptr;
        if (old) m_oldTz = old;
        setenv("TZ", "XYZ-9", 1);
        tzset();
    }
    void TearDown() override {
        if (m_hadTz) {
            setenv("TZ", m_oldTz.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    // Parses with both overloads, checks they agree, and returns the wide result.
    static int Parse(const std::string& text, CTime& from, CTime& to) {
        CTime narrowFrom(-1), narrowTo(-1);
        int narrow = CCommonFunc::CanBeTime(text.c_str(), narrowFrom, narrowTo);
        CString wide(text.begin(), text.end());
        int result = CCommonFunc::CanBeTime(wide.c_str(), from, to);
        EXPECT_EQ(result, narrow) << text;
        if (result) {
            EXPECT_EQ(from, narrowFrom) << text;
            EXPECT_EQ(to, narrowTo) << text;
        }
        return result;
    }

    // Expects the range [utcFrom, utcTo] given as UTC seconds of the local wall clock.
    static void ExpectRange(const std::string& text, std::int64_t wallFrom, std::int64_t wallTo) {
        CTime from, to;
        ASSERT_EQ(1, Parse(text, from, to)) << text;
        EXPECT_EQ(wallFrom - kOffset, from.GetTime()) << text;
        EXPECT_EQ(wallTo - kOffset, to.GetTime()) << text;
    }

    static void ExpectFailure(const std::string& text) {
        CTime from(12345), to(67890);
        EXPECT_EQ(0, Parse(text, from, to)) << text;
        EXPECT_EQ(12345, from.GetTime()) << text;
        EXPECT_EQ(67890, to.GetTime()) << text;
    }

private:
    bool m_hadTz = false;
    std::string m_oldTz;
};

// Wall-clock instants as seconds since 1970 (computed for UTC).
constexpr std::int64_t k2008 = 1199145600;             // 2008-01-01 00:00:00
constexpr std::int64_t k2008End = 1230767999;          // 2008-12-31 23:59:59
constexpr std::int64_t k2008Feb = 1201824000;          // 2008-02-01 00:00:00
constexpr std::int64_t k2008FebEnd = 1204329599;       // 2008-02-29 23:59:59
constexpr std::int64_t k2008Mar = 1204329600;          // 2008-03-01 00:00:00
constexpr std::int64_t k2035 = 2051222400;             // 2035-01-01 00:00:00
constexpr std::int64_t k2035End = 2082758399;          // 2035-12-31 23:59:59
constexpr std::int64_t k1971 = 31536000;               // 1971-01-01 00:00:00
constexpr std::int64_t k2008Jan1_103015 = 1199183415;  // 2008-01-01 10:30:15
constexpr std::int64_t k2034 = 2019686400;             // 2034-01-01 00:00:00
constexpr std::int64_t k1999 = 915148800;              // 1999-01-01 00:00:00
constexpr std::int64_t kDay = 86400;

TEST_F(DateTextTest, YearPrecisionCoversTheWholeYear) {
    ExpectRange("2008", k2008, k2008End);
    ExpectRange("2008-", k2008, k2008End);  // the text stops at the separator
    ExpectRange("2035", k2035, k2035End);
    ExpectRange("1971", k1971, k1971 + 365 * kDay - 1);
}

TEST_F(DateTextTest, TwoDigitYears) {
    ExpectRange("08", k2008, k2008End);
    ExpectRange("34", k2034, k2034 + 365 * kDay - 1);
    ExpectRange("99", k1999, k1999 + 365 * kDay - 1);
    ExpectRange("0", 946684800, 978307199);  // 2000 is a leap year: 366 days
    ExpectFailure("35");                     // 1935
    ExpectFailure("70");                     // 1970
}

TEST_F(DateTextTest, YearOutsideTheWindowFails) {
    ExpectFailure("1970");
    ExpectFailure("2036");
    ExpectFailure("100");
    ExpectFailure("20080101");
    ExpectFailure("99999999999999999999");
}

TEST_F(DateTextTest, MonthPrecisionRunsToTheLastSecondOfTheMonth) {
    ExpectRange("08-02", k2008Feb, k2008FebEnd);  // leap year
    ExpectRange("2008/2", k2008Feb, k2008FebEnd);
    ExpectRange("2007-02", k2008Feb - 365 * kDay, k2008Feb - 365 * kDay + 28 * kDay - 1);
    ExpectRange("2008-12", k2008End - 31 * kDay + 1, k2008End);
    ExpectRange("2035-12 ", k2035End - 31 * kDay + 1, k2035End);
    ExpectFailure("2008-13");
    ExpectFailure("2008-0");
    ExpectFailure("2008--");
}

TEST_F(DateTextTest, DayPrecisionCoversOneDay) {
    ExpectRange("2008-01-01", k2008, k2008 + kDay - 1);
    ExpectRange("2008.1.1 ", k2008, k2008 + kDay - 1);
    ExpectRange("2008-12-31", k2008End - kDay + 1, k2008End);
    // No check against the month's length: 30 February is 1 March.
    ExpectRange("2008-02-30", k2008Mar, k2008Mar + kDay - 1);
    ExpectFailure("2008-01-32");
    ExpectFailure("2008-01-00");
}

TEST_F(DateTextTest, FullTimeIsOneSecond) {
    ExpectRange("2008-01-01 10:30:15", k2008Jan1_103015, k2008Jan1_103015);
    ExpectRange("08-1-1T10:30:15", k2008Jan1_103015, k2008Jan1_103015);
    ExpectRange("2008-01-01 23:59:59", k2008 + kDay - 1, k2008 + kDay - 1);
    ExpectRange("2008-01-01 00:00:00", k2008, k2008);
    // Text after the seconds is ignored.
    ExpectRange("2008-01-01 10:30:15.250", k2008Jan1_103015, k2008Jan1_103015);
}

TEST_F(DateTextTest, TimeNeedsAllThreeFieldsInRange) {
    ExpectFailure("2008-01-01 10");
    ExpectFailure("2008-01-01 10:");
    ExpectFailure("2008-01-01 10:30");
    ExpectFailure("2008-01-01 10:30:");
    ExpectFailure("2008-01-01 10:30:60");
    ExpectFailure("2008-01-01 24:00:00");
    ExpectFailure("2008-01-01 10:60:00");
    ExpectFailure("2008-01-01 x0:30:15");
    ExpectFailure("2008-01-01  10:30:15");  // two separators
}

TEST_F(DateTextTest, TextsThatAreNoDates) {
    ExpectFailure("");
    ExpectFailure(" 2008");
    ExpectFailure("x2008");
    ExpectFailure("-2008");
    // The stored placeholder for a missing time is not a date (month 0).
    ExpectFailure("2000-00-00 01:01:01");
    CTime from(1), to(2);
    EXPECT_EQ(0, CCommonFunc::CanBeTime(static_cast<const char*>(nullptr), from, to));
    EXPECT_EQ(0, CCommonFunc::CanBeTime(static_cast<const wchar_t*>(nullptr), from, to));
    EXPECT_EQ(1, from.GetTime());
    // A wide digit outside ASCII is not a digit.
    EXPECT_EQ(0, CCommonFunc::CanBeTime(L"\uff12008", from, to));
}

TEST_F(DateTextTest, RangesFollowTheTimeZone) {
    CTime from9, to9;
    ASSERT_EQ(1, CCommonFunc::CanBeTime(L"2008-01-01 10:30:15", from9, to9));
    setenv("TZ", "UTC0", 1);
    tzset();
    CTime from0, to0;
    ASSERT_EQ(1, CCommonFunc::CanBeTime(L"2008-01-01 10:30:15", from0, to0));
    EXPECT_EQ(kOffset, from0 - from9);
    EXPECT_EQ(k2008Jan1_103015, from0.GetTime());
}

}  // namespace
