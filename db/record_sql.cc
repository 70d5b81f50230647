#include "db/record_sql.h"

#include <cstdlib>

#include "db/sql_literal.h"
#include "db/sql_texts.h"
#include "db/stored_time.h"
#include "db/text_codec.h"
#include "picdex/common_func.h"

namespace {

constexpr char kNullTime[] = "2000-00-00 01:01:01";

std::string Finish(std::string sql) {
    sql += ");";
    return sql;
}

}  // namespace

// ---------------------------------------------------------------- insert statements

std::string BuildInsert(const _tagFileInfo& r) {
    bool withId = r.iFileID != 0;
    std::string sql = withId ? sqltext::kFileReplaceWithIdHead : sqltext::kFileReplaceNewHead;
    if (withId) sql += SqlInt(r.iFileID) + ",";
    AppendValueList(sql, {SqlInt(r.iPathID), SqlText(r.strFileName), SqlText(r.strExt),
                          SqlInt64(r.iFileSize), SqlTime(r.tSnapTime), SqlTime(r.tFileCreate),
                          SqlTime(r.tFileModify), SqlTime(r.tFileSearch), SqlText(r.strMD5),
                          SqlInt(r.iIptcID), SqlInt(r.iExifID), SqlInt(r.iGpsID), SqlInt(r.iHeight),
                          SqlInt(r.iWidth), SqlInt(r.iBPP), SqlInt(r.iPageCount)});
    return Finish(std::move(sql));
}

std::string BuildInsert(const _tagExifInfo& r) {
    bool withId = r.iExifID != 0;
    std::string sql = withId ? sqltext::kExifReplaceHead : sqltext::kExifInsertHead;
    if (withId) sql += SqlInt(r.iExifID) + ",";
    AppendValueList(
        sql, {SqlInt(r.iExposureTimeL), SqlInt(r.iExposureTimeR), SqlInt(r.iApertureL),
              SqlInt(r.iApertureR), SqlInt(r.iISO), SqlInt(r.iFocalLenL), SqlInt(r.iFocalLenR),
              SqlTime(r.tDititalTime), SqlText(r.strManufacturer), SqlText(r.strModel),
              SqlInt(r.iExposureCompL), SqlInt(r.iExposureCompR), SqlInt(r.iWTL), SqlInt(r.iWTR)});
    return Finish(std::move(sql));
}

std::string BuildInsert(const _tagIptcInfo& r) {
    bool withId = r.iIptcID != 0;
    std::string sql = withId ? sqltext::kIptcReplaceHead : sqltext::kIptcInsertHead;
    if (withId) sql += SqlInt(r.iIptcID) + ",";
    // The column list names strCity before strLocation.
    AppendValueList(sql, {SqlText(r.strMemoInfo), SqlText(r.strKeyWord), SqlText(r.strTitle),
                          SqlText(r.strClass), SqlText(r.strCity), SqlText(r.strLocation),
                          SqlText(r.strCountry), SqlText(r.strCopyRight), SqlText(r.strWriter)});
    return Finish(std::move(sql));
}

std::string BuildInsert(const _tagGpsInfo& r) {
    bool withId = r.iGpsID != 0;
    std::string sql = withId ? sqltext::kGpsReplaceHead : sqltext::kGpsInsertHead;
    if (withId) sql += SqlInt(r.iGpsID) + ",";
    AppendValueList(sql, {SqlInt(r.iLatitude), SqlInt(r.iLongitute), SqlInt(r.iAltitute),
                          SqlInt(r.iGpsSpeed), SqlTime(r.tGpsTime)});
    return Finish(std::move(sql));
}

std::string BuildInsert(const _tagPathInfo& r) {
    bool withId = r.iPathID != 0;
    std::string sql = withId ? sqltext::kPathReplaceWithIdHead : sqltext::kPathReplaceNewHead;
    if (withId) sql += SqlInt(r.iPathID) + ",";
    AppendValueList(sql, {SqlInt(r.iParentID), SqlText(r.strPathName), SqlText(r.strFullPath),
                          SqlInt(r.iPicCount), SqlInt64(r.iPicSize), SqlTime(r.tPathCreate),
                          SqlTime(r.tPathModify), SqlTime(r.tPathSearch)});
    return Finish(std::move(sql));
}

std::string BuildInsert(const _tagTimePath& r) {
    bool withId = r.iTimePathID != 0;
    std::string sql = withId ? sqltext::kMonthReplaceHead : sqltext::kMonthInsertHead;
    if (withId) sql += SqlInt(r.iTimePathID) + ",";
    AppendValueList(sql, {SqlInt(r.iPathID), SqlTime(r.tPathPicTime), SqlInt(r.iPicCountT),
                          SqlInt64(r.iPicSizeT)});
    return Finish(std::move(sql));
}

// ---------------------------------------------------------------- column readers

CString ReadText(const CppSQLite3Query& q, const char* column) {
    const char* text = q.GetText(column, "");
    return text ? Utf8ToWide(text) : CString();
}

LONGLONG ReadInt64(const CppSQLite3Query& q, const char* column) {
    const char* text = q.GetText(column, "0");
    return text ? std::strtoll(text, nullptr, 10) : 0;
}

CTime ParseTimeText(const char* text) {
    // Left open by the date parser: its result for the NULL stand-in (month 0) is a
    // failure, so an unknown or unreadable time reads as 0, "no time known".
    CTime from, to;
    if (ParseStoredTime(text, from)) return from;
    if (!text || !CCommonFunc::CanBeTime(text, from, to)) return CTime();
    return from;
}

