// The literal rules and the statements built from records.
#include <gtest/gtest.h>

#include <climits>

#include "db/record_sql.h"
#include "db/sql_literal.h"
#include "db_test_util.h"

namespace {

TEST(SqlLiteralTest, TimesAreLocal) {
    {
        dbtest::ScopedTimeZone tz("Asia/Shanghai");
        EXPECT_EQ("'1970-01-01 08:00:00'", SqlTime(CTime(0)));
        EXPECT_EQ("'2008-02-29 23:59:59'", SqlTime(CTime(2008, 2, 29, 23, 59, 59)));
    }
    dbtest::ScopedTimeZone tz("America/New_York");
    EXPECT_EQ("'1969-12-31 19:00:00'", SqlTime(CTime(0)));
    EXPECT_EQ("'2009-07-04 09:05:03'", SqlTime(CTime(1246712703)));
    // A time that has no local calendar form.
    EXPECT_EQ("'0-00-00 -1:-1:-1'", SqlTime(CTime(LLONG_MAX)));
    EXPECT_EQ("'0-00-00 -1:-1:-1'", SqlTime(CTime(LLONG_MIN)));
}

TEST(SqlLiteralTest, TextsDoubleQuotesOnlyAndAreUtf8) {
    EXPECT_EQ("'O''Brien.jpg'", SqlText(L"O'Brien.jpg"));
    EXPECT_EQ("''''''", SqlText(L"''"));
    EXPECT_EQ("''", SqlText(L""));
    EXPECT_EQ("'\xE7\x85\xA7\xE7\x89\x87'", SqlText(L"照片"));
    EXPECT_EQ("'%50%_x''%'", SqlLike(L"50%_x'"));
    EXPECT_EQ("C:\\a''b\\", SqlEscape(L"C:\\a'b\\"));
    EXPECT_EQ("-7", SqlInt(-7));
    EXPECT_EQ("5000000000", SqlInt64(5000000000LL));
}

TEST(RecordSqlTest, StatementsListTheValuesInColumnOrder) {
    dbtest::ScopedTimeZone tz("Asia/Shanghai");
    _tagGpsInfo gps;
    gps.iLatitude = 31;
    gps.iLongitute = 121;
    gps.iAltitute = 5;
    EXPECT_EQ(
        "Insert into tb_gps_info(iLatitude, iLongitute, iAltitute, iGpsSpeed, "
        "tGpsTime)values(31,121,5,0,'1970-01-01 08:00:00');",
        BuildInsert(gps));

    _tagFileInfo f;
    f.iPathID = 3;
    f.strFileName = L"O'Brien.jpg";
    f.iFileSize = 1234;
    f.tSnapTime = CTime(86400);
    f.iExifID = 5;
    f.iBPP = 24;
    f.iFileID = 44;
    EXPECT_EQ(
        "Replace into tb_file_info(iFileID, iPathID, strFileName, strExt, iFileSize, tSnapTime, "
        "tFileCreate, tFileModify, tFileSearch, strMD5, iIptcID, iExifID, iGpsID, iHeight, "
        "iWidth, iBPP, iPageCount )values(44,3,'O''Brien.jpg','',1234,'1970-01-02 "
        "08:00:00','1970-01-01 08:00:00','1970-01-01 08:00:00','1970-01-01 "
        "08:00:00','',-1,5,-1,0,0,24,1);",
        BuildInsert(f));

    _tagIptcInfo iptc;
    iptc.strCity = L"City";
    iptc.strLocation = L"Place";
    EXPECT_NE(std::string::npos, BuildInsert(iptc).find("values('','','','','City','Place',"));
}

}  // namespace
