// Date texts: CanBeTime's ranges, checked as absolute seconds in a fixed time zone
// (UTC+9, no daylight saving) with both overloads, and across a daylight-saving change.
#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>

#include "common/temp_dir.h"
#include "scan/common_func.h"

namespace {

constexpr std::int64_t kOffset = 9 * 3600, kDay = 86400;
// Wall-clock instants as seconds since 1970 (as if UTC).
constexpr std::int64_t k2008 = 1199145600, k2008End = 1230767999;  // 2008-01-01, 12-31 23:59:59
constexpr std::int64_t k2008Feb = 1201824000, k2008Mar = 1204329600;
constexpr std::int64_t k2035 = 2051222400, k2035End = 2082758399;
constexpr std::int64_t k103015 = 1199183415;  // 2008-01-01 10:30:15

class DateTextTest : public ::testing::Test {
protected:
    void SetUp() override { tzset(); }
    void TearDown() override {
        m_tz.reset();
        tzset();
    }
    // Both overloads must agree; returns the result with the range as wall-clock seconds.
    static int Parse(const std::string& text, std::int64_t& from, std::int64_t& to) {
        CTime f(12345), t(67890), nf(12345), nt(67890);
        int narrow = CCommonFunc::CanBeTime(text.c_str(), nf, nt);
        int wide = CCommonFunc::CanBeTime(CString(text.begin(), text.end()).c_str(), f, t);
        EXPECT_EQ(wide, narrow) << text;
        EXPECT_EQ(std::pair(f, t), std::pair(nf, nt)) << text;
        from = f.GetTime() + (wide ? kOffset : 0);
        to = t.GetTime() + (wide ? kOffset : 0);
        return wide;
    }
    std::optional<testutil::ScopedEnv> m_tz{std::in_place, "TZ", "XYZ-9"};
};

TEST_F(DateTextTest, RangesByPrecision) {
    struct Case {
        const char* text;
        std::int64_t from, to;
    };
    const Case cases[] = {
        {"2008", k2008, k2008End},
        {"2008-", k2008, k2008End},
        {"08", k2008, k2008End},
        {"2035", k2035, k2035End},
        {"0", 946684800, 978307199},  // 2000, a leap year
        {"1971", 31536000, 63071999},
        {"99", 915148800, 946684799},
        {"08-02", k2008Feb, k2008Mar - 1},  // to 29 February
        {"2008-12", k2008End - 31 * kDay + 1, k2008End},
        {"2035-12 ", k2035End - 31 * kDay + 1, k2035End},
        {"2008.12.31 ", k2008End - kDay + 1, k2008End},
        {"2008-02-30", k2008Mar, k2008Mar + kDay - 1},  // no month-length check: 1 March
        {"2008-01-01 10:30:15", k103015, k103015},
        {"08-1-1T10:30:15.250", k103015, k103015},  // text after the seconds is ignored
    };
    for (const Case& c : cases) {
        std::int64_t from = 0, to = 0;
        ASSERT_EQ(1, Parse(c.text, from, to)) << c.text;
        EXPECT_EQ(c.from, from) << c.text;
        EXPECT_EQ(c.to, to) << c.text;
    }
}

TEST_F(DateTextTest, FailuresLeaveBothOutputsUntouched) {
    for (const char* text : {"",
                             " 2008",
                             "x2008",
                             "1970",
                             "2036",
                             "35",
                             "100",
                             "20080101",
                             "99999999999999999999",
                             "2008-13",
                             "2008-0",
                             "2008--",
                             "2008-01-32",
                             "2008-01-00",
                             "2008-01-01 10",
                             "2008-01-01 10:",
                             "2008-01-01 10:30",
                             "2008-01-01 10:30:",
                             "2008-01-01 10:30:60",
                             "2008-01-01 24:00:00",
                             "2008-01-01 10:60:00",
                             "2008-01-01  10:30:15",
                             "2000-00-00 01:01:01"}) {
        std::int64_t from = 0, to = 0;
        EXPECT_EQ(0, Parse(text, from, to)) << text;
        EXPECT_EQ(12345, from) << text;
        EXPECT_EQ(67890, to) << text;
    }
    CTime from(1), to(2);
    EXPECT_EQ(0, CCommonFunc::CanBeTime(static_cast<const char*>(nullptr), from, to));
    EXPECT_EQ(0, CCommonFunc::CanBeTime(L"\uff12008", from, to));  // not an ASCII digit
}

// Central Europe: 30 March 2008 has 23 hours. A day runs from its local midnight for
// 86400 - 1 seconds; a month ends one second before the next month's local midnight.
TEST_F(DateTextTest, DaylightSavingChange) {
    testutil::ScopedEnv cet("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    CTime from, to;
    ASSERT_EQ(1, CCommonFunc::CanBeTime(L"2008-03-30", from, to));
    EXPECT_EQ(1206831600, from.GetTime());  // 2008-03-29 23:00:00 UTC
    EXPECT_EQ(kDay - 1, to - from);
    ASSERT_EQ(1, CCommonFunc::CanBeTime("2008-03", from, to));
    EXPECT_EQ(1207000799, to.GetTime());  // 2008-03-31 21:59:59 UTC
}

}  // namespace