CTime ReadTime(const CppSQLite3Query& q, const char* column) {
    return ParseTimeText(q.GetText(column, kNullTime));
}

// ---------------------------------------------------------------- row readers

bool ReadRow(const CppSQLite3Query& q, _tagFileInfo& r) {
    if (q.IsEnd()) return false;
    r.iFileID = q.GetInt("iFileID", 0);
    r.iPathID = q.GetInt("iPathID", 0);
    r.iHeight = q.GetInt("iHeight", 0);
    r.iWidth = q.GetInt("iWidth", 0);
    r.iBPP = q.GetInt("iBPP", 0);
    r.iPageCount = q.GetInt("iPageCount", 1);
    r.iIptcID = q.GetInt("iIptcID", -1);
    r.iExifID = q.GetInt("iExifID", -1);
    r.iGpsID = q.GetInt("iGpsID", -1);
    r.iFileSize = ReadInt64(q, "iFileSize");
    r.tSnapTime = ReadTime(q, "tSnapTime");
    r.tFileCreate = ReadTime(q, "tFileCreate");
    r.tFileModify = ReadTime(q, "tFileModify");
    r.tFileSearch = ReadTime(q, "tFileSearch");
    r.strFileName = ReadText(q, "strFileName");
    r.strExt = ReadText(q, "strExt");
    r.strMD5 = ReadText(q, "strMD5");
    return r.iFileID != 0;
}

bool ReadRow(const CppSQLite3Query& q, _tagExifInfo& r) {
    if (q.IsEnd()) return false;
    r.iExifID = q.GetInt("iExifID", 0);
    r.iExposureTimeL = q.GetInt("iExposureTimeL", 0);
    r.iExposureTimeR = q.GetInt("iExposureTimeR", 0);
    r.iApertureL = q.GetInt("iApertureL", 0);
    r.iApertureR = q.GetInt("iApertureR", 0);
    r.iISO = q.GetInt("iISO", 0);
    r.iFocalLenL = q.GetInt("iFocalLenL", 0);
    r.iFocalLenR = q.GetInt("iFocalLenR", 0);
    r.iExposureCompL = q.GetInt("iExposureCompL", 0);
    r.iExposureCompR = q.GetInt("iExposureCompR", 0);
    r.iWTL = q.GetInt("iWTL", 0);
    r.iWTR = q.GetInt("iWTR", 0);
    r.tDititalTime = ReadTime(q, "tDititalTime");
    r.strManufacturer = ReadText(q, "strManufacturer");
    r.strModel = ReadText(q, "strModel");
    return r.iExifID != 0;
}

bool ReadRow(const CppSQLite3Query& q, _tagIptcInfo& r) {
    if (q.IsEnd()) return false;
    r.iIptcID = q.GetInt("iIptcID", 0);
    r.strMemoInfo = ReadText(q, "strMemoInfo");
    r.strKeyWord = ReadText(q, "strKeyWord");
    r.strTitle = ReadText(q, "strTitle");
    r.strClass = ReadText(q, "strClass");
    r.strLocation = ReadText(q, "strLocation");
    r.strCity = ReadText(q, "strCity");
    r.strCountry = ReadText(q, "strCountry");
    r.strCopyRight = ReadText(q, "strCopyRight");
    r.strWriter = ReadText(q, "strWriter");
    return r.iIptcID != 0;
}

bool ReadRow(const CppSQLite3Query& q, _tagGpsInfo& r) {
    if (q.IsEnd()) return false;
    r.iGpsID = q.GetInt("iGpsID", 0);
    r.iLatitude = q.GetInt("iLatitude", 0);
    r.iLongitute = q.GetInt("iLongitute", 0);
    r.iAltitute = q.GetInt("iAltitute", 0);
    r.iGpsSpeed = q.GetInt("iGpsSpeed", 0);
    r.tGpsTime = ReadTime(q, "tGpsTime");
    return r.iGpsID != 0;
}

bool ReadRow(const CppSQLite3Query& q, _tagPathInfo& r) {
    if (q.IsEnd()) return false;
    r.iPathID = q.GetInt("iPathID", 0);
    r.iParentID = q.GetInt("iParentID", 0);
    r.iPicCount = q.GetInt("iPicCount", 0);
    r.iPicSize = ReadInt64(q, "iPicSize");
    r.tPathCreate = ReadTime(q, "tPathCreate");
    r.tPathModify = ReadTime(q, "tPathModify");
    r.tPathSearch = ReadTime(q, "tPathSearch");
    r.strPathName = ReadText(q, "strPathName");
    r.strFullPath = ReadText(q, "strFullPath");
    return r.iPathID != 0 && !r.strPathName.empty();
}

bool ReadRow(const CppSQLite3Query& q, _tagTimePath& r) {
    if (q.IsEnd()) return false;
    r.iTimePathID = q.GetInt("iTimePathID", 0);
    r.iPathID = q.GetInt("iPathID", 0);
    r.tPathPicTime = ReadTime(q, "tPathPicTime");
    r.iPicCountT = q.GetInt("iPicCountT", 0);
    r.iPicSizeT = ReadInt64(q, "iPicSizeT");
    return r.iTimePathID != 0 && r.iPathID != 0;
}
