// The literal rules and the statements built from records.
#include <gtest/gtest.h>

#include <climits>

#include "db/record_sql.h"
#include "db/sql_literal.h"
#include "db_test_util.h"

namespace {

// Times in local time (a time without a calendar form as the zeros and -1s), texts as
// UTF-8 with only the quote doubled, and the values in column order.
TEST(SqlLiteralTest, LiteralsAndRecordStatements) {
    dbtest::ScopedTimeZone tz("Asia/Shanghai");
    EXPECT_EQ(std::tuple("'1970-01-01 08:00:00'", "'2008-02-29 23:59:59'", "'0-00-00 -1:-1:-1'"),
              std::tuple(SqlTime(CTime(0)), SqlTime(CTime(2008, 2, 29, 23, 59, 59)),
                         SqlTime(CTime(LLONG_MAX))));
    EXPECT_EQ(
        std::tuple("'O''Brien.jpg'", "''''''", "'\xE7\x85\xA7\xE7\x89\x87'", "'%50%_x''%'",
                   "C:\\a''b\\", "-7", "5000000000"),
        std::tuple(SqlText(L"O'Brien.jpg"), SqlText(L"''"), SqlText(L"照片"), SqlLike(L"50%_x'"),
                   SqlEscape(L"C:\\a'b\\"), SqlInt(-7), SqlInt64(5000000000LL)));
    _tagGpsInfo gps;
    gps.iLatitude = 31, gps.iLongitute = 121, gps.iAltitute = 5;
    EXPECT_EQ(
        "Insert into tb_gps_info(iLatitude, iLongitute, iAltitute, iGpsSpeed, "
        "tGpsTime)values(31,121,5,0,'1970-01-01 08:00:00');",
        BuildInsert(gps));
    _tagFileInfo f;
    f.iPathID = 3, f.strFileName = L"O'Brien.jpg", f.iFileSize = 1234, f.tSnapTime = CTime(86400);
    f.iExifID = 5, f.iBPP = 24, f.iFileID = 44;
    EXPECT_EQ(
        "Replace into tb_file_info(iFileID, iPathID, strFileName, strExt, iFileSize, tSnapTime, "
        "tFileCreate, tFileModify, tFileSearch, strMD5, iIptcID, iExifID, iGpsID, iHeight, "
        "iWidth, iBPP, iPageCount )values(44,3,'O''Brien.jpg','',1234,'1970-01-02 "
        "08:00:00','1970-01-01 08:00:00','1970-01-01 08:00:00','1970-01-01 "
        "08:00:00','',-1,5,-1,0,0,24,1);",
        BuildInsert(f));
    _tagIptcInfo iptc;  // the record holds the location before the city, the table after
    iptc.strCity = L"City", iptc.strLocation = L"Place";
    EXPECT_NE(std::string::npos, BuildInsert(iptc).find("values('','','','','City','Place',"));
}

}  // namespace
